// The "报表" page of the main window: what the catalogue holds, as pictures a user reads
// at a glance. Four tabs: a bar chart of versions per day over the chosen period (the last
// 7, 30 or 365 days), a pie chart of what each storage area's copies take, and two ranked
// lists, the files with the most versions and those with the largest copies (app/
// report_data.h has the figures). The figures are read again by Refresh (the main window
// calls it each time the page is shown) and when the period changes.
//
// Export: ExportImage saves the current tab as a PNG picture, ExportCsv its figures as
// CSV; both ask for the file through the desktop services and report a failed write by the
// standard error report. User-interface thread only.
#pragma once

#include <QDate>
#include <QWidget>
#include <functional>
#include <vector>

#include "app/report_data.h"

class QComboBox;
class QTabWidget;
class QTreeWidget;

class QBarCategoryAxis;
class QBarSeries;
class QBarSet;
class QChartView;
class QPieSeries;
class QValueAxis;

namespace filever {

class TCatalogue;
class TDesktopServices;

class TReportView : public QWidget {
    Q_OBJECT
public:
    TReportView(TDesktopServices& desktop, TCatalogue& catalogue, QWidget* parent = nullptr);

    // The day the period ends with; the clock's date unless a test puts its own here.
    std::function<QDate()> Today;

    QComboBox* Period;  // "最近7天", "最近30天", "最近365天"
    QTabWidget* Tabs;   // the four figures, in the order of the description above
    QChartView* DayChart;
    QChartView* AreaChart;
    QTreeWidget* MostChangedList;
    QTreeWidget* LargestList;

    // The figures shown.
    std::vector<TDayCount> Days;
    std::vector<TAreaFigure> Areas;
    std::vector<TFileFigure> MostChanged;
    std::vector<TFileFigure> Largest;

    // The days of the chosen period.
    int PeriodDays() const;
    // Reads the figures from the catalogue and redraws; errors are reported.
    void Refresh();
    // Asks where to save, then writes the current tab as PNG / its figures as CSV.
    void ExportImage();
    void ExportCsv();

private:
    TDesktopServices& desktop_;
    TCatalogue& catalogue_;
    QBarSet* daySet_;
    QBarSeries* daySeries_;
    QBarCategoryAxis* dayAxis_;
    QValueAxis* countAxis_;
    QPieSeries* areaSeries_;

    void ShowDays();
    void ShowAreas();
    static void ShowFiles(QTreeWidget* list, const std::vector<TFileFigure>& files);
    // Writes `bytes` to `path` whole (through a temporary file), raising on failure.
    static void WriteFile(const QString& path, const QByteArray& bytes);
};

}  // namespace filever
