// The report window (see Frm_report.h): its chart, axes, actions and menu; the points of a report, kept
// in date order and handed to the series; the ranges that fit the axes to them; the value marks drawn
// over the chart (TReportMarks); the mouse, the wheel and the tool tip; and FillReport, which fills the
// window from the data layer's report sums. The view's zoom and labels are in Frm_report_view.cpp, the
// saves in Frm_report_save.cpp.
#include "Frm_report.h"

#include "Accessible_names.h"
#include "Bcl.h"
#include "Dlg_date.h"
#include "Report_axis.h"
#include "ui_Frm_report.h"

#include <QAction>
#include <QApplication>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFontMetricsF>
#include <QGraphicsItem>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineSeries>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QTableView>
#include <QToolTip>
#include <QVariantAnimation>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>

TFrmReport *FrmReport = nullptr;

namespace {

// Up to this many points the series holds them all and zooming is animated. Above it the series holds
// only what the current view can show (see showPoints) and the line is redrawn at once: drawing or
// interpolating a polyline of 100,000 points on every resize or zoom step would make the window sluggish.
constexpr std::size_t allPointsLimit = 5000;

} // namespace

Edate_encode_error::Edate_encode_error() : std::runtime_error("Invalid argument to date encode")
{
}

// The value marks: a box with the value above (or, to keep clear of a neighbour, below) each point in
// view, joined to it by a short line. Laid out again after every change of the view.
class TReportMarks : public QGraphicsItem {
public:
    explicit TReportMarks(TFrmReport *owner) : QGraphicsItem(owner->chart_), owner_(owner)
    {
        setZValue(1000); // above the series, the grid and the axes
    }

    QRectF boundingRect() const override { return owner_->chart_->rect(); }

    void invalidate()
    {
        dirty_ = true;
        prepareGeometryChange();
        update();
    }

    const std::vector<TReportMark> &marks()
    {
        if (dirty_)
            layout();
        return marks_;
    }

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *) override
    {
        const std::vector<TReportMark> &all = marks();
        if (all.empty())
            return;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->setFont(owner_->font());
        for (const TReportMark &mark : all) {
            const double edge = mark.box.center().y() < mark.anchor.y() ? mark.box.bottom() : mark.box.top();
            painter->setPen(QPen(QColor(128, 128, 128), 1));
            painter->drawLine(QPointF(mark.anchor.x(), mark.anchor.y()), QPointF(mark.anchor.x(), edge));
            painter->setBrush(owner_->palette().color(QPalette::ToolTipBase));
            painter->drawRect(mark.box);
            painter->setPen(owner_->palette().color(QPalette::ToolTipText));
            painter->drawText(mark.box, Qt::AlignCenter, mark.text);
        }
        painter->restore();
    }

private:
    void layout()
    {
        dirty_ = false;
        marks_.clear();
        const QRectF plot = owner_->chart_->plotArea();
        const double yMin = owner_->axisValue_->min();
        const double yMax = owner_->axisValue_->max();
        const double xMin = owner_->xMin_;
        const double xMax = owner_->xMax_;
        if (plot.width() < 1 || plot.height() < 1 || !(xMax > xMin) || !(yMax > yMin))
            return;
        const auto &entries = owner_->entries_;
        const auto sortedEnd = entries.begin() + static_cast<std::ptrdiff_t>(owner_->sorted_);
        const auto first = std::lower_bound(entries.begin(), sortedEnd, xMin,
                                            [](const auto &e, double x) { return e.xy.x() < x; });
        const auto last =
            std::upper_bound(first, sortedEnd, xMax, [](double x, const auto &e) { return x < e.xy.x(); });
        if (!reportRoomForMarks(last - first, plot.width()))
            return;

        const QLocale locale;
        const QFontMetricsF metrics(owner_->font());
        const double height = metrics.height() + 2;
        std::vector<TReportMark> candidates;
        double widest = 0;
        for (auto it = first; it != last; ++it) {
            const double y = it->xy.y();
            if (y < yMin || y > yMax)
                continue;
            const QPointF anchor(plot.left() + (it->xy.x() - xMin) / (xMax - xMin) * plot.width(),
                                 plot.bottom() - (y - yMin) / (yMax - yMin) * plot.height());
            const QString text = formatReportValue(y, locale);
            const double width = metrics.horizontalAdvance(text) + 6;
            widest = std::max(widest, width);
            candidates.push_back({anchor, QRectF(0, 0, width, height), text});
        }
        if (!reportRoomForMarkRows(candidates.size(), widest, plot.width()))
            return;
        reportPlaceMarks(candidates, owner_->chart_->rect(), height, marks_);
    }

    TFrmReport *owner_;
    std::vector<TReportMark> marks_;
    bool dirty_ = true;
};

// The report's points as a table of two columns, date and value, read from the window's entries.
class TReportDataModel : public QAbstractTableModel {
public:
    explicit TReportDataModel(TFrmReport *owner) : QAbstractTableModel(owner), owner_(owner) {}

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(owner_->sorted_);
    }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : 2; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || static_cast<std::size_t>(index.row()) >= owner_->sorted_)
            return {};
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(
                Qt::Alignment((index.column() == 1 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
        if (role != Qt::DisplayRole)
            return {};
        const auto &entry = owner_->entries_[static_cast<std::size_t>(index.row())];
        const QLocale locale;
        if (index.column() == 1)
            return formatReportValue(entry.xy.y(), locale);
        if (!entry.label.isEmpty())
            return entry.label;
        return locale.toString(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(entry.xy.x())).date(),
                               shortDateFormat(locale));
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || section < 0 || section > 1)
            return QAbstractTableModel::headerData(section, orientation, role);
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(
                Qt::Alignment((section == 1 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
        if (role != Qt::DisplayRole)
            return {};
        return section == 0 ? QStringLiteral("Date") : owner_->series_->name();
    }
    void refresh()
    {
        beginResetModel();
        endResetModel();
    }

private:
    TFrmReport *owner_;
};

TFrmReport::TFrmReport(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TFrmReport>())
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    QFont windowFont = font();
    windowFont.setFamilies({QStringLiteral("Tahoma"), windowFont.family()});
    windowFont.setPixelSize(11);
    setFont(windowFont);

    chart_ = ui->Chart1->chart(); // the view owns it
    chart_->setObjectName(QStringLiteral("Chart1"));
    chart_->legend()->hide();
    chart_->setBackgroundRoundness(0);
    chart_->setPlotAreaBackgroundVisible(false);
    // Zooms are animated by the window itself, so that the axes and the marks move with the line.
    chart_->setAnimationOptions(QChart::NoAnimation);
    QFont titleFont = chart_->titleFont();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    chart_->setTitleFont(titleFont);
    ui->Chart1->setRenderHint(QPainter::Antialiasing);
    ui->Chart1->setRubberBand(QChartView::RectangleRubberBand);

    series_ = new QLineSeries();
    series_->setObjectName(QStringLiteral("Series1"));
    series_->setPen(QPen(QColor(Qt::red), 2));
    series_->setPointsVisible(false);
    chart_->addSeries(series_);

    axisValue_ = new QCategoryAxis();
    axisValue_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    chart_->addAxis(axisValue_, Qt::AlignLeft);
    series_->attachAxis(axisValue_);

    axisMonth_ = new QCategoryAxis();
    axisMonth_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axisDay_ = new QDateTimeAxis();
    // The axes in the window's font: small enough for a label at each month of a year.
    for (QAbstractAxis *axis :
         {static_cast<QAbstractAxis *>(axisValue_), static_cast<QAbstractAxis *>(axisMonth_),
          static_cast<QAbstractAxis *>(axisDay_)})
        axis->setLabelsFont(windowFont);
    chart_->addAxis(axisDay_, Qt::AlignBottom);
    series_->attachAxis(axisDay_);
    chart_->addAxis(axisMonth_, Qt::AlignBottom);
    series_->attachAxis(axisMonth_);
    useMonthAxis(false);

    marks_ = new TReportMarks(this);

    connect(axisValue_, &QValueAxis::rangeChanged, this, &TFrmReport::viewChanged);
    connect(axisMonth_, &QValueAxis::rangeChanged, this, &TFrmReport::viewChanged);
    connect(axisDay_, &QDateTimeAxis::rangeChanged, this, &TFrmReport::viewChanged);
    connect(chart_, &QChart::plotAreaChanged, this, &TFrmReport::viewChanged);

    actZoomReset_ = new QAction(tr("&Reset zoom"), this);
    actZoomReset_->setObjectName(QStringLiteral("actZoomReset"));
    actZoomReset_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    connect(actZoomReset_, &QAction::triggered, this, &TFrmReport::resetZoom);
    actZoomOut_ = new QAction(tr("Zoom &out"), this);
    actZoomOut_->setObjectName(QStringLiteral("actZoomOut"));
    // + and - as well as the standard keys (Ctrl and + or -).
    actZoomOut_->setShortcuts({QKeySequence(Qt::Key_Minus), QKeySequence(QKeySequence::ZoomOut)});
    connect(actZoomOut_, &QAction::triggered, this, [this] { chart_->zoomOut(); });
    actZoomIn_ = new QAction(tr("Zoom &in"), this);
    actZoomIn_->setObjectName(QStringLiteral("actZoomIn"));
    actZoomIn_->setShortcuts({QKeySequence(Qt::Key_Plus), QKeySequence(QKeySequence::ZoomIn)});
    connect(actZoomIn_, &QAction::triggered, this, [this] { chart_->zoomIn(); });
    actShowData_ = new QAction(tr("Show &data"), this);
    actShowData_->setObjectName(QStringLiteral("actShowData"));
    actShowData_->setCheckable(true);
    actShowData_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    connect(actShowData_, &QAction::toggled, this, [this](bool on) {
        dataTable_->setVisible(on);
        if (on)
            dataTable_->setFocus();
    });
    // Shift+F10 and the Menu key open the context menu at the plot.
    actMenuKey_ = new QAction(this);
    actMenuKey_->setObjectName(QStringLiteral("actMenuKey"));
    actMenuKey_->setShortcuts({QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)});
    connect(actMenuKey_, &QAction::triggered, this, [this] { showContextMenu(plotCentre()); });
    actSaveImage_ = new QAction(tr("&Save image..."), this);
    actSaveImage_->setObjectName(QStringLiteral("actSaveImage"));
    actSaveImage_->setShortcut(QKeySequence::Save);
    connect(actSaveImage_, &QAction::triggered, this, &TFrmReport::saveImageAs);
    actSaveData_ = new QAction(tr("Save &data..."), this);
    actSaveData_->setObjectName(QStringLiteral("actSaveData"));
    connect(actSaveData_, &QAction::triggered, this, [this] { bcl_guard(this, [this] { saveDataAs(); }); });
    addActions(
        {actZoomReset_, actZoomIn_, actZoomOut_, actShowData_, actSaveImage_, actSaveData_, actMenuKey_});
    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("ReportMenu"));
    menu_->addAction(actZoomReset_);
    menu_->addAction(actZoomIn_);
    menu_->addAction(actZoomOut_);
    menu_->addSeparator();
    menu_->addAction(actShowData_);
    menu_->addAction(actSaveImage_);
    menu_->addAction(actSaveData_);

    dataModel_ = new TReportDataModel(this);
    dataTable_ = new QTableView(this);
    dataTable_->setObjectName(QStringLiteral("ReportData"));
    dataTable_->setAccessibleName(tr("Report data"));
    dataTable_->setAccessibleDescription(tr("The points of the chart, one a row: date and value"));
    dataTable_->setModel(dataModel_);
    dataTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dataTable_->setSelectionBehavior(QAbstractItemView::SelectRows);
    dataTable_->setTabKeyNavigation(false);
    dataTable_->verticalHeader()->hide();
    dataTable_->horizontalHeader()->setStretchLastSection(true);
    dataTable_->setMinimumWidth(220);
    dataTable_->setMaximumWidth(320);
    dataTable_->hide();
    // Beside the chart, in the window's one layout.
    auto *row = new QHBoxLayout();
    row->setSpacing(0);
    layout()->removeWidget(ui->Chart1);
    row->addWidget(ui->Chart1, 1);
    row->addWidget(dataTable_);
    static_cast<QBoxLayout *>(layout())->addLayout(row);

    ui->Chart1->setAccessibleName(tr("Chart"));
    ui->Chart1->viewport()->setAccessibleName(tr("Chart plot"));
    followPalette();

    ui->Chart1->viewport()->installEventFilter(this);
    ui->Chart1->setFocusPolicy(Qt::StrongFocus);
    ui->Chart1->installEventFilter(this);

    zoomAnimation_ = new QVariantAnimation(this);
    zoomAnimation_->setDuration(400);
    zoomAnimation_->setStartValue(0.0);
    zoomAnimation_->setEndValue(1.0);
    zoomAnimation_->setEasingCurve(QEasingCurve::OutCubic);
    connect(zoomAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        const double t = value.toDouble();
        const auto between = [t](double a, double b) { return a + (b - a) * t; };
        applyView({between(zoomFrom_.x0, zoomTo_.x0), between(zoomFrom_.x1, zoomTo_.x1),
                   between(zoomFrom_.y0, zoomTo_.y0), between(zoomFrom_.y1, zoomTo_.y1)});
    });
    connect(zoomAnimation_, &QVariantAnimation::finished, this, [this] { applyView(zoomTo_); });

    fitAxes();
    settleView();
    qv_name_accessible_parts(this);
}

TFrmReport::~TFrmReport() = default;

QChartView *TFrmReport::chartView() const
{
    return ui->Chart1;
}

void TFrmReport::BeginReport(const QString &title, const QString &seriesName)
{
    entries_.clear();
    sorted_ = 0;
    series_->clear();
    seriesHoldsAll_ = true;
    chart_->setTitle(title);
    series_->setName(seriesName);
    dataModel_->refresh();
    chart_->zoomReset();
    rangeFrom_ = rangeTo_ = QDate();
    useMonthAxis(false);
    fitAxes();
    viewChanged();
    settleView();
}

void TFrmReport::SetReportRange(const qv_date &from, const qv_date &to)
{
    rangeFrom_ = QDate(from.year, from.month, from.day);
    rangeTo_ = QDate(to.year, to.month, to.day);
    if (entries_.empty()) {
        fitAxes();
        viewChanged();
        settleView();
    }
}

void TFrmReport::AddMonthPoint(const qv_date &date, double value)
{
    Cbcl_str label(128);
    if (!qv_date_exists(qv_date{date.year, date.month, 1}))
        throw Edate_encode_error();
    std::snprintf(label.buffer(), 128, "%u-%u", unsigned{date.year}, unsigned{date.month});
    addPoint(QDate(date.year, date.month, 1), value, QString::fromLatin1(label.buffer()));
}

void TFrmReport::AddDayPoint(const qv_date &date, double value)
{
    if (!qv_date_exists(date))
        throw Edate_encode_error();
    addPoint(QDate(date.year, date.month, date.day), value, QString());
}

void TFrmReport::addPoint(const QDate &date, double value, const QString &label)
{
    // Local midnight, looked up once per day: the time zone rules make it costly.
    auto known = dayStart_.constFind(date.toJulianDay());
    if (known == dayStart_.cend())
        known = dayStart_.insert(date.toJulianDay(), date.startOfDay().toMSecsSinceEpoch());
    const double x = static_cast<double>(*known);
    entries_.push_back({QPointF(x, value), label});
    if (!syncQueued_) {
        syncQueued_ = true;
        QMetaObject::invokeMethod(this, &TFrmReport::syncSeries, Qt::QueuedConnection);
    }
}

void TFrmReport::syncSeries()
{
    syncQueued_ = false;
    if (sorted_ == entries_.size())
        return;
    // Stable, so that points of one date keep the order in which they were added.
    const auto byX = [](const Entry &a, const Entry &b) { return a.xy.x() < b.xy.x(); };
    const auto middle = entries_.begin() + static_cast<std::ptrdiff_t>(sorted_);
    std::stable_sort(middle, entries_.end(), byX);
    std::inplace_merge(entries_.begin(), middle, entries_.end(), byX);
    sorted_ = entries_.size();

    const bool labelled =
        std::any_of(entries_.begin(), entries_.end(), [](const Entry &e) { return !e.label.isEmpty(); });
    const bool all = entries_.size() <= allPointsLimit;
    seriesHoldsAll_ = false;
    if (all) {
        QList<QPointF> xy;
        xy.reserve(static_cast<qsizetype>(entries_.size()));
        for (const Entry &e : entries_)
            xy.append(e.xy);
        series_->replace(xy);
        seriesHoldsAll_ = true;
    }
    useMonthAxis(labelled);
    fitAxes();
    viewChanged();
    settleView();
    dataModel_->refresh();
    ui->Chart1->setAccessibleDescription(
        QStringLiteral("%1: a line chart of %2 %3; Show data (Ctrl+D) lists them as a table")
            .arg(chart_->title(), QLocale().toString(static_cast<qulonglong>(sorted_)),
                 sorted_ == 1 ? QStringLiteral("point") : QStringLiteral("points")));
}

void TFrmReport::useMonthAxis(bool month)
{
    // Both axes stay attached and share the series' range; only one is shown. Taking an axis off the
    // chart instead would leave its labels on screen while a modal window runs: the chart deletes them
    // later, from an event loop that a modal exec() started in between does not serve.
    monthAxisShown_ = month;
    axisMonth_->setVisible(month);
    axisDay_->setVisible(!month);
}

void TFrmReport::fitAxes()
{
    TReportSpan x;
    TReportSpan y{0, 1};
    if (entries_.empty() || sorted_ == 0) {
        x = reportEmptyDateSpan(rangeFrom_, rangeTo_, QDate::currentDate());
    } else {
        x = reportDateSpan(entries_.front().xy.x(), entries_[sorted_ - 1].xy.x(), monthAxisShown_);
        double lowest = entries_.front().xy.y(), highest = lowest;
        for (std::size_t i = 0; i < sorted_; ++i) {
            lowest = std::min(lowest, entries_[i].xy.y());
            highest = std::max(highest, entries_[i].xy.y());
        }
        y = reportValueSpan(lowest, highest);
    }
    const double x0 = x.from, x1 = x.to, y0 = y.from, y1 = y.to;
    relabelling_ = true;
    if (monthAxisShown_)
        axisMonth_->setRange(x0, x1);
    else
        axisDay_->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(x0)),
                           QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(x1)));
    axisValue_->setRange(y0, y1);
    relabelling_ = false;
    fullXSpan_ = x1 - x0;
    fullYSpan_ = y1 - y0;
}

QList<QPointF> TFrmReport::points()
{
    syncSeries();
    QList<QPointF> xy;
    xy.reserve(static_cast<qsizetype>(entries_.size()));
    for (const Entry &e : entries_)
        xy.append(e.xy);
    return xy;
}

QStringList TFrmReport::pointLabels()
{
    syncSeries();
    QStringList labels;
    for (const Entry &e : entries_)
        labels.append(e.label);
    return labels;
}

std::vector<TReportMark> TFrmReport::visibleMarks()
{
    syncSeries();
    return marks_->marks();
}

void TFrmReport::invalidateMarks()
{
    marks_->invalidate();
}

QAbstractAxis *TFrmReport::dateAxis() const
{
    return monthAxisShown_ ? static_cast<QAbstractAxis *>(axisMonth_) : axisDay_;
}

QStringList TFrmReport::monthAxisLabels() const
{
    return monthAxisShown_ ? axisMonth_->categoriesLabels() : QStringList();
}

QStringList TFrmReport::valueAxisLabels() const
{
    return axisValue_->categoriesLabels();
}

void TFrmReport::showEvent(QShowEvent *event)
{
    syncSeries();
    // With a parent QDialog centres the window over it; without one, over the active window.
    if (parentWidget() == nullptr && !testAttribute(Qt::WA_Moved)) {
        if (const QWidget *over = QApplication::activeWindow(); over != nullptr && over != this)
            move(over->frameGeometry().center() - rect().center());
    }
    QDialog::showEvent(event);
}

bool TFrmReport::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != ui->Chart1->viewport() && watched != ui->Chart1)
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        // The right button opens the context menu instead of zooming out a step.
        return static_cast<QMouseEvent *>(event)->button() == Qt::RightButton;
    case QEvent::ContextMenu: {
        // A key opens the menu at the plot; the mouse where it was clicked.
        const auto *menu = static_cast<QContextMenuEvent *>(event);
        showContextMenu(menu->reason() == QContextMenuEvent::Mouse ? menu->globalPos() : plotCentre());
        return true;
    }
    case QEvent::ToolTip: {
        const auto *help = static_cast<QHelpEvent *>(event);
        if (watched == ui->Chart1->viewport() && !showToolTip(help->pos(), help->globalPos()))
            QToolTip::hideText();
        return true;
    }
    case QEvent::Wheel: {
        if (watched != ui->Chart1->viewport())
            break;
        const auto *wheel = static_cast<QWheelEvent *>(event);
        const int delta = wheel->angleDelta().y();
        if (delta == 0)
            break;
        // Zoom about the pointer: the plot area shrinks or grows around it.
        const QRectF plot = chart_->plotArea();
        const QPointF at = chart_->mapFromScene(ui->Chart1->mapToScene(wheel->position().toPoint()));
        const double factor = delta > 0 ? 0.8 : 1.25;
        chart_->zoomIn(QRectF(at - (at - plot.topLeft()) * factor, plot.size() * factor));
        return true;
    }
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

bool TFrmReport::showToolTip(const QPoint &viewportPos, const QPoint &globalPos)
{
    const QRectF plot = chart_->plotArea();
    const QPointF at = chart_->mapFromScene(ui->Chart1->mapToScene(viewportPos));
    const double yMin = axisValue_->min();
    const double yMax = axisValue_->max();
    if (!plot.adjusted(-8, -8, 8, 8).contains(at) || sorted_ == 0 || !(xMax_ > xMin_) || !(yMax > yMin))
        return false;
    const double xPerPixel = (xMax_ - xMin_) / plot.width();
    const double x = xMin_ + (at.x() - plot.left()) * xPerPixel;
    const auto sortedEnd = entries_.begin() + static_cast<std::ptrdiff_t>(sorted_);
    const auto first = std::lower_bound(entries_.begin(), sortedEnd, x - 8 * xPerPixel,
                                        [](const Entry &e, double v) { return e.xy.x() < v; });
    const Entry *best = nullptr;
    double bestDistance = 8.0 * 8.0;
    for (auto it = first; it != sortedEnd && it->xy.x() <= x + 8 * xPerPixel; ++it) {
        const QPointF p(plot.left() + (it->xy.x() - xMin_) / xPerPixel,
                        plot.bottom() - (it->xy.y() - yMin) / (yMax - yMin) * plot.height());
        const double distance = QPointF::dotProduct(p - at, p - at);
        if (distance <= bestDistance) {
            bestDistance = distance;
            best = &*it;
        }
    }
    if (best == nullptr)
        return false;
    const QLocale locale;
    const QString when =
        best->label.isEmpty()
            ? locale.toString(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(best->xy.x())).date(),
                              shortDateFormat(locale))
            : best->label;
    QToolTip::showText(globalPos, when + QStringLiteral(": ") + formatReportValue(best->xy.y(), locale),
                       ui->Chart1->viewport());
    return true;
}

void TFrmReport::showContextMenu(const QPoint &globalPos)
{
    if (QApplication::activePopupWidget() == nullptr)
        menu_->popup(globalPos);
}

QPoint TFrmReport::plotCentre() const
{
    const QPointF centre = chart_->mapToScene(chart_->plotArea().center());
    return ui->Chart1->viewport()->mapToGlobal(ui->Chart1->mapFromScene(centre));
}

void TFrmReport::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        followPalette();
    QDialog::changeEvent(event);
}

void TFrmReport::followPalette()
{
    const QPalette colours = palette();
    const QColor base = colours.color(QPalette::Base);
    const QColor text = colours.color(QPalette::Text);
    const auto between = [&](double t) {
        return QColor::fromRgbF(static_cast<float>(base.redF() + (text.redF() - base.redF()) * t),
                                static_cast<float>(base.greenF() + (text.greenF() - base.greenF()) * t),
                                static_cast<float>(base.blueF() + (text.blueF() - base.blueF()) * t));
    };
    chart_->setBackgroundBrush(base);
    chart_->setBackgroundPen(Qt::NoPen);
    chart_->setTitleBrush(text);
    ui->Chart1->setBackgroundBrush(base);
    for (QAbstractAxis *axis : chart_->axes()) {
        axis->setLabelsBrush(text);
        axis->setLinePen(QPen(between(0.55), 1));
        axis->setGridLinePen(QPen(between(0.18), 1));
        axis->setTitleBrush(text);
    }
    // The line in a red that stands out from the background: darker on white, lighter on black.
    const bool dark = base.lightnessF() < 0.5;
    series_->setPen(QPen(dark ? QColor(255, 64, 64) : QColor(Qt::red), 2));
    marks_->update();
}

std::vector<qv_report_point> ReportPoints(Tqv_records &store, qv_report_kind kind, const qv_date &from,
                                          const qv_date &to, const qv_go_on_fn &go_on)
{
    const bool quantity = kind == qv_report_kind::quantity_month || kind == qv_report_kind::quantity_day;
    const bool month = kind == qv_report_kind::quantity_month || kind == qv_report_kind::gross_month;
    const qv_report_value value = quantity ? qv_report_value::quantity : qv_report_value::gross;
    return month ? qv_report_month(store, from, to, value, go_on)
                 : qv_report_day(store, from, to, value, go_on);
}

void FillReportPoints(TFrmReport &report, qv_report_kind kind, const qv_date &from, const qv_date &to,
                      const std::vector<qv_report_point> &points)
{
    const bool quantity = kind == qv_report_kind::quantity_month || kind == qv_report_kind::quantity_day;
    const bool month = kind == qv_report_kind::quantity_month || kind == qv_report_kind::gross_month;
    report.BeginReport(quantity ? QStringLiteral("Quantity report") : QStringLiteral("Gross report"),
                       quantity ? QStringLiteral("Quantity") : QStringLiteral("Gross"));
    report.SetReportRange(from, to);
    for (const qv_report_point &point : points) {
        if (month)
            report.AddMonthPoint(point.date, point.value);
        else
            report.AddDayPoint(point.date, point.value);
    }
}

void FillReport(TFrmReport &report, Tqv_records &store, qv_report_kind kind, const qv_date &from,
                const qv_date &to)
{
    FillReportPoints(report, kind, from, to, ReportPoints(store, kind, from, to));
}
