#include "app/ribbon.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QStyle>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include "app/color_schemes.h"
#include "app/ui_icons.h"

namespace filever {

TRibbon::TRibbon(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ToolBarPager1"));
    setFixedHeight(145);
    setAutoFillBackground(true);
    setAttribute(Qt::WA_StyledBackground);  // the colour scheme's gradient

    AppButton = new QToolButton(this);
    AppButton->setObjectName(QStringLiteral("AppButton"));
    AppButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    AppButton->setPopupMode(QToolButton::InstantPopup);
    PreviewMenu1 = new QMenu(AppButton);
    PreviewMenu1->setObjectName(QStringLiteral("PreviewMenu1"));
    PreviewMenu1->addAction(tr("后台运行"));
    PreviewMenu1->addAction(tr("退出软件"));
    AppButton->setMenu(PreviewMenu1);

    Tabs = new QTabBar(this);
    Tabs->setObjectName(QStringLiteral("RibbonTabs"));
    Tabs->setDrawBase(false);
    Caption = new QLabel(tr("文件版本控制"), this);
    Caption->setObjectName(QStringLiteral("Caption"));
    Caption->setAttribute(Qt::WA_TransparentForMouseEvents);

    auto makeCaptionButton = [this](QStyle::StandardPixmap icon, const char* name) {
        auto* b = new QToolButton(this);
        b->setObjectName(QLatin1String(name));
        b->setIcon(style()->standardIcon(icon));
        b->setAutoRaise(true);
        return b;
    };
    MinimizeButton = makeCaptionButton(QStyle::SP_TitleBarMinButton, "MinimizeButton");
    MaximizeButton = makeCaptionButton(QStyle::SP_TitleBarMaxButton, "MaximizeButton");
    CloseButton = makeCaptionButton(QStyle::SP_TitleBarCloseButton, "CloseButton");
    connect(MinimizeButton, &QToolButton::clicked, this, &TRibbon::MinimizeClicked);
    connect(MaximizeButton, &QToolButton::clicked, this, &TRibbon::MaximizeClicked);
    connect(CloseButton, &QToolButton::clicked, this, &TRibbon::CloseClicked);

    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(AppButton);
    top->addWidget(Tabs);
    top->addStretch(1);
    top->addWidget(Caption);
    top->addStretch(1);
    top->addWidget(MinimizeButton);
    top->addWidget(MaximizeButton);
    top->addWidget(CloseButton);

    Pages = new QStackedWidget(this);
    connect(Tabs, &QTabBar::currentChanged, Pages, &QStackedWidget::setCurrentIndex);

    QWidget* files = AddPage(tr("文件管理"));
    GlowButton13 =
        AddButton(files, tr("增加存储区"), QStringLiteral("GlowButton13"), TUiIcon::AddArea);
    GlowButton8 = AddButton(files, tr("增加文件"), QStringLiteral("GlowButton8"), TUiIcon::AddFile);
    AddFolderButton =
        AddButton(files, tr("增加目录"), QStringLiteral("AddFolderButton"), TUiIcon::AddFolder);
    MergeButtons << AddButton(files, tr("版本合并"), QStringLiteral("MergeButton"), TUiIcon::Merge);
    AutoMonitorButton =
        AddButton(files, tr("自动监测"), QStringLiteral("AutoMonitorButton"), TUiIcon::AutoMonitor);
    AutoMonitorButton->setCheckable(true);
    // Files on network mounts are paths like any other: this page offers the same commands.
    QWidget* network = AddPage(tr("网络管理"));
    NetAddFolderButton = AddButton(network, tr("增加目录"), QStringLiteral("NetAddFolderButton"),
                                   TUiIcon::AddFolder);
    MergeButtons << AddButton(network, tr("版本合并"), QStringLiteral("NetMergeButton"),
                              TUiIcon::Merge);
    NetAddFileButton =
        AddButton(network, tr("增加文件"), QStringLiteral("NetAddFileButton"), TUiIcon::AddFile);
    NetAddWatchedFileButton =
        AddButton(network, tr("增加监控文件"), QStringLiteral("NetAddWatchedFileButton"),
                  TUiIcon::AddWatchedFile);
    QWidget* reports = AddPage(tr("报表"));
    ReportRefreshButton =
        AddButton(reports, tr("刷新报表"), QStringLiteral("ReportRefreshButton"), TUiIcon::Refresh);
    ReportImageButton = AddButton(reports, tr("导出图片"), QStringLiteral("ReportImageButton"),
                                  TUiIcon::ExportImage);
    ReportCsvButton =
        AddButton(reports, tr("导出CSV"), QStringLiteral("ReportCsvButton"), TUiIcon::ExportCsv);
    QWidget* settings = AddPage(tr("设置"));
    StartCheck = new QCheckBox(tr("开机启动"), settings);
    StartCheck->setObjectName(QStringLiteral("StartCheck"));
    settings->layout()->addWidget(StartCheck);
    auto* schemes = new QToolButton(settings);
    schemes->setObjectName(QStringLiteral("SchemeButton"));
    schemes->setIcon(UiIcon(TUiIcon::Schemes));
    schemes->setPopupMode(QToolButton::InstantPopup);
    SchemeMenu = new QMenu(schemes);
    auto* schemeGroup = new QActionGroup(SchemeMenu);
    for (const QString& name : ColorSchemeNames()) {
        QAction* item = SchemeMenu->addAction(name);
        item->setCheckable(true);
        schemeGroup->addAction(item);
    }
    schemes->setMenu(SchemeMenu);
    settings->layout()->addWidget(schemes);
    for (int i = 0; i < Pages->count(); ++i)
        static_cast<QHBoxLayout*>(Pages->widget(i)->layout())->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 4);
    layout->addLayout(top);
    layout->addWidget(Pages, 1);
}

QWidget* TRibbon::AddPage(const QString& title) {
    auto* page = new QWidget(Pages);
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(4, 4, 4, 4);
    Pages->addWidget(page);
    Tabs->addTab(title);
    return page;
}

QToolButton* TRibbon::AddButton(QWidget* page, const QString& text, const QString& name,
                                TUiIcon icon) {
    auto* b = new QToolButton(page);
    if (!name.isEmpty()) b->setObjectName(name);
    b->setText(text);
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setIcon(UiIcon(icon));
    b->setIconSize(QSize(32, 32));
    b->setAutoRaise(true);
    page->layout()->addWidget(b);
    return b;
}

void TRibbon::mousePressEvent(QMouseEvent* event) {
    // The ribbon stands in for the title bar: dragging it moves the window.
    if (event->button() == Qt::LeftButton) {
        if (QWindow* w = window()->windowHandle()) {
            w->startSystemMove();
            event->accept();
            return;
        }
    }
    QWidget::mousePressEvent(event);
}

void TRibbon::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit MaximizeClicked();
    QWidget::mouseDoubleClickEvent(event);
}

}  // namespace filever
