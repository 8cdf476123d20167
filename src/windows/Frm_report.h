// The report window: one line chart of (date, value) points, refilled by each report and shown modally.
//
// The window keeps the points of the current report in date order (equal dates in the order added) and
// hands them to the chart's one line series in a single replace() when the event loop next runs, when
// the window is shown or when a caller asks for them; so a report of 100,000 points costs one sort, not
// 100,000 insertions. The value marks are drawn by the window itself (TReportMarks in Frm_report.cpp):
// only those of the points in view, and none while the view holds too many points for them to be read.
// The zoom and the axes' labels follow each change of the view (Frm_report_view.cpp); the arithmetic of
// ticks, ranges and mark places is in Report_axis, the saves of the picture and the data in
// Frm_report_save.cpp.
#pragma once

#include "Qv_file.h"
#include "Report_axis.h"

#include <QDate>
#include <QDialog>
#include <QHash>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class QAbstractAxis;
class QAction;
class QCategoryAxis;
class QChart;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QLocale;
class QMenu;
class QTableView;
class QVariantAnimation;
class TReportDataModel;
class TReportMarks;

namespace Ui {
class TFrmReport;
}

// Raised for a date that does not exist; its message is "Invalid argument to date encode".
class Edate_encode_error : public std::runtime_error {
public:
    Edate_encode_error();
};

class TFrmReport : public QDialog {
    Q_OBJECT

public:
    explicit TFrmReport(QWidget *parent = nullptr);
    ~TFrmReport() override;

    // Empties the series, sets the chart title (its one line) and the series name.
    void BeginReport(const QString &title, const QString &seriesName);
    // A point on the first day of date's month, labelled "year-month". Throws for a month outside 1..12.
    void AddMonthPoint(const qv_date &date, double value);
    // A point at date, unlabelled. Throws for a date that does not exist.
    void AddDayPoint(const qv_date &date, double value);
    // The range of days that the report covers: a report without points shows it on its time axis.
    void SetReportRange(const qv_date &from, const qv_date &to);

    QChartView *chartView() const;
    QChart *chart() const { return chart_; }
    QLineSeries *series() const { return series_; }
    // Every point of the report in date order (milliseconds since the epoch of local midnight, value),
    // and the label of each; the pending points are handed to the series first. The series itself holds
    // them all only up to a few thousand; beyond, it holds what the current view shows.
    QList<QPointF> points();
    QStringList pointLabels();
    // The marks that the current view shows; empty when it holds too many points.
    std::vector<TReportMark> visibleMarks();
    // The labels of the horizontal axis in the current view (month reports) and of the vertical axis.
    QStringList monthAxisLabels() const;
    QStringList valueAxisLabels() const;
    bool showsMonthAxis() const { return monthAxisShown_; }
    // The horizontal axis shown: month labels (a QCategoryAxis) or dates (a QDateTimeAxis).
    QAbstractAxis *dateAxis() const;

    // Writes the chart as a PNG file. False, with the reason in error, when it cannot be written.
    bool saveImage(const QString &fileName, QString *error);
    // Asks for a file name and saves the chart there; errors are shown in the error box.
    void saveImageAs();
    // The name of a file to save, asked with the suffix added to a name typed without one.
    QString askSaveFileName(const QString &title, const QString &filter, const QString &suffix);
    // Writes the points as CSV, one "date,value" line each under that header (dates as YYYY-MM-DD, a
    // month report's on the first of the month), through the safe write that the list's export uses.
    bool saveData(const QString &fileName, QString *error);
    // Asks for a file name and saves the points there; errors are shown in the error box.
    void saveDataAs();
    // The loaded history files, which the data is never written over.
    void setLoadedFiles(std::vector<std::string> files) { loadedFiles_ = std::move(files); }
    // Replaces the save dialog (for tests); an empty function restores it. It returns the chosen name or
    // an empty text for a cancel.
    static void setSaveFileNameHook(std::function<QString(QWidget *parent)> hook);

    // The animation of a zoom: the axes, the line and the marks move together from the old view to
    // the new one.
    QVariantAnimation *zoomAnimation() const { return zoomAnimation_; }
    // The least spans that a zoom can reach: a few hours of a day axis, two months of a month axis, a
    // few units of the values (never more than the whole report spans).
    double leastDateSpan() const;
    double leastValueSpan() const;

    QAction *actionZoomReset() const { return actZoomReset_; }
    QAction *actionZoomIn() const { return actZoomIn_; }
    QAction *actionZoomOut() const { return actZoomOut_; }
    QAction *actionShowData() const { return actShowData_; }
    QMenu *contextMenu() const { return menu_; }
    // The points as a table of date and value, shown beside the chart by Show data, for the keyboard
    // and screen readers.
    QTableView *dataTable() const { return dataTable_; }
    // Where the context menu opens from the keyboard: the middle of the plot, on the screen.
    QPoint plotCentre() const;
    // The colours of the chart from the window's palette: light or dark, as the desktop is.
    void followPalette();
    QAction *actionSaveImage() const { return actSaveImage_; }
    QAction *actionSaveData() const { return actSaveData_; }

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Entry {
        QPointF xy;
        QString label;
    };

    void addPoint(const QDate &date, double value, const QString &label);
    void syncSeries();
    void fitAxes();
    void useMonthAxis(bool month);
    void relabelMonthAxis();
    void relabelValueAxis();
    void viewChanged();
    // The marks are laid out again when next drawn or asked for.
    void invalidateMarks();
    void showPoints();
    bool showToolTip(const QPoint &viewportPos, const QPoint &globalPos);
    void showContextMenu(const QPoint &globalPos);
    void resetZoom();

    struct View {
        double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
        friend bool operator==(const View &, const View &) = default;
    };
    View currentView() const;
    void applyView(const View &view);
    // The view widened about its middle to the least spans.
    View withLeastSpans(View view) const;
    // Animates from the view last shown to the one a zoom asked for.
    void animateZoom();
    // The current view is the one shown: no animation towards it.
    void settleView();

    std::unique_ptr<Ui::TFrmReport> ui;
    QChart *chart_ = nullptr;
    QLineSeries *series_ = nullptr;
    QCategoryAxis *axisMonth_ = nullptr;
    QDateTimeAxis *axisDay_ = nullptr;
    QCategoryAxis *axisValue_ = nullptr;
    TReportMarks *marks_ = nullptr;
    QMenu *menu_ = nullptr;
    QAction *actZoomReset_ = nullptr;
    QAction *actZoomOut_ = nullptr;
    QAction *actZoomIn_ = nullptr;
    QAction *actShowData_ = nullptr;
    QAction *actMenuKey_ = nullptr;
    QTableView *dataTable_ = nullptr;
    TReportDataModel *dataModel_ = nullptr;
    QAction *actSaveImage_ = nullptr;
    QAction *actSaveData_ = nullptr;
    std::vector<std::string> loadedFiles_;

    std::vector<Entry> entries_; // [0, sorted_) in date order, the rest in the order added
    std::size_t sorted_ = 0;
    bool syncQueued_ = false;
    bool seriesHoldsAll_ = true;     // else it holds what the view shows
    QHash<qint64, qint64> dayStart_; // Julian day -> local midnight in ms since the epoch
    bool monthAxisShown_ = false;
    bool relabelling_ = false;
    double xMin_ = 0, xMax_ = 1;           // the current view, cached for the marks and the tool tip
    QDate rangeFrom_, rangeTo_;            // the days the report covers, when known
    double fullXSpan_ = 1, fullYSpan_ = 1; // of the view that fits the whole report
    QVariantAnimation *zoomAnimation_ = nullptr;
    View shown_; // the view last drawn by the program (settled or a step of an animation)
    View zoomFrom_, zoomTo_;
    bool zoomQueued_ = false;
    bool applyingView_ = false;

    friend class TReportMarks;
    friend class TReportDataModel;
};

extern TFrmReport *FrmReport;

enum class qv_report_kind { quantity_month, gross_month, quantity_day, gross_day };

// Fills report with the points of kind over [from, to] from every record of store: BeginReport, then
// one AddMonthPoint or AddDayPoint per point. Throws Edate_encode_error for a date that does not exist;
// the points before it stay.
void FillReport(TFrmReport &report, Tqv_records &store, qv_report_kind kind, const qv_date &from,
                const qv_date &to);
// FillReport in two steps, so that the walk of the store can run on another thread: the points of kind
// (the data layer's sums; go_on as theirs), then the window filled with them.
std::vector<qv_report_point> ReportPoints(Tqv_records &store, qv_report_kind kind, const qv_date &from,
                                          const qv_date &to, const qv_go_on_fn &go_on = {});
void FillReportPoints(TFrmReport &report, qv_report_kind kind, const qv_date &from, const qv_date &to,
                      const std::vector<qv_report_point> &points);
