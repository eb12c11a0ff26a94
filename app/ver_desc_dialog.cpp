#include "app/ver_desc_dialog.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace filever {

TFormVerSm::TFormVerSm(QWidget* owner, int timeoutMs)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("FormVerSm"));
    setWindowTitle(tr("版本说明"));
    setFixedSize(383, 244);
    const QFont song(QStringLiteral("宋体"));

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(song);
    Label2 = new QLabel(tr("版本说明："), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Edit1 = new QPlainTextEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setFont(song);
    Button1 = new QPushButton(tr("提交"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(tr("放弃"), this);
    Button2->setObjectName(QStringLiteral("Button2"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addWidget(Edit1, 1);
    layout->addLayout(buttons);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Edit1, &QPlainTextEdit::textChanged, this, [this] { Edit1Change(); });

    // The prompt's time runs from its creation.
    tmr1.setSingleShot(true);
    tmr1.setInterval(timeoutMs);
    connect(&tmr1, &QTimer::timeout, this, [this] { tmr1Timer(); });
    tmr1.start();
}

void TFormVerSm::StopTimer() { tmr1.stop(); }

void TFormVerSm::SetTitle(const QString& text) {
    const QMargins margins = layout()->contentsMargins();
    const int room = width() - margins.left() - margins.right();
    Label1->setText(Label1->fontMetrics().elidedText(text, Qt::ElideMiddle, room));
    Label1->setToolTip(text);
}

QString TFormVerSm::Text() const { return Edit1->toPlainText(); }

void TFormVerSm::showEvent(QShowEvent* event) {
    // Centred on the desktop.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

void TFormVerSm::Button1Click() {
    ResultCode = 1;
    accept();
}

void TFormVerSm::Button2Click() {
    ResultCode = 2;
    reject();
}

void TFormVerSm::tmr1Timer() {
    ResultCode = 2;
    reject();
}

void TFormVerSm::Edit1Change() {
    // From the first keystroke on the prompt waits for a button.
    tmr1.stop();
}

}  // namespace filever
