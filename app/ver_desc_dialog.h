// TFormVerSm: the version description prompt, "版本说明". Shown after a change is found
// (it closes by itself after 10 seconds unless the user starts typing) and by the
// "填写版本说明" command (its timer stopped first, so it waits for a button).
//
// ResultCode: 1 after "提交" and when closed by other means, 2 after "放弃" or the time-out.
// The timer interval is a constructor argument so tests can use a short one.
#pragma once

#include <QDialog>
#include <QTimer>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace filever {

class TFormVerSm : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTimeoutMs = 10000;

    explicit TFormVerSm(QWidget* owner, int timeoutMs = kTimeoutMs);

    int ResultCode = 1;
    QLabel* Label1;  // title line, empty unless the caller sets it
    QLabel* Label2;
    QPlainTextEdit* Edit1;
    QPushButton* Button1;
    QPushButton* Button2;
    QTimer tmr1;

    // The title line: `text` elided in the middle to fit (all of it in the tool tip).
    void SetTitle(const QString& text);
    // Stops the time-out for good (the describe command does this before showing it).
    void StopTimer();
    QString Text() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Button1Click();
    void Button2Click();
    void tmr1Timer();
    void Edit1Change();
};

}  // namespace filever
