// The "报表" page in the main window, offscreen over the catalogue's double: picking the
// tab shows the figures in place of the tree, the charts hold them, and the ribbon's
// buttons export the current figure as a picture and as CSV.
#include "app/report_view.h"

#include <gtest/gtest.h>

#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QCoreApplication>
#include <QImage>
#include <QPieSeries>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>

#include "app/ribbon.h"
#include "app/testing/catalogue_double.h"
#include "app/testing/main_window_fixture.h"

namespace filever {
namespace {

using testing::CatalogueDouble;
using testing::Content;
using testing::Q;

class ReportPage : public testing::MainWindowFixture {
protected:
    CatalogueDouble catalogue;
    std::unique_ptr<Tmainw> w;

    void SetUp() override {
        catalogue.areas = {{1, "文档", Q(dir.file("store"))}, {2, "图片", Q(dir.file("pics"))}};
        catalogue.files = {{1, 1, "/docs/a.txt", "", ""},
                           {2, 1, "/docs/b.txt", "", ""},
                           {3, 2, "/pics/c.png", "", ""}};
        const auto v = [](int32_t file, const char* name, int64_t bytes) {
            return TVersionRow{file,
                               name,
                               QStringLiteral("/copy/%1/%2").arg(file).arg(name),
                               QString(),
                               QString::number(bytes),
                               ".txt"};
        };
        catalogue.versions = {v(1, "2024-03-08-09-00-00", 100), v(1, "2024-03-10-09-00-00", 150),
                              v(2, "2024-03-10-10-00-00", 40), v(3, "2024-02-20-10-00-00", 9000),
                              v(1, "2024-03-04-09-00-00", 120)};
        w = Make(catalogue);
        w->Reports->Today = [] { return QDate(2024, 3, 10); };
    }

    void PickTab(const QString& title) {
        QTabBar* tabs = w->ToolBarPager1->Tabs;
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->tabText(i) == title) return tabs->setCurrentIndex(i);
        FAIL() << "no tab " << title.toStdString();
    }

    std::vector<double> DayValues() {
        const QList<QAbstractSeries*> series = w->Reports->DayChart->chart()->series();
        if (series.size() != 1) return {};
        auto* bars = qobject_cast<QBarSeries*>(series[0]);
        if (!bars || bars->count() != 1) return {};
        std::vector<double> out;
        for (int i = 0; i < bars->barSets()[0]->count(); ++i)
            out.push_back(bars->barSets()[0]->at(i));
        return out;
    }
};

TEST_F(ReportPage, PickingTheTabShowsTheFiguresInPlaceOfTheTree) {
    EXPECT_TRUE(w->PageControl->isVisibleTo(w.get()));
    EXPECT_FALSE(w->Reports->isVisibleTo(w.get()));
    PickTab("报表");
    EXPECT_TRUE(w->Reports->isVisibleTo(w.get()));
    EXPECT_FALSE(w->PageControl->isVisibleTo(w.get()));

    EXPECT_EQ(DayValues(), (std::vector<double>{1, 0, 0, 0, 1, 0, 2}))
        << "the last 7 days, 2024-03-04 to 2024-03-10";
    w->Reports->Period->setCurrentIndex(1);
    const std::vector<double> month = DayValues();
    ASSERT_EQ(month.size(), 30u);
    EXPECT_EQ(month[10], 1) << "2024-02-10 .. 2024-03-10: the February version is day 10";
    EXPECT_EQ(month[23], 1);
    EXPECT_EQ(month[29], 2);

    auto* pie = qobject_cast<QPieSeries*>(w->Reports->AreaChart->chart()->series().value(0));
    ASSERT_NE(pie, nullptr);
    ASSERT_EQ(pie->count(), 2);
    EXPECT_EQ(pie->slices()[0]->value(), 410);
    EXPECT_EQ(pie->slices()[1]->value(), 9000);
    EXPECT_TRUE(pie->slices()[0]->label().startsWith("文档"));

    ASSERT_EQ(w->Reports->MostChangedList->topLevelItemCount(), 3);
    EXPECT_EQ(w->Reports->MostChangedList->topLevelItem(0)->text(1), "/docs/a.txt");
    EXPECT_EQ(w->Reports->MostChangedList->topLevelItem(0)->text(2), "3");
    EXPECT_EQ(w->Reports->LargestList->topLevelItem(0)->text(1), "/pics/c.png");

    // What changed since is read again when the page is picked again.
    catalogue.versions.push_back({2, "2024-03-09-10-00-00", "/copy/x", "", "1", ".txt"});
    PickTab("文件管理");
    EXPECT_TRUE(w->PageControl->isVisibleTo(w.get()));
    PickTab("报表");
    EXPECT_EQ(DayValues()[28], 1);
}

TEST_F(ReportPage, ExportsTheCurrentFigureAsPictureAndCsv) {
    PickTab("报表");
    const std::string png = dir.file("报表.png");
    desktop.saveFileAnswers.push_back(Q(png));
    w->ToolBarPager1->ReportImageButton->click();
    ASSERT_EQ(desktop.saveQuestions.size(), 1u);
    EXPECT_EQ(desktop.saveQuestions[0].caption, "导出图片");
    const QImage image(Q(png), "PNG");
    EXPECT_FALSE(image.isNull());
    EXPECT_GT(image.width(), 0);
    EXPECT_GT(image.height(), 0);

    const std::string csv = dir.file("days.csv");
    desktop.saveFileAnswers.push_back(Q(csv));
    w->ToolBarPager1->ReportCsvButton->click();
    EXPECT_EQ(Content(csv),
              QByteArray("日期,版本数\n2024-03-04,1\n2024-03-05,0\n2024-03-06,0\n2024-03-07,0\n"
                         "2024-03-08,1\n2024-03-09,0\n2024-03-10,2\n"));

    w->Reports->Tabs->setCurrentIndex(1);
    desktop.saveFileAnswers.push_back(Q(csv));
    w->ToolBarPager1->ReportCsvButton->click();
    EXPECT_EQ(Content(csv), QByteArray("存储区,字节数\n文档,410\n图片,9000\n"));

    w->Reports->Tabs->setCurrentIndex(3);
    desktop.saveFileAnswers.push_back(Q(csv));
    w->ToolBarPager1->ReportCsvButton->click();
    EXPECT_EQ(Content(csv), QByteArray("排名,文件,版本数,字节数\n1,/pics/c.png,1,9000\n"
                                       "2,/docs/a.txt,3,370\n3,/docs/b.txt,1,40\n"));

    // The picture of a list is the list, drawn.
    const std::string listPng = dir.file("list.png");
    desktop.saveFileAnswers.push_back(Q(listPng));
    w->ToolBarPager1->ReportImageButton->click();
    EXPECT_FALSE(QImage(Q(listPng), "PNG").isNull());
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(ReportPage, ACancelledQuestionWritesNothingAndAFailedWriteIsReported) {
    PickTab("报表");
    w->ToolBarPager1->ReportCsvButton->click();  // no answer: cancelled
    EXPECT_EQ(desktop.saveQuestions.size(), 1u);
    EXPECT_TRUE(desktop.messages.empty());

    desktop.saveFileAnswers.push_back(Q(dir.file("no such folder/days.csv")));
    w->ToolBarPager1->ReportCsvButton->click();
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].icon, TMsgIcon::Error);
    EXPECT_TRUE(desktop.messages[0].text.contains("no such folder/days.csv"))
        << desktop.messages[0].text.toStdString();
}

}  // namespace
}  // namespace filever

namespace filever {
namespace {

// The page drawn as a user sees it, over a month of work in three areas. With
// FILEVER_SCREENSHOT_DIR set, the picture is also kept there as report.png (the README's).
TEST_F(ReportPage, TheWholePageDrawsItsChartsOnScreen) {
    catalogue.areas = {{1, "项目文档", "/store/docs"},
                       {2, "设计图纸", "/store/cad"},
                       {3, "财务报表", "/store/fin"}};
    catalogue.files.clear();
    catalogue.versions.clear();
    const char* names[] = {"/home/li/文档/需求说明书.docx", "/home/li/文档/会议纪要.txt",
                           "/home/li/文档/项目计划.xlsx",   "/home/li/图纸/总装图.dwg",
                           "/home/li/图纸/零件清单.csv",    "/home/li/财务/三月预算.xlsx"};
    const int areaOf[] = {1, 1, 1, 2, 2, 3};
    const int64_t size[] = {48000, 3200, 21000, 2400000, 9000, 64000};
    for (int f = 0; f < 6; ++f) {
        catalogue.files.push_back({f + 1, areaOf[f], QString::fromUtf8(names[f]), "", ""});
        // A version on some days of the month, more often for the first files.
        for (int day = 0; day < 30; ++day) {
            if ((day * 7 + f * 3) % (f + 2) != 0) continue;
            const QString name =
                QDate(2024, 3, 10).addDays(-day).toString("yyyy-MM-dd") + "-10-00-00";
            catalogue.versions.push_back({f + 1, name,
                                          QStringLiteral("/copy/%1/%2").arg(f).arg(name), "",
                                          QString::number(size[f] + day * 100), ".x"});
        }
    }
    w->resize(1000, 640);
    w->show();
    PickTab("报表");
    w->Reports->Period->setCurrentIndex(1);
    QCoreApplication::processEvents();  // the charts lay their axes out in the event loop
    const QImage page = w->grab().toImage();
    ASSERT_FALSE(page.isNull());
    // The chart area is drawn: more than a handful of colours in it.
    const QImage chart = w->Reports->DayChart->grab().toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < chart.height(); y += 3)
        for (int x = 0; x < chart.width(); x += 3) colours.insert(chart.pixel(x, y));
    EXPECT_GT(colours.size(), 20);
    const QByteArray target = qgetenv("FILEVER_SCREENSHOT_DIR");
    if (!target.isEmpty()) {
        EXPECT_TRUE(page.save(QString::fromLocal8Bit(target) + "/report.png"));
    }
}

}  // namespace
}  // namespace filever
