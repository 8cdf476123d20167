// The arithmetic of the report window's axes and value marks, apart from any chart: the steps of the
// ticks, the ranges that a report's axes span, the ticks of a day axis, the labels that a month axis
// keeps, the first days of months in a view, and where a value mark goes. TFrmReport calls these with
// what its chart shows; they call nothing of the window. Times are milliseconds since the epoch, days
// starting at local midnight, as the chart's axes hold them.
#pragma once

#include <QDate>
#include <QList>
#include <QLocale>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <utility>
#include <vector>

constexpr qint64 reportMsPerDay = 24 * 60 * 60 * 1000;

// A value as "#,##0.###": the locale's group separator every three digits, at most three decimals, no
// trailing zeros, the locale's decimal separator.
QString formatReportValue(double value, const QLocale &locale);

// Tick spacing for an axis from min to max with about ticks steps: 1, 2 or 5 times a power of ten, never
// below 0.001 (the finest step whose labels "#,##0.###" can tell apart).
double reportTickStep(double min, double max, int ticks);

// The smallest step in days that splits days into at most ticks intervals; with dividing, one that
// divides days too (0 when there is none).
int reportDayStep(qint64 days, int ticks, bool dividing);

// A range of an axis.
struct TReportSpan {
    double from = 0;
    double to = 0;
};

// The time axis of a report without points: the days from from to to, midnight to midnight; without a
// valid range, the 30 days around today.
TReportSpan reportEmptyDateSpan(const QDate &from, const QDate &to, const QDate &today);

// The time axis of points from first to last: room for half a mark on each side (16 days on a month
// axis), and on a day axis whole days, for a short range as many as its ticks divide, added on both
// sides.
TReportSpan reportDateSpan(double first, double last, bool monthAxis);

// The value axis of points from lowest to highest: room above the highest for its mark, stopping at zero
// for values of one sign, rounded outwards to its tick step; a flat line gets room on both sides.
TReportSpan reportValueSpan(double lowest, double highest);

// The ticks of a day axis over [from, to] in a plot width pixels wide: their number, and whether their
// labels show the time of day (ticks less than a day apart, not on midnights).
struct TReportDayTicks {
    int count = 0;
    bool withTime = false;
};
TReportDayTicks reportDayTicks(double from, double to, double width);

// The values at which the value axis over [lo, hi] in a plot height pixels high gets its labels: every
// tick step from the first to the last inside the range, at most 200.
std::vector<double> reportValueTicks(double lo, double hi, double height);

// Which labelled points of a month axis keep their label: every stride-th (counted by their index among
// all points), labels upright or level. marked holds the index and the x of each labelled point in view,
// in order; widest is the widest label and labelHeight the height of one, in pixels.
struct TReportMonthStride {
    std::ptrdiff_t stride = 1;
    bool upright = false;
};
TReportMonthStride reportMonthStride(const std::vector<std::pair<std::ptrdiff_t, double>> &marked,
                                     std::size_t points, double xMin, double xMax, double width,
                                     double widest, double labelHeight);

// The first days of the months in [xMin, xMax] and their labels ("year-month"); none when there are more
// than 24 of them.
void reportMonthStarts(double xMin, double xMax, QStringList &labels, QList<double> &at);

// A value mark: the point it belongs to and its box, in chart coordinates, and its text.
struct TReportMark {
    QPointF anchor;
    QRectF box;
    QString text;
};

// Whether inView points in a plot width pixels wide are few enough for marks.
bool reportRoomForMarks(std::ptrdiff_t inView, double width);
// Whether count marks as wide as widest can lie side by side in about four rows of the plot's width.
bool reportRoomForMarkRows(std::size_t count, double widest, double width);

// Places each of candidates (their anchors and the width of their boxes given), in order, above its
// point or below it, then a row further out, at the first place inside room that keeps clear of the
// marks placed so far; a mark with no such place goes above its point anyway. Appends them to placed.
void reportPlaceMarks(std::vector<TReportMark> &candidates, const QRectF &room, double height,
                      std::vector<TReportMark> &placed);
