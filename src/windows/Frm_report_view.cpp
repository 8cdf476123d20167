// The report window's view (see Frm_report.h): the zoom, kept from going too deep and animated from
// the old view to the new one; after every change of the view, the ticks and labels of the axes (their
// arithmetic is in Report_axis) and, for a long report, the points that the series is handed.
#include "Dlg_date.h"
#include "Frm_report.h"

#include <QCategoryAxis>
#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFontMetricsF>
#include <QLineSeries>
#include <QLocale>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

double TFrmReport::leastDateSpan() const
{
    const double least = monthAxisShown_ ? 62.0 * reportMsPerDay : 6.0 * 60 * 60 * 1000;
    return std::min(least, fullXSpan_);
}

double TFrmReport::leastValueSpan() const
{
    return std::min(5.0, fullYSpan_);
}

TFrmReport::View TFrmReport::currentView() const
{
    View view;
    if (monthAxisShown_) {
        view.x0 = axisMonth_->min();
        view.x1 = axisMonth_->max();
    } else {
        view.x0 = static_cast<double>(axisDay_->min().toMSecsSinceEpoch());
        view.x1 = static_cast<double>(axisDay_->max().toMSecsSinceEpoch());
    }
    view.y0 = axisValue_->min();
    view.y1 = axisValue_->max();
    return view;
}

void TFrmReport::applyView(const View &view)
{
    relabelling_ = true;
    if (monthAxisShown_)
        axisMonth_->setRange(view.x0, view.x1);
    else
        axisDay_->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(view.x0))),
                           QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(view.x1))));
    axisValue_->setRange(view.y0, view.y1);
    relabelling_ = false;
    shown_ = currentView();
    applyingView_ = true;
    viewChanged();
    applyingView_ = false;
}

TFrmReport::View TFrmReport::withLeastSpans(View view) const
{
    const auto widen = [](double &lo, double &hi, double least) {
        if (!(hi - lo < least))
            return;
        const double middle = (lo + hi) / 2;
        lo = middle - least / 2;
        hi = middle + least / 2;
    };
    widen(view.x0, view.x1, leastDateSpan());
    widen(view.y0, view.y1, leastValueSpan());
    return view;
}

void TFrmReport::animateZoom()
{
    zoomQueued_ = false;
    const View target = withLeastSpans(currentView());
    if (target == shown_)
        return;
    zoomAnimation_->stop();
    if (!seriesHoldsAll_ || !isVisible()) {
        applyView(target);
        return;
    }
    zoomFrom_ = shown_;
    zoomTo_ = target;
    applyView(zoomFrom_);
    zoomAnimation_->start();
}

void TFrmReport::settleView()
{
    zoomAnimation_->stop();
    shown_ = currentView();
}

void TFrmReport::viewChanged()
{
    if (relabelling_)
        return;
    if (!applyingView_ && !zoomQueued_ && currentView() != shown_) {
        // A zoom of the user's (the wheel, the rubber band, zoom out or reset), once it is over: kept
        // from going too deep, and moved to step by step; a long report, whose series holds only what
        // the view shows, goes there at once. The chart is in the middle of its zoom here and must not
        // be given another range yet.
        zoomQueued_ = true;
        QMetaObject::invokeMethod(this, &TFrmReport::animateZoom, Qt::QueuedConnection);
    }
    relabelling_ = true;
    if (monthAxisShown_) {
        xMin_ = axisMonth_->min();
        xMax_ = axisMonth_->max();
        relabelMonthAxis();
    } else {
        xMin_ = static_cast<double>(axisDay_->min().toMSecsSinceEpoch());
        xMax_ = static_cast<double>(axisDay_->max().toMSecsSinceEpoch());
        const TReportDayTicks ticks = reportDayTicks(xMin_, xMax_, chart_->plotArea().width());
        axisDay_->setTickCount(ticks.count);
        const QString dateFormat = shortDateFormat(QLocale());
        axisDay_->setFormat(ticks.withTime ? dateFormat + QStringLiteral(" HH:mm") : dateFormat);
    }
    relabelValueAxis();
    showPoints();
    relabelling_ = false;
    invalidateMarks();
}

void TFrmReport::showPoints()
{
    if (seriesHoldsAll_)
        return;
    // The points in view and one on each side of it, so that the line runs to the edges. When they are
    // more than four per pixel column, each column keeps its first, lowest, highest and last point:
    // the polyline through those covers the same pixels as the one through all of them.
    const double width = chart_->plotArea().width() >= 1 ? chart_->plotArea().width() : 1000;
    const auto sortedEnd = entries_.begin() + static_cast<std::ptrdiff_t>(sorted_);
    auto first = std::lower_bound(entries_.begin(), sortedEnd, xMin_,
                                  [](const Entry &e, double x) { return e.xy.x() < x; });
    auto last =
        std::upper_bound(first, sortedEnd, xMax_, [](double x, const Entry &e) { return x < e.xy.x(); });
    if (first != entries_.begin())
        --first;
    if (last != sortedEnd)
        ++last;
    QList<QPointF> xy;
    const auto count = last - first;
    if (count <= static_cast<std::ptrdiff_t>(4 * width) || !(xMax_ > xMin_)) {
        xy.reserve(count);
        for (auto it = first; it != last; ++it)
            xy.append(it->xy);
    } else {
        xy.reserve(static_cast<qsizetype>(4 * width) + 8);
        const double columnWidth = (xMax_ - xMin_) / width;
        for (auto it = first; it != last;) {
            const double column = std::floor((it->xy.x() - xMin_) / columnWidth);
            auto low = it, high = it, end = it;
            while (end != last && std::floor((end->xy.x() - xMin_) / columnWidth) == column) {
                if (end->xy.y() < low->xy.y())
                    low = end;
                if (end->xy.y() > high->xy.y())
                    high = end;
                ++end;
            }
            const auto back = end - 1;
            xy.append(it->xy);
            if (std::min(low, high) != it)
                xy.append(std::min(low, high)->xy);
            if (std::max(low, high) != it && std::max(low, high) != std::min(low, high))
                xy.append(std::max(low, high)->xy);
            if (back != std::max(low, high) && back != it)
                xy.append(back->xy);
            it = end;
        }
    }
    series_->replace(xy);
}

static void setCategories(QCategoryAxis *axis, double start, const QStringList &labels,
                          const QList<double> &at)
{
    if (axis->categoriesLabels() == labels && axis->startValue() == start) {
        bool same = true;
        for (qsizetype i = 0; i < labels.size() && same; ++i)
            same = axis->endValue(labels[i]) == at[i];
        if (same)
            return;
    }
    for (const QString &label : axis->categoriesLabels())
        axis->remove(label);
    axis->setStartValue(start);
    for (qsizetype i = 0; i < labels.size(); ++i)
        axis->append(labels[i], at[i]);
}

void TFrmReport::relabelMonthAxis()
{
    const QRectF plot = chart_->plotArea();
    const QFontMetricsF metrics(axisMonth_->labelsFont());
    const auto sortedEnd = entries_.begin() + static_cast<std::ptrdiff_t>(sorted_);
    const auto first = std::lower_bound(entries_.begin(), sortedEnd, xMin_,
                                        [](const Entry &e, double x) { return e.xy.x() < x; });
    const auto last =
        std::upper_bound(first, sortedEnd, xMax_, [](double x, const Entry &e) { return x < e.xy.x(); });
    // The labelled points in view, one per date.
    std::vector<std::pair<std::ptrdiff_t, double>> marked; // index in entries_, x
    double widest = 0;
    for (auto it = first; it != last; ++it) {
        if (it->label.isEmpty() || (!marked.empty() && it->xy.x() <= marked.back().second))
            continue;
        marked.emplace_back(it - entries_.begin(), it->xy.x());
        widest = std::max(widest, metrics.horizontalAdvance(it->label));
    }
    // Every stride-th of them (counted from the first point of the report, so that the labels stay put
    // while the view moves), few enough to be shown whole.
    const TReportMonthStride every =
        reportMonthStride(marked, entries_.size(), xMin_, xMax_, plot.width(), widest, metrics.height());
    const std::ptrdiff_t stride = every.stride;
    const bool upright = every.upright;
    if (axisMonth_->labelsAngle() != (upright ? -90 : 0))
        axisMonth_->setLabelsAngle(upright ? -90 : 0);
    QStringList labels;
    QList<double> at;
    for (const auto &[index, x] : marked) {
        if (index % stride != 0)
            continue;
        labels.append(entries_[static_cast<std::size_t>(index)].label);
        at.append(x);
    }
    if (labels.size() < 2) {
        // A view between the months of the report (zoomed in, or where months have no records): the
        // first days of the months in view, labelled as the points are.
        QStringList starts;
        QList<double> startsAt;
        reportMonthStarts(xMin_, xMax_, starts, startsAt);
        if (starts.size() > labels.size()) {
            labels = starts;
            at = startsAt;
        }
    }
    setCategories(axisMonth_, xMin_, labels, at);
}

void TFrmReport::relabelValueAxis()
{
    const double lo = axisValue_->min();
    const double hi = axisValue_->max();
    const double height = chart_->plotArea().height();
    QStringList labels;
    QList<double> at;
    const QLocale locale;
    for (const double value : reportValueTicks(lo, hi, height)) {
        labels.append(formatReportValue(value, locale));
        at.append(value);
    }
    setCategories(axisValue_, lo, labels, at);
}

void TFrmReport::resetZoom()
{
    chart_->zoomReset();
    fitAxes();
    viewChanged();
}
