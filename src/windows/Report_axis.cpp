// The report window's axis and mark arithmetic (see Report_axis.h): tick steps, the ranges of the axes,
// the ticks of a day axis, the labels of a month axis and the places of the value marks.
#include "Report_axis.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The least horizontal room per mark in the plot area: with more points in view than fit at this
// spacing, the marks would cover each other and the line, so none are drawn until the user zooms in.
constexpr double pixelsPerMark = 16;
constexpr double markRows = 4;
constexpr double markLine = 8; // length of the line from a point to its mark
// Day axes of up to this many days get their ticks on midnights.
constexpr qint64 shortDayRange = 120;
constexpr int defaultDayTicks = 6;
// The room that the chart keeps on each side of an axis label.
constexpr double axisLabelPadding = 4;

} // namespace

QString formatReportValue(double value, const QLocale &locale)
{
    if (std::abs(value) < 0.0005)
        value = 0; // no "-0" for a value that rounds to zero
    QLocale grouped(locale);
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    QString text = grouped.toString(value, 'f', 3);
    const QString point = grouped.decimalPoint();
    const QString zero = grouped.zeroDigit();
    const qsizetype at = text.lastIndexOf(point);
    if (at < 0)
        return text;
    qsizetype end = text.size();
    while (end > at + point.size() && QStringView(text).sliced(end - zero.size(), zero.size()) == zero)
        end -= zero.size();
    if (end == at + point.size())
        end = at;
    text.truncate(end);
    return text;
}

double reportTickStep(double min, double max, int ticks)
{
    const double span = max - min;
    if (!(span > 0) || !std::isfinite(span))
        return 1;
    const double raw = span / std::max(ticks, 1);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double norm = raw / magnitude;
    const double step = (norm <= 1 ? 1 : norm <= 2 ? 2 : norm <= 5 ? 5 : 10) * magnitude;
    return std::max(step, 0.001);
}

int reportDayStep(qint64 days, int ticks, bool dividing)
{
    for (const int step : {1, 2, 3, 4, 5, 7, 10, 14, 15, 20, 30, 60, 120})
        if (days <= qint64{step} * ticks && (!dividing || days % step == 0))
            return step;
    return dividing ? 0 : 120;
}

TReportSpan reportEmptyDateSpan(const QDate &from, const QDate &to, const QDate &today)
{
    // The days the report covers, from the first midnight to the midnight after the last day.
    if (from.isValid() && to.isValid() && from <= to)
        return {static_cast<double>(from.startOfDay().toMSecsSinceEpoch()),
                static_cast<double>(to.addDays(1).startOfDay().toMSecsSinceEpoch())};
    const double midnight = static_cast<double>(today.startOfDay().toMSecsSinceEpoch());
    return {midnight - 15.0 * reportMsPerDay, midnight + 15.0 * reportMsPerDay};
}

TReportSpan reportDateSpan(double first, double last, bool monthAxis)
{
    double x0 = first;
    double x1 = last;
    // Room for half a mark beside the first and the last point; a day axis from midnight to
    // midnight, so that its ticks can fall on whole days.
    const double pad = std::max((x1 - x0) * 0.03, (monthAxis ? 16.0 : 1.0) * reportMsPerDay);
    x0 -= pad;
    x1 += pad;
    if (!monthAxis) {
        // Whole days, and for a short range a number of them that ticks every reportDayStep days
        // divide; the days added go to both sides, so that the points stay in the middle.
        QDate firstDay = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(x0)).date();
        QDate lastDay = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(x1)).date();
        if (static_cast<double>(lastDay.startOfDay().toMSecsSinceEpoch()) < x1)
            lastDay = lastDay.addDays(1);
        qint64 days = std::max<qint64>(1, firstDay.daysTo(lastDay));
        if (days <= shortDayRange) {
            const int step = reportDayStep(days, defaultDayTicks, false);
            const qint64 rounded = (days + step - 1) / step * step;
            firstDay = firstDay.addDays(-(rounded - days) / 2);
            days = rounded;
        }
        x0 = static_cast<double>(firstDay.startOfDay().toMSecsSinceEpoch());
        x1 = static_cast<double>(firstDay.addDays(days).startOfDay().toMSecsSinceEpoch());
    }
    return {x0, x1};
}

TReportSpan reportValueSpan(double lowest, double highest)
{
    double y0 = lowest;
    double y1 = highest;
    if (y1 - y0 < 0.001) {
        const double spread = std::max(std::abs(y0) * 0.1, 1.0);
        y0 -= spread;
        y1 += spread;
    }
    // Room above the highest point for its mark; an axis of values of one sign stops at zero.
    const double span = y1 - y0;
    y0 = y0 >= 0 ? std::max(0.0, y0 - span * 0.05) : y0 - span * 0.05;
    y1 = y1 <= 0 ? std::min(0.0, y1 + span * 0.15) : y1 + span * 0.15;
    const double step = reportTickStep(y0, y1, 6);
    y0 = std::floor(y0 / step) * step;
    y1 = std::ceil(y1 / step) * step;
    return {y0, y1};
}

TReportDayTicks reportDayTicks(double from, double to, double width)
{
    const int fit = std::clamp(static_cast<int>(width / 110), 2, 10);
    // A short view from midnight to midnight gets its ticks on midnights; other ticks may fall inside a
    // day, and within a few days they show their time too.
    const double days = (to - from) / reportMsPerDay;
    const auto wholeDays = static_cast<qint64>(std::round(days));
    // An hour off is a change of daylight saving time.
    const bool midnights =
        std::abs(days - static_cast<double>(wholeDays)) < 1.5 / 24 && wholeDays <= shortDayRange;
    const int step = midnights ? reportDayStep(wholeDays, fit, true) : 0;
    const bool onMidnights = step > 0;
    const int ticks = onMidnights ? static_cast<int>(wholeDays / step) + 1 : fit + 1;
    // Dates alone where the ticks lie a day or more apart; closer ticks show their time too, so that no
    // two labels read the same.
    const bool dayApart = (to - from) / std::max(1, ticks - 1) >= reportMsPerDay;
    return {ticks, !(onMidnights || dayApart)};
}

std::vector<double> reportValueTicks(double lo, double hi, double height)
{
    const int ticks = height > 0 ? std::max(2, static_cast<int>(height / 45)) : 5;
    const double step = reportTickStep(lo, hi, ticks);
    std::vector<double> at;
    const double first = std::ceil(lo / step - 1e-9);
    const double last = std::floor(hi / step + 1e-9);
    for (double k = first; k <= last && at.size() < 200; ++k)
        at.push_back(k * step);
    return at;
}

TReportMonthStride reportMonthStride(const std::vector<std::pair<std::ptrdiff_t, double>> &marked,
                                     std::size_t points, double xMin, double xMax, double width,
                                     double widest, double labelHeight)
{
    // The chart cuts every label to the axis width divided by the number of labels plus one, less its
    // padding: the stride keeps the labels few enough to be shown whole, and far enough apart not to
    // touch. Labels turned upright take less room across; they are used when level ones would have to
    // leave months out and upright ones would not leave out as many.
    TReportMonthStride out;
    if (width > 0 && xMax > xMin && marked.size() > 1) {
        const double pixelsPerX = width / (xMax - xMin);
        double closest = std::numeric_limits<double>::infinity();
        for (std::size_t i = 1; i < marked.size(); ++i)
            closest = std::min(closest, (marked[i].second - marked[i - 1].second) * pixelsPerX);
        const auto strideFor = [&](double across) {
            const auto most = std::max<std::ptrdiff_t>(
                1, static_cast<std::ptrdiff_t>(width / (across + 2 * axisLabelPadding + 2)) - 1);
            const auto count = [&](std::ptrdiff_t k) {
                return std::count_if(marked.begin(), marked.end(),
                                     [k](const auto &m) { return m.first % k == 0; });
            };
            std::ptrdiff_t k = 1;
            while (k < static_cast<std::ptrdiff_t>(points) &&
                   (count(k) > most || static_cast<double>(k) * closest < across + 6))
                ++k;
            return k;
        };
        out.stride = strideFor(widest);
        if (out.stride > 1) {
            const std::ptrdiff_t uprightStride = strideFor(labelHeight);
            out.upright = uprightStride < out.stride;
            out.stride = std::min(out.stride, uprightStride);
        }
    }
    return out;
}

void reportMonthStarts(double xMin, double xMax, QStringList &labels, QList<double> &at)
{
    labels.clear();
    at.clear();
    QDate month = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(xMin)).date();
    month = QDate(month.year(), month.month(), 1);
    for (; at.size() <= 24; month = month.addMonths(1)) {
        const auto x = static_cast<double>(month.startOfDay().toMSecsSinceEpoch());
        if (x > xMax)
            break;
        if (x < xMin)
            continue;
        labels.append(QStringLiteral("%1-%2").arg(month.year()).arg(month.month()));
        at.append(x);
    }
    if (at.size() > 24) {
        labels.clear();
        at.clear();
    }
}

bool reportRoomForMarks(std::ptrdiff_t inView, double width)
{
    return inView <= static_cast<std::ptrdiff_t>(width / pixelsPerMark);
}

bool reportRoomForMarkRows(std::size_t count, double widest, double width)
{
    // Wide marks need more room: side by side they may take about four rows of the plot's width.
    return !(static_cast<double>(count) > width * markRows / (widest + 4));
}

void reportPlaceMarks(std::vector<TReportMark> &candidates, const QRectF &room, double height,
                      std::vector<TReportMark> &placed)
{
    for (TReportMark &mark : candidates) {
        const QPointF anchor = mark.anchor;
        const double width = mark.box.width();
        QRectF chosen;
        // Above, below, then a row further out on each side: the first place that stays clear of the
        // marks laid out so far. A point with no free place gets the first one anyway.
        for (int level = 0; level < 3 && chosen.isNull(); ++level) {
            for (const int side : {-1, 1}) {
                const double offset = markLine + level * (height + 2);
                const double top = side < 0 ? anchor.y() - offset - height : anchor.y() + offset;
                const QRectF box(anchor.x() - width / 2, top, width, height);
                if (!room.contains(box))
                    continue;
                const bool clear = std::none_of(placed.begin(), placed.end(), [&](const TReportMark &m) {
                    return m.box.adjusted(-2, -1, 2, 1).intersects(box);
                });
                if (clear) {
                    chosen = box;
                    break;
                }
            }
        }
        if (chosen.isNull())
            chosen = QRectF(anchor.x() - width / 2, anchor.y() - markLine - height, width, height);
        mark.box = chosen;
        placed.push_back(std::move(mark));
    }
}
