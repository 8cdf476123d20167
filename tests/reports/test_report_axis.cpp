// The report window's axis and mark arithmetic without a chart: tick steps from tiny ranges to decades
// of money, the day steps and day-axis ticks from half a day to decades (month ends, leap years, a day
// of 23 hours when the zone has one), the ranges that the axes of a report span, the first days of
// months in a view, which month labels stay, and where value marks go. Runs in UTC and again in a zone
// with daylight saving time.
#include "Report_axis.h"

#include <QDateTime>
#include <QTest>

#include <cmath>
#include <limits>

namespace {

double midnight(int year, int month, int day)
{
    return static_cast<double>(QDate(year, month, day).startOfDay().toMSecsSinceEpoch());
}

QString dayOf(double x)
{
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(x)).toString(Qt::ISODate);
}

} // namespace

class TestReportAxis : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void tickStepsAreOneTwoOrFiveTimesAPowerOfTen_data()
    {
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<double>("step");
        QTest::newRow("unit range in five") << 0.0 << 1.0 << 5 << 0.2;
        QTest::newRow("exactly a power of ten") << 0.0 << 10.0 << 1 << 10.0;
        QTest::newRow("just over a power of ten") << 0.0 << 1.1 << 1 << 2.0;
        QTest::newRow("a tenth that divides just under it") << 0.0 << 0.3 << 3 << 0.1;
        QTest::newRow("exactly five") << 0.0 << 30.0 << 6 << 5.0;
        QTest::newRow("just over five") << 0.0 << 31.0 << 6 << 10.0;
        QTest::newRow("negative values") << -1000.0 << -100.0 << 6 << 200.0;
        QTest::newRow("across zero") << -1.5 << 1.5 << 6 << 0.5;
        QTest::newRow("decades of money") << 0.0 << 2.5e9 << 6 << 5e8;
        QTest::newRow("finer than the labels tell apart") << 0.0 << 1e-6 << 5 << 0.001;
        QTest::newRow("empty range") << 5.0 << 5.0 << 6 << 1.0;
        QTest::newRow("reversed range") << 5.0 << 1.0 << 6 << 1.0;
        QTest::newRow("no ticks asked for") << 0.0 << 10.0 << 0 << 10.0;
        QTest::newRow("infinite range") << 0.0 << std::numeric_limits<double>::infinity() << 6 << 1.0;
        QTest::newRow("not a number") << 0.0 << std::numeric_limits<double>::quiet_NaN() << 6 << 1.0;
    }

    void tickStepsAreOneTwoOrFiveTimesAPowerOfTen()
    {
        QFETCH(double, min);
        QFETCH(double, max);
        QFETCH(int, ticks);
        QFETCH(double, step);
        QCOMPARE(reportTickStep(min, max, ticks), step);
    }

    void dayStepsSplitDaysIntoFewIntervals_data()
    {
        QTest::addColumn<qint64>("days");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<bool>("dividing");
        QTest::addColumn<int>("step");
        QTest::newRow("one day") << qint64{1} << 6 << false << 1;
        QTest::newRow("six days in six") << qint64{6} << 6 << false << 1;
        QTest::newRow("seven days in six") << qint64{7} << 6 << false << 2;
        QTest::newRow("thirteen days") << qint64{13} << 6 << false << 3;
        QTest::newRow("a month of 31 days") << qint64{31} << 6 << false << 7;
        QTest::newRow("a quarter") << qint64{90} << 6 << false << 15;
        QTest::newRow("two years") << qint64{720} << 6 << false << 120;
        QTest::newRow("longer than any step") << qint64{5000} << 6 << false << 120;
        QTest::newRow("thirty days, dividing") << qint64{30} << 6 << true << 5;
        QTest::newRow("a week, dividing") << qint64{7} << 6 << true << 7;
        QTest::newRow("February, dividing") << qint64{28} << 6 << true << 7;
        QTest::newRow("leap February: no step divides") << qint64{29} << 6 << true << 0;
        QTest::newRow("fourteen days in ten") << qint64{14} << 10 << true << 2;
    }

    void dayStepsSplitDaysIntoFewIntervals()
    {
        QFETCH(qint64, days);
        QFETCH(int, ticks);
        QFETCH(bool, dividing);
        QFETCH(int, step);
        QCOMPARE(reportDayStep(days, ticks, dividing), step);
    }

    void dayAxesTickOnMidnightsOrShowTheTime_data()
    {
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<double>("width");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("withTime");
        const double hour = 60.0 * 60 * 1000;
        QTest::newRow("one day") << midnight(2021, 3, 10) << midnight(2021, 3, 11) << 660.0 << 2 << false;
        QTest::newRow("one day in a narrow plot")
            << midnight(2021, 3, 10) << midnight(2021, 3, 11) << 100.0 << 2 << false;
        QTest::newRow("a week") << midnight(2021, 3, 1) << midnight(2021, 3, 8) << 660.0 << 2 << false;
        QTest::newRow("thirty days") << midnight(2021, 4, 1) << midnight(2021, 5, 1) << 660.0 << 7 << false;
        QTest::newRow("thirty days in a wide plot")
            << midnight(2021, 4, 1) << midnight(2021, 5, 1) << 5000.0 << 11 << false;
        QTest::newRow("February") << midnight(2021, 2, 1) << midnight(2021, 3, 1) << 660.0 << 5 << false;
        QTest::newRow("leap February: ticks between midnights")
            << midnight(2020, 2, 1) << midnight(2020, 3, 1) << 660.0 << 7 << false;
        QTest::newRow("over a change to summer time")
            << midnight(2021, 3, 27) << midnight(2021, 3, 29) << 660.0 << 3 << false;
        QTest::newRow("over a change to winter time")
            << midnight(2021, 10, 30) << midnight(2021, 11, 1) << 660.0 << 3 << false;
        QTest::newRow("half a day") << midnight(2021, 3, 10) << midnight(2021, 3, 10) + 12 * hour << 660.0
                                    << 7 << true;
        QTest::newRow("three hours") << midnight(2021, 3, 10) + 6 * hour << midnight(2021, 3, 10) + 9 * hour
                                     << 660.0 << 7 << true;
        QTest::newRow("four and a half days")
            << midnight(2021, 3, 10) << midnight(2021, 3, 14) + 12 * hour << 660.0 << 7 << true;
        QTest::newRow("121 days") << midnight(2021, 1, 1) << midnight(2021, 5, 2) << 660.0 << 7 << false;
        QTest::newRow("two decades") << midnight(2000, 1, 1) << midnight(2020, 1, 1) << 660.0 << 7 << false;
    }

    void dayAxesTickOnMidnightsOrShowTheTime()
    {
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(double, width);
        QFETCH(int, count);
        QFETCH(bool, withTime);
        const TReportDayTicks ticks = reportDayTicks(from, to, width);
        QCOMPARE(ticks.count, count);
        QCOMPARE(ticks.withTime, withTime);
    }

    void aDayAxisSpansWholeDaysAroundItsPoints_data()
    {
        QTest::addColumn<QDate>("first");
        QTest::addColumn<QDate>("last");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::newRow("one day") << QDate(2021, 3, 10) << QDate(2021, 3, 10) << QDate(2021, 3, 9)
                                 << QDate(2021, 3, 11);
        QTest::newRow("two days") << QDate(2021, 3, 10) << QDate(2021, 3, 11) << QDate(2021, 3, 9)
                                  << QDate(2021, 3, 12);
        // 13 days get ticks every 3 days: 15, the two added days shared by both sides.
        QTest::newRow("over the end of February")
            << QDate(2021, 3, 1) << QDate(2021, 3, 12) << QDate(2021, 2, 27) << QDate(2021, 3, 14);
        QTest::newRow("over a leap day")
            << QDate(2020, 3, 1) << QDate(2020, 3, 12) << QDate(2020, 2, 28) << QDate(2020, 3, 14);
        QTest::newRow("over the new year")
            << QDate(2020, 12, 28) << QDate(2021, 1, 3) << QDate(2020, 12, 27) << QDate(2021, 1, 4);
        // Longer than the short ranges: 3 % of the span on each side, out to whole days.
        QTest::newRow("a year") << QDate(2021, 1, 1) << QDate(2021, 12, 31) << QDate(2020, 12, 21)
                                << QDate(2022, 1, 11);
        QTest::newRow("two decades") << QDate(2000, 1, 1) << QDate(2020, 1, 1) << QDate(1999, 5, 26)
                                     << QDate(2020, 8, 8);
    }

    void aDayAxisSpansWholeDaysAroundItsPoints()
    {
        QFETCH(QDate, first);
        QFETCH(QDate, last);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        const TReportSpan span = reportDateSpan(midnight(first.year(), first.month(), first.day()),
                                                midnight(last.year(), last.month(), last.day()), false);
        QCOMPARE(dayOf(span.from), dayOf(from.startOfDay().toMSecsSinceEpoch()));
        QCOMPARE(dayOf(span.to), dayOf(to.startOfDay().toMSecsSinceEpoch()));
    }

    void aMonthAxisKeepsSixteenDaysOrThreePercentBeside()
    {
        const double day = reportMsPerDay;
        const double first = midnight(2021, 1, 1), last = midnight(2021, 6, 1);
        const TReportSpan half = reportDateSpan(first, last, true);
        QCOMPARE(half.from, first - 16 * day);
        QCOMPARE(half.to, last + 16 * day);
        const double decadeEnd = midnight(2031, 1, 1);
        const double pad = (decadeEnd - first) * 0.03;
        const TReportSpan decade = reportDateSpan(first, decadeEnd, true);
        QCOMPARE(decade.from, first - pad);
        QCOMPARE(decade.to, decadeEnd + pad);
    }

    void aReportWithoutPointsSpansItsDays()
    {
        const QDate today(2024, 5, 20);
        struct Case {
            const char *name;
            QDate from, to;
            double x0, x1;
        };
        const double day = reportMsPerDay;
        const Case cases[] = {
            {"February", {2021, 2, 1}, {2021, 2, 28}, midnight(2021, 2, 1), midnight(2021, 3, 1)},
            {"one day", {2021, 2, 28}, {2021, 2, 28}, midnight(2021, 2, 28), midnight(2021, 3, 1)},
            {"a leap day", {2020, 2, 29}, {2020, 2, 29}, midnight(2020, 2, 29), midnight(2020, 3, 1)},
            {"over the new year", {2020, 12, 31}, {2021, 1, 1}, midnight(2020, 12, 31), midnight(2021, 1, 2)},
            {"reversed",
             {2021, 3, 2},
             {2021, 3, 1},
             midnight(2024, 5, 20) - 15 * day,
             midnight(2024, 5, 20) + 15 * day},
            {"no range", {}, {}, midnight(2024, 5, 20) - 15 * day, midnight(2024, 5, 20) + 15 * day},
        };
        for (const Case &c : cases) {
            const TReportSpan span = reportEmptyDateSpan(c.from, c.to, today);
            QVERIFY2(span.from == c.x0 && span.to == c.x1, c.name);
        }
    }

    void valueAxesHoldEveryPointOnWholeSteps_data()
    {
        QTest::addColumn<double>("lowest");
        QTest::addColumn<double>("highest");
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::newRow("one value") << 5.0 << 5.0 << 3.5 << 6.5;
        QTest::newRow("zero alone") << 0.0 << 0.0 << -1.5 << 1.5;
        QTest::newRow("nearly flat") << 1.0 << 1.0005 << 0.0 << 2.5;
        QTest::newRow("a large flat line") << 1e6 << 1e6 << 850000.0 << 1150000.0;
        QTest::newRow("positive values stop at zero") << 100.0 << 1000.0 << 0.0 << 1200.0;
        QTest::newRow("small positive values") << 0.5 << 2.0 << 0.0 << 2.5;
        QTest::newRow("negative values stop at zero") << -50.0 << -10.0 << -60.0 << 0.0;
        QTest::newRow("across zero") << -100.0 << 100.0 << -150.0 << 150.0;
    }

    void valueAxesHoldEveryPointOnWholeSteps()
    {
        QFETCH(double, lowest);
        QFETCH(double, highest);
        QFETCH(double, from);
        QFETCH(double, to);
        const TReportSpan span = reportValueSpan(lowest, highest);
        QCOMPARE(span.from, from);
        QCOMPARE(span.to, to);
        QVERIFY(span.from < lowest && span.to > highest);
    }

    void valueLabelsGoOnEveryStepInside_data()
    {
        QTest::addColumn<double>("lo");
        QTest::addColumn<double>("hi");
        QTest::addColumn<double>("height");
        QTest::addColumn<QList<double>>("at");
        QTest::newRow("six ticks") << 0.0 << 1200.0 << 270.0
                                   << QList<double>{0, 200, 400, 600, 800, 1000, 1200};
        QTest::newRow("no plot yet: five") << 0.0 << 1200.0 << 0.0 << QList<double>{0, 500, 1000};
        QTest::newRow("a low plot: two") << 0.0 << 1200.0 << 60.0 << QList<double>{0, 1000};
        QTest::newRow("across zero") << -1.5 << 1.5 << 270.0 << QList<double>{-1.5, -1, -0.5, 0, 0.5, 1, 1.5};
        // 0.7 / 0.1 is just under 7: the last label is kept all the same.
        QTest::newRow("tenths at both ends")
            << 0.1 << 0.7 << 270.0 << QList<double>{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7};
        QTest::newRow("ends between steps")
            << 130.0 << 1170.0 << 270.0 << QList<double>{200, 400, 600, 800, 1000};
    }

    void valueLabelsGoOnEveryStepInside()
    {
        QFETCH(double, lo);
        QFETCH(double, hi);
        QFETCH(double, height);
        QFETCH(QList<double>, at);
        const std::vector<double> ticks = reportValueTicks(lo, hi, height);
        QCOMPARE(qsizetype(ticks.size()), at.size());
        for (qsizetype i = 0; i < at.size(); ++i)
            QCOMPARE(ticks[static_cast<std::size_t>(i)] + 1, at[i] + 1); // fuzzy, and fine at zero
    }

    void valueLabelsAreAtMostTwoHundred()
    {
        const std::vector<double> ticks = reportValueTicks(0, 1e6, 1e6);
        QCOMPARE(ticks.size(), std::size_t{200});
        QCOMPARE(ticks.front(), 0.0);
        QCOMPARE(ticks[1] - ticks[0], 50.0);
    }

    void monthStartsInAViewAreItsFirstDays_data()
    {
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("inside one month") << midnight(2021, 3, 5) << midnight(2021, 3, 25) << QStringList{};
        QTest::newRow("over three month ends")
            << midnight(2021, 1, 15) << midnight(2021, 4, 10) << QStringList{"2021-2", "2021-3", "2021-4"};
        QTest::newRow("from a first day")
            << midnight(2021, 2, 1) << midnight(2021, 2, 20) << QStringList{"2021-2"};
        QTest::newRow("to a first day")
            << midnight(2021, 1, 10) << midnight(2021, 3, 1) << QStringList{"2021-2", "2021-3"};
        QTest::newRow("over the new year")
            << midnight(2020, 11, 20) << midnight(2021, 2, 5) << QStringList{"2020-12", "2021-1", "2021-2"};
        QStringList two;
        for (int year : {2020, 2021})
            for (int month = 1; month <= 12; ++month)
                two << QStringLiteral("%1-%2").arg(year).arg(month);
        QTest::newRow("24 months") << midnight(2020, 1, 1) << midnight(2021, 12, 31) << two;
        QTest::newRow("25 months are too many")
            << midnight(2020, 1, 1) << midnight(2022, 1, 1) << QStringList{};
    }

    void monthStartsInAViewAreItsFirstDays()
    {
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(QStringList, labels);
        QStringList shown{"left over"};
        QList<double> at{1.0};
        reportMonthStarts(from, to, shown, at);
        QCOMPARE(shown, labels);
        QCOMPARE(at.size(), labels.size());
        for (qsizetype i = 0; i < at.size(); ++i) {
            const QDate day = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(at[i])).date();
            QCOMPARE(at[i], midnight(day.year(), day.month(), 1));
            QCOMPARE(QStringLiteral("%1-%2").arg(day.year()).arg(day.month()), labels[i]);
        }
    }

    void monthLabelsThinOutOrTurnUpright_data()
    {
        QTest::addColumn<int>("months");
        QTest::addColumn<double>("width");
        QTest::addColumn<qint64>("stride");
        QTest::addColumn<bool>("upright");
        // Labels 40 pixels wide and 12 high, a point on the first of each month from January 2021.
        QTest::newRow("a year in a wide plot: all level") << 12 << 1200.0 << qint64{1} << false;
        QTest::newRow("a year in a plot too narrow for level labels") << 12 << 600.0 << qint64{1} << true;
        QTest::newRow("a year in a narrow plot: every other one upright") << 12 << 200.0 << qint64{2} << true;
        QTest::newRow("one label") << 1 << 200.0 << qint64{1} << false;
        QTest::newRow("no plot yet") << 12 << 0.0 << qint64{1} << false;
        QTest::newRow("two labels in a tiny plot") << 2 << 10.0 << qint64{2} << false;
    }

    void monthLabelsThinOutOrTurnUpright()
    {
        QFETCH(int, months);
        QFETCH(double, width);
        QFETCH(qint64, stride);
        QFETCH(bool, upright);
        std::vector<std::pair<std::ptrdiff_t, double>> marked;
        for (int i = 0; i < months; ++i)
            marked.emplace_back(i, midnight(2021 + i / 12, 1 + i % 12, 1));
        const TReportSpan view = reportDateSpan(marked.front().second, marked.back().second, true);
        const TReportMonthStride every =
            reportMonthStride(marked, marked.size(), view.from, view.to, width, 40, 12);
        QCOMPARE(qint64{every.stride}, stride);
        QCOMPARE(every.upright, upright);
    }

    void marksHaveRoomOnlyForFewPoints()
    {
        QVERIFY(reportRoomForMarks(10, 160));
        QVERIFY(!reportRoomForMarks(11, 160));
        QVERIFY(reportRoomForMarks(0, 0));
        QVERIFY(reportRoomForMarkRows(40, 36, 400));
        QVERIFY(!reportRoomForMarkRows(41, 36, 400));
        QVERIFY(!reportRoomForMarkRows(1, 36, 0));
    }

    void marksGoAboveThenBelowThenFurtherOut()
    {
        // Marks 30 wide and 14 high; a mark's line is 8 long and a row further out 16 more.
        struct Case {
            const char *name;
            QRectF room;
            QList<QPointF> anchors;
            QList<double> tops; // of each mark's box, in order
        };
        const QRectF room(0, 0, 400, 300);
        const Case cases[] = {
            {"alone", room, {{100, 100}}, {78}},
            {"neighbours apart", room, {{100, 100}, {200, 100}}, {78, 78}},
            {"two at one point", room, {{100, 100}, {100, 100}}, {78, 108}},
            {"six at one point",
             room,
             {{100, 100}, {100, 100}, {100, 100}, {100, 100}, {100, 100}, {100, 100}},
             {78, 108, 62, 124, 46, 140}},
            {"a seventh has no free place: above anyway",
             room,
             {{100, 100}, {100, 100}, {100, 100}, {100, 100}, {100, 100}, {100, 100}, {100, 100}},
             {78, 108, 62, 124, 46, 140, 78}},
            {"near the top: below", room, {{100, 10}}, {18}},
            {"near the bottom: above", room, {{100, 295}}, {273}},
            {"at the left edge, no place inside: above anyway", room, {{5, 100}}, {78}},
            {"no room at all: above anyway", QRectF(0, 0, 20, 20), {{10, 10}}, {-12}},
            {"close neighbours take turns", room, {{100, 100}, {110, 100}, {120, 100}}, {78, 108, 62}},
        };
        for (const Case &c : cases) {
            std::vector<TReportMark> candidates;
            for (const QPointF &anchor : c.anchors)
                candidates.push_back({anchor, QRectF(0, 0, 30, 14), QStringLiteral("1.5")});
            std::vector<TReportMark> placed;
            reportPlaceMarks(candidates, c.room, 14, placed);
            QVERIFY2(qsizetype(placed.size()) == c.anchors.size(), c.name);
            for (qsizetype i = 0; i < c.anchors.size(); ++i) {
                const TReportMark &mark = placed[static_cast<std::size_t>(i)];
                QVERIFY2(mark.anchor == c.anchors[i] && mark.text == QStringLiteral("1.5"), c.name);
                QVERIFY2(
                    mark.box == QRectF(c.anchors[i].x() - 15, c.tops[i], 30, 14),
                    qPrintable(QStringLiteral("%1: mark %2 at %3").arg(c.name).arg(i).arg(mark.box.top())));
            }
        }
    }
};

QTEST_APPLESS_MAIN(TestReportAxis)
#include "test_report_axis.moc"
