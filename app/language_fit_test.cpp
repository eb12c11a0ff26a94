// The version manager's dialogs and pages in both languages: every text fits its widget,
// and the English interface shows no text left untranslated. Each window is built after
// the language's translators are installed, shown offscreen, and walked with
// app/testing/text_fit.h; the walker itself is tried first on windows made to fail.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <fstream>
#include <functional>
#include <memory>

#include "app/area_dialog.h"
#include "app/catalogue.h"
#include "app/compare_view.h"
#include "app/confirm_dialog.h"
#include "app/error_report.h"
#include "app/folder_dialog.h"
#include "app/language.h"
#include "app/login_dialog.h"
#include "app/mainw.h"
#include "app/merge_view.h"
#include "app/report_data.h"
#include "app/report_view.h"
#include "app/retention_dialog.h"
#include "app/ribbon.h"
#include "app/testing/catalogue_double.h"
#include "app/testing/fake_desktop_services.h"
#include "app/testing/main_window_fixture.h"
#include "app/testing/text_fit.h"
#include "app/ver_desc_dialog.h"

namespace filever {
namespace {

using testing::HasHan;
using testing::ShowAndSettle;
using testing::TextFitProblems;
using testing::TextFitProblemsOfAllPages;
using testing::TTextFitOptions;

QString Lines(const QStringList& problems) { return problems.join(QLatin1Char('\n')); }

// ---- the walker -------------------------------------------------------------------------

struct TFaultCase {
    const char* what;
    std::function<void(QWidget* window, QVBoxLayout* layout)> build;
    bool english;
    QStringList userData;
    const char* expected;  // a part of the one problem expected; nullptr: none expected
};

TEST(TextFitWalker, FindsCutAndUntranslatedTexts) {
    const std::vector<TFaultCase> cases = {
        {"a label squeezed below its text",
         [](QWidget* w, QVBoxLayout* l) {
             auto* label = new QLabel(QStringLiteral("Versions to keep in this area"), w);
             label->setObjectName(QStringLiteral("Squeezed"));
             label->setFixedWidth(40);
             l->addWidget(label);
         },
         false,
         {},
         "\"Squeezed\""},
        {"a wrapping label too short for its lines",
         [](QWidget* w, QVBoxLayout* l) {
             auto* label = new QLabel(
                 QStringLiteral("Versions with a description are never deleted automatically, "
                                "and neither is the latest version of each file."),
                 w);
             label->setObjectName(QStringLiteral("Short"));
             label->setWordWrap(true);
             label->setFixedSize(120, 20);
             l->addWidget(label);
         },
         false,
         {},
         "\"Short\""},
        {"a push button narrower than its text",
         [](QWidget* w, QVBoxLayout* l) {
             auto* b = new QPushButton(QStringLiteral("Choose another folder"), w);
             b->setObjectName(QStringLiteral("Narrow"));
             b->setFixedWidth(50);
             l->addWidget(b);
         },
         false,
         {},
         "\"Narrow\""},
        {"a check box narrower than its size hint",
         [](QWidget* w, QVBoxLayout* l) {
             auto* b = new QCheckBox(QStringLiteral("Limit the space used (MB):"), w);
             b->setObjectName(QStringLiteral("Check"));
             b->setFixedWidth(60);
             l->addWidget(b);
         },
         false,
         {},
         "\"Check\""},
        {"tabs that do not fit their bar",
         [](QWidget* w, QVBoxLayout* l) {
             auto* tabs = new QTabWidget(w);
             for (const char* t : {"Versions per Day", "Space by Area", "Most Changed Files"})
                 tabs->addTab(new QWidget(tabs), QString::fromLatin1(t));
             tabs->tabBar()->setObjectName(QStringLiteral("Bar"));
             tabs->setFixedWidth(150);
             l->addWidget(tabs);
         },
         false,
         {},
         "\"Bar\""},
        {"a Chinese text in the English interface",
         [](QWidget* w, QVBoxLayout* l) {
             auto* label = new QLabel(QStringLiteral("保留全部版本"), w);
             label->setObjectName(QStringLiteral("Untranslated"));
             l->addWidget(label);
         },
         true,
         {},
         "not translated"},
        {"a Chinese menu item in the English interface",
         [](QWidget* w, QVBoxLayout* l) {
             auto* b = new QToolButton(w);
             b->setText(QStringLiteral("Schemes"));
             auto* menu = new QMenu(b);
             menu->addAction(QStringLiteral("退出软件"));
             b->setMenu(menu);
             l->addWidget(b);
         },
         true,
         {},
         "menu item"},
        {"user data in Chinese inside an English text",
         [](QWidget* w, QVBoxLayout* l) {
             l->addWidget(new QLabel(QStringLiteral("Versions to keep in “文档区”:"), w));
         },
         true,
         {QStringLiteral("文档区")},
         nullptr},
        {"texts with the room they need",
         [](QWidget* w, QVBoxLayout* l) {
             l->addWidget(new QLabel(QStringLiteral("版本说明："), w));
             l->addWidget(new QPushButton(QStringLiteral("提交"), w));
             l->addWidget(new QCheckBox(QStringLiteral("开机启动"), w));
         },
         false,
         {},
         nullptr},
    };
    for (const TFaultCase& c : cases) {
        SCOPED_TRACE(c.what);
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        c.build(&window, layout);
        ShowAndSettle(&window);
        const QStringList problems = TextFitProblems(&window, {c.english, c.userData});
        if (!c.expected) {
            EXPECT_TRUE(problems.isEmpty()) << Lines(problems).toStdString();
            continue;
        }
        ASSERT_EQ(problems.size(), 1) << Lines(problems).toStdString();
        EXPECT_TRUE(problems[0].contains(QString::fromUtf8(c.expected)))
            << problems[0].toStdString();
    }
}

TEST(TextFitWalker, TurnsThroughHiddenPages) {
    // A cut text on a page that is not current is found only by showing that page.
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* tabs = new QTabWidget(&window);
    tabs->addTab(new QWidget(tabs), QStringLiteral("One"));
    auto* second = new QWidget(tabs);
    auto* cut = new QPushButton(QStringLiteral("Export the chart as a picture"), second);
    cut->setObjectName(QStringLiteral("OnPageTwo"));
    cut->setFixedWidth(40);
    (new QVBoxLayout(second))->addWidget(cut);
    tabs->addTab(second, QStringLiteral("Two"));
    layout->addWidget(tabs);
    ShowAndSettle(&window);

    EXPECT_TRUE(TextFitProblems(&window, {}).isEmpty());
    const QStringList problems = TextFitProblemsOfAllPages(&window, {});
    ASSERT_EQ(problems.size(), 1) << Lines(problems).toStdString();
    EXPECT_TRUE(problems[0].contains(QStringLiteral("OnPageTwo")));
    EXPECT_EQ(tabs->currentIndex(), 0);
}

TEST(TextFitWalker, HanCharacters) {
    EXPECT_TRUE(HasHan(QStringLiteral("版本")));
    EXPECT_TRUE(HasHan(QStringLiteral("Version 版")));
    EXPECT_TRUE(HasHan(QString::fromUcs4(U"\U00020000")));  // beyond the basic plane
    EXPECT_FALSE(HasHan(QStringLiteral("Version “1”：")));  // punctuation is no Han text
    EXPECT_FALSE(HasHan(QString()));
}

// ---- the windows, in both languages -----------------------------------------------------

struct TLanguageCase {
    TUiLanguage language;
    const char* name;
};
constexpr TLanguageCase kLanguages[] = {{TUiLanguage::Chinese, "Chinese"},
                                        {TUiLanguage::English, "English"}};

// Builds the window under the language's translators, shows it and walks all its pages.
void ExpectFits(const std::function<std::unique_ptr<QWidget>()>& make,
                const QStringList& userData = {}) {
    for (const TLanguageCase& lang : kLanguages) {
        SCOPED_TRACE(lang.name);
        const TInstalledTranslations translations(lang.language);
        if (lang.language == TUiLanguage::English) {
            ASSERT_TRUE(translations.Missing().isEmpty())
                << Lines(translations.Missing()).toStdString();
        }
        const std::unique_ptr<QWidget> window = make();
        ShowAndSettle(window.get());
        const QStringList problems = TextFitProblemsOfAllPages(
            window.get(), {lang.language == TUiLanguage::English, userData});
        EXPECT_TRUE(problems.isEmpty()) << Lines(problems).toStdString();
    }
}

TEST(LanguageFit, LoginDialog) {
    ExpectFits([] {
        return std::make_unique<TTarnDBLoginForm>(nullptr,
                                                  QStringLiteral("/home/user/版本控制.dat"));
    });
}

TEST(LanguageFit, AreaDialog) {
    ExpectFits([] { return std::make_unique<TCreatDataAreaW>(nullptr); });
}

TEST(LanguageFit, DescriptionPrompt) {
    ExpectFits(
        [] {
            auto prompt = std::make_unique<TFormVerSm>(nullptr, 3600 * 1000);
            prompt->SetTitle(
                QStringLiteral("/home/user/报告/quarterly/2026/drafts/final/"
                               "chapter-three-with-figures/季度.docx"));
            return prompt;
        },
        {QStringLiteral("报告"), QStringLiteral("季度")});
}

TEST(LanguageFit, RetentionDialog) {
    for (const TRetentionMode mode :
         {TRetentionMode::KeepAll, TRetentionMode::KeepLast, TRetentionMode::Staggered}) {
        ExpectFits(
            [mode] {
                TRetentionPolicy policy;
                policy.Mode = mode;
                policy.SizeCapBytes = mode == TRetentionMode::KeepLast ? 512ll << 20 : 0;
                return std::make_unique<TRetentionDialog>(nullptr, QStringLiteral("项目文档区"),
                                                          policy);
            },
            {QStringLiteral("项目文档区")});
    }
}

TEST(LanguageFit, ConfirmationDialog) {
    // The question and the details are the caller's; the buttons are the dialog's.
    const QStringList details = {QStringLiteral("/home/user/docs/plan.txt  2026-03-01-09-00-00"),
                                 QStringLiteral("/home/user/docs/plan.txt  2026-03-02-09-00-00")};
    ExpectFits(
        [&] {
            return std::make_unique<TConfirmDialog>(
                nullptr, QStringLiteral("删除版本"),
                QStringLiteral("要删除下列 2 个版本吗？它们的副本也会从存储区中删除。"), details);
        },
        {QStringLiteral("删除版本"),
         QStringLiteral("要删除下列 2 个版本吗？它们的副本也会从存储区中删除。")});
    ExpectFits([] {
        return std::make_unique<TConfirmDialog>(nullptr, QStringLiteral("Keep"),
                                                QStringLiteral("Keep everything?"), QStringList());
    });
}

TEST(LanguageFit, ReportPage) {
    testing::CatalogueDouble catalogue;
    catalogue.areas = {{1, QStringLiteral("文档"), QStringLiteral("/store/docs")},
                       {2, QStringLiteral("图片"), QStringLiteral("/store/pics")}};
    catalogue.files = {{1, 1, QStringLiteral("/docs/a.txt"), QString(), QString()},
                       {2, 2, QStringLiteral("/pics/c.png"), QString(), QString()}};
    catalogue.versions = {{1, QStringLiteral("2024-03-08-09-00-00"), QStringLiteral("/copy/1"),
                           QString(), QStringLiteral("100"), QStringLiteral(".txt")},
                          {2, QStringLiteral("2024-03-10-09-00-00"), QStringLiteral("/copy/2"),
                           QString(), QStringLiteral("9000"), QStringLiteral(".png")}};
    testing::FakeDesktopServices desktop;
    ExpectFits(
        [&] {
            auto view = std::make_unique<TReportView>(desktop, catalogue);
            view->Today = [] { return QDate(2024, 3, 10); };
            view->resize(744, 400);
            view->Refresh();
            return view;
        },
        {QStringLiteral("文档"), QStringLiteral("图片")});
    EXPECT_TRUE(desktop.messages.empty());
}

TEST(LanguageFit, Ribbon) {
    // As wide as the main window's first size; the colour scheme and application menus are
    // read as well.
    ExpectFits([] {
        auto ribbon = std::make_unique<TRibbon>(nullptr);
        ribbon->resize(744, 145);
        return ribbon;
    });
}

// The main window and the views it opens, over a catalogue with an area "文档" holding
// docs/plan.txt and two versions of it.
class LanguageFitWindows : public testing::MainWindowFixture {
protected:
    void SetUp() override {
        catalogue.Open(options.cataloguePath);
        catalogue.AddArea(QStringLiteral("文档"), testing::Q(dir.file("store")));
        plan = testing::Q(dir.file("docs/plan.txt"));
        Write("title\nalpha\nomega\n", 1600000000);
        auto w = Make(catalogue);
        w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
        w->DropFiles({plan});
        Write("title\nalpha two\nomega\n", 1600000100);
        AnswerPrompt(QStringLiteral("第二稿"));
        w->tmr1Timer();
        const std::vector<QString> names = catalogue.VersionNamesOfFile(1);
        ASSERT_EQ(names.size(), 2u);
        catalogue.FindVersionByName(names[0], version, 1);
    }
    void Write(const char* text, time_t when) {
        std::ofstream(plan.toStdString(), std::ios::binary | std::ios::trunc) << text;
        testing::SetMTime(plan.toStdString(), when);
    }

    TCatalogue catalogue;
    QString plan;
    verinfo version;
};

TEST_F(LanguageFitWindows, MainWindow) {
    // Every ribbon page, the tree with an area, a file and its versions, the version list,
    // and the items of the tree's, the version list's and the tray's menus.
    ExpectFits(
        [&] {
            auto w = Make(catalogue);
            QTreeWidgetItem* file = w->TreeView1->topLevelItem(0)->child(0);
            w->TreeView1->setCurrentItem(file);
            EXPECT_EQ(w->ListView1->topLevelItemCount(), 2);
            return std::unique_ptr<QWidget>(std::move(w));
        },
        {QStringLiteral("文档"), QStringLiteral("第二稿")});
}

TEST_F(LanguageFitWindows, CompareView) {
    ExpectFits([&] {
        const TCompareSide older{
            version.FilePath,
            QCoreApplication::translate("filever", "版本 %1").arg(version.VerName)};
        const TCompareSide current{plan,
                                   QCoreApplication::translate("filever::Tmainw", "当前文件")};
        return std::make_unique<TCompareView>(nullptr, older,
                                              QStringList({"title", "alpha", "omega"}), current,
                                              QStringList({"title", "alpha two", "omega"}));
    });
}

TEST_F(LanguageFitWindows, MergeView) {
    ExpectFits([&] {
        return std::make_unique<TMergeView>(nullptr, desktop, catalogue, version, plan,
                                            QByteArray("title\nalpha\nomega\n"),
                                            QByteArray("title\nalpha two\nomega\n"));
    });
}

TEST(LanguageFit, FolderDialog) {
    ExpectFits(
        [] {
            return std::make_unique<TFolderDialog>(
                nullptr, QStringLiteral("/mnt/share/projects/季度报告/drafts"),
                QStringLiteral("项目文档区"));
        },
        {QStringLiteral("季度报告"), QStringLiteral("项目文档区")});
}

TEST(LanguageFit, TextsOutsideWindows) {
    // The error report's caption, the catalogue's errors and the header of an exported CSV
    // follow the language; the name stored for the log-on start does not.
    struct TExpected {
        TUiLanguage language;
        QString caption;
        QString notOpen;
        QByteArray csvHeader;
    };
    const TExpected cases[] = {
        {TUiLanguage::Chinese, QStringLiteral("文件版本控制"), QStringLiteral("版本目录没有打开."),
         QByteArray("日期,版本数\n")},
        {TUiLanguage::English, QStringLiteral("File Version Control"),
         QStringLiteral("The version catalogue is not open."), QByteArray("Date,Versions\n")},
    };
    for (const TExpected& c : cases) {
        SCOPED_TRACE(c.caption.toStdString());
        const TInstalledTranslations translations(c.language);
        testing::FakeDesktopServices desktop;
        TCatalogue catalogue;  // never opened
        Guarded(desktop, nullptr, [&] { catalogue.Areas(); });
        ASSERT_EQ(desktop.messages.size(), 1u);
        EXPECT_EQ(desktop.messages[0].caption, c.caption);
        EXPECT_EQ(desktop.messages[0].text, c.notOpen);
        EXPECT_EQ(DaysCsv({}), c.csvHeader);
        EXPECT_EQ(kAppTitle, QStringLiteral("文件版本控制"));
    }
}

}  // namespace
}  // namespace filever
