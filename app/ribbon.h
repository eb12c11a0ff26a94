// The ribbon tool bar of the main window (ToolBarPager1): 145 pixels high, a tab bar
// with one page of tool buttons per tab, the application menu, and the window's caption
// with its minimise, maximise and close buttons (the main window has no system frame).
// Pressing the mouse on the ribbon's empty parts drags the window.
//
// The ribbon only builds the controls; the main window connects the ones with actions.
// "自动监测" is a toggle button; the colour schemes are a menu of checkable items. Buttons
// without an action (add directory on the network page ...) do nothing.
#pragma once

#include <QList>
#include <QWidget>

class QCheckBox;
class QLabel;
class QMenu;
class QStackedWidget;
class QTabBar;
class QToolButton;

namespace filever {

enum class TUiIcon;

class TRibbon : public QWidget {
    Q_OBJECT
public:
    explicit TRibbon(QWidget* parent);

    QToolButton* AppButton;  // opens PreviewMenu1
    QMenu* PreviewMenu1;     // items 0 "后台运行", 1 "退出软件"
    QTabBar* Tabs;
    QStackedWidget* Pages;
    QToolButton* GlowButton13;         // "增加存储区"
    QToolButton* GlowButton8;          // "增加文件"
    QToolButton* AddFolderButton;      // "增加目录"
    QToolButton* AutoMonitorButton;    // "自动监测": on or off
    QList<QToolButton*> MergeButtons;  // "版本合并" on "文件管理" and "网络管理"
    // "网络管理": the same commands as their twins on "文件管理".
    QToolButton* NetAddFolderButton;       // "增加目录", as AddFolderButton
    QToolButton* NetAddFileButton;         // "增加文件", as GlowButton8
    QToolButton* NetAddWatchedFileButton;  // "增加监控文件": registers a file, as GlowButton8
    QToolButton* ReportRefreshButton;      // "刷新报表" on "报表"
    QToolButton* ReportImageButton;        // "导出图片"
    QToolButton* ReportCsvButton;          // "导出CSV"
    QCheckBox* StartCheck;                 // "开机启动"
    QMenu* SchemeMenu;                     // colour schemes (checkable, one checked)
    QLabel* Caption;
    QToolButton* MinimizeButton;
    QToolButton* MaximizeButton;
    QToolButton* CloseButton;

signals:
    void MinimizeClicked();
    void MaximizeClicked();
    void CloseClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QWidget* AddPage(const QString& title);
    QToolButton* AddButton(QWidget* page, const QString& text, const QString& name, TUiIcon icon);
};

}  // namespace filever
