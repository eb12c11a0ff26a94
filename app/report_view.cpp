#include "app/report_view.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPieSeries>
#include <QPixmap>
#include <QSaveFile>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

#include "app/error_report.h"
#include "app/gb_text.h"
#include "app/size_text.h"
#include "tarndb/errors.h"

namespace filever {

namespace {

constexpr int kPeriods[] = {7, 30, 365};

QChartView* NewChartView(QWidget* parent, const QString& title) {
    auto* chart = new QChart();
    chart->setTitle(title);
    chart->setAnimationOptions(QChart::NoAnimation);
    auto* view = new QChartView(chart, parent);
    view->setRenderHint(QPainter::Antialiasing);
    return view;
}

QTreeWidget* NewRankList(QWidget* parent, const QString& name) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setRootIsDecorated(false);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setTextElideMode(Qt::ElideMiddle);
    list->setHeaderLabels({TReportView::tr("排名"), TReportView::tr("文件"),
                           TReportView::tr("版本数"), TReportView::tr("占用空间")});
    list->header()->setStretchLastSection(false);
    list->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    list->header()->resizeSection(0, 50);
    list->header()->resizeSection(2, 70);
    list->header()->resizeSection(3, 100);
    return list;
}

}  // namespace

TReportView::TReportView(TDesktopServices& desktop, TCatalogue& catalogue, QWidget* parent)
    : QWidget(parent), desktop_(desktop), catalogue_(catalogue) {
    setObjectName(QStringLiteral("ReportView"));
    Today = [] { return QDate::currentDate(); };

    Period = new QComboBox(this);
    Period->setObjectName(QStringLiteral("ReportPeriod"));
    for (int days : kPeriods) Period->addItem(tr("最近%1天").arg(days));
    connect(Period, &QComboBox::currentIndexChanged, this, [this] {
        Guarded(desktop_, this, [&] {
            Days = VersionsPerDay(catalogue_, Today(), PeriodDays());
            ShowDays();
        });
    });

    Tabs = new QTabWidget(this);
    Tabs->setObjectName(QStringLiteral("ReportTabs"));
    DayChart = NewChartView(Tabs, tr("每日版本数"));
    AreaChart = NewChartView(Tabs, tr("各存储区占用空间"));
    MostChangedList = NewRankList(Tabs, QStringLiteral("MostChangedList"));
    LargestList = NewRankList(Tabs, QStringLiteral("LargestList"));
    // The charts keep their series and axes; Show* put the figures in.
    daySet_ = new QBarSet(tr("版本数"));
    daySeries_ = new QBarSeries();
    daySeries_->append(daySet_);
    dayAxis_ = new QBarCategoryAxis();
    countAxis_ = new QValueAxis();
    countAxis_->setLabelFormat(QStringLiteral("%d"));
    QChart* days = DayChart->chart();
    days->addSeries(daySeries_);
    days->addAxis(dayAxis_, Qt::AlignBottom);
    days->addAxis(countAxis_, Qt::AlignLeft);
    daySeries_->attachAxis(dayAxis_);
    daySeries_->attachAxis(countAxis_);
    days->legend()->hide();
    areaSeries_ = new QPieSeries();
    AreaChart->chart()->addSeries(areaSeries_);
    AreaChart->chart()->legend()->setAlignment(Qt::AlignRight);

    Tabs->addTab(DayChart, tr("每日版本"));
    Tabs->addTab(AreaChart, tr("存储区占用"));
    Tabs->addTab(MostChangedList, tr("修改最多的文件"));
    Tabs->addTab(LargestList, tr("占用最大的文件"));

    auto* top = new QHBoxLayout();
    top->addWidget(new QLabel(tr("统计期间："), this));
    top->addWidget(Period);
    top->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(top);
    layout->addWidget(Tabs, 1);
}

int TReportView::PeriodDays() const {
    const int i = std::clamp(Period->currentIndex(), 0, int(std::size(kPeriods)) - 1);
    return kPeriods[i];
}

void TReportView::Refresh() {
    Guarded(desktop_, this, [&] {
        Days = VersionsPerDay(catalogue_, Today(), PeriodDays());
        Areas = StoragePerArea(catalogue_);
        const std::vector<TFileFigure> files = FileFigures(catalogue_);
        MostChanged = MostChangedFiles(files);
        Largest = LargestFiles(files);
    });
    ShowDays();
    ShowAreas();
    ShowFiles(MostChangedList, MostChanged);
    ShowFiles(LargestList, Largest);
}

void TReportView::ShowDays() {
    QStringList labels;
    QList<qreal> values;
    int most = 0;
    for (const TDayCount& d : Days) {
        values << d.Versions;
        labels << d.Day.toString(QStringLiteral("MM-dd"));
        most = std::max(most, d.Versions);
    }
    daySet_->remove(0, daySet_->count());
    daySet_->append(values);
    daySeries_->setBarWidth(Days.size() > 31 ? 1.0 : 0.7);
    dayAxis_->clear();
    dayAxis_->append(labels);
    // A year of days has no room for a label each: the title names the period instead.
    const bool year = Days.size() > 31;
    dayAxis_->setLabelsVisible(!year);
    dayAxis_->setGridLineVisible(!year);
    dayAxis_->setLabelsAngle(Days.size() > 7 ? -90 : 0);
    dayAxis_->setTitleText(year && !Days.empty() ? tr("%1 至 %2")
                                                       .arg(Days.front().Day.toString(Qt::ISODate),
                                                            Days.back().Day.toString(Qt::ISODate))
                                                 : QString());
    countAxis_->setRange(0, std::max(most, 1));
    countAxis_->setTickCount(std::min(std::max(most, 1), 10) + 1);
}

void TReportView::ShowAreas() {
    areaSeries_->clear();
    for (const TAreaFigure& a : Areas) {
        QPieSlice* slice = areaSeries_->append(
            QStringLiteral("%1 %2").arg(a.Name, StorageText(a.Bytes)), double(a.Bytes));
        slice->setLabelVisible(a.Bytes > 0);
    }
}

void TReportView::ShowFiles(QTreeWidget* list, const std::vector<TFileFigure>& files) {
    list->clear();
    int rank = 0;
    for (const TFileFigure& f : files) {
        auto* item = new QTreeWidgetItem(list);
        item->setText(0, QString::number(++rank));
        item->setText(1, f.SourcePath);
        item->setToolTip(1, f.SourcePath);
        item->setText(2, QString::number(f.Versions));
        item->setText(3, StorageText(f.Bytes));
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
    }
}

void TReportView::ExportImage() {
    Guarded(desktop_, this, [&] {
        const QString path =
            desktop_.GetSaveFileName(this, tr("导出图片"), tr("报表.png"), tr("PNG 图片 (*.png)"));
        if (path.isEmpty()) return;
        QWidget* shown = Tabs->currentWidget();
        // An unshown page has no size of its own yet.
        if (!shown->isVisible() && shown->size().width() < 100) shown->resize(800, 500);
        QByteArray bytes;
        {
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            if (!shown->grab().save(&buffer, "PNG"))
                throw tarn::EInOutError(QStringToAnsi(
                    QStringLiteral("The picture for \"%1\" could not be made").arg(path)));
        }
        WriteFile(path, bytes);
    });
}

void TReportView::ExportCsv() {
    Guarded(desktop_, this, [&] {
        const QString path =
            desktop_.GetSaveFileName(this, tr("导出CSV"), tr("报表.csv"), tr("CSV 文件 (*.csv)"));
        if (path.isEmpty()) return;
        QByteArray text;
        switch (Tabs->currentIndex()) {
            case 0:
                text = DaysCsv(Days);
                break;
            case 1:
                text = AreasCsv(Areas);
                break;
            case 2:
                text = FilesCsv(MostChanged);
                break;
            default:
                text = FilesCsv(Largest);
                break;
        }
        WriteFile(path, text);
    });
}

void TReportView::WriteFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw tarn::EFOpenError(QStringToAnsi(
            QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString())));
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw tarn::EInOutError(QStringToAnsi(
            QStringLiteral("Write failed on \"%1\": %2").arg(path, file.errorString())));
}

}  // namespace filever
