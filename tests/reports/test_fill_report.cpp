// The reports filled from a store of records as the report actions fill them: month totals, day points,
// impossible dates, and the pictures of the four reports.
#include "Frm_report.h"
#include "report_test_util.h"

#include <QChart>
#include <QLineSeries>
#include <QTest>

class TestFillReport : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void monthTotalsCountOnlyRecordsInsideTheRange()
    {
        Tqv_records store;
        addRecord(store, "A1", {2009, 1, 10}, 1, 1000);
        addRecord(store, "A2", {2009, 1, 20}, 2, -250);
        addRecord(store, "A3", {2009, 3, 1}, 4, 500);
        addRecord(store, "A4", {2009, 3, 31}, 8, 100);
        addRecord(store, "A5", {2009, 4, 1}, 16, 700); // the day after the range
        addRecord(store, "A0", {2009, 1, 2}, 32, 900); // before the cut range below, first in store order
        TFrmReport report;

        // Whole months: January 10.00 - 2.50 + 9.00, no point for February, March 5.00 + 1.00.
        FillReport(report, store, qv_report_kind::gross_month, {2009, 1, 1}, {2009, 3, 31});
        QCOMPARE(report.points(), (QList<QPointF>{{dayX(2009, 1, 1), 16.5}, {dayX(2009, 3, 1), 6}}));
        QCOMPARE(report.pointLabels(), (QStringList{"2009-1", "2009-3"}));
        QCOMPARE(report.chart()->title(), QStringLiteral("Gross report"));

        // January cut at the 5th: the record of the 2nd does not count although it comes first.
        FillReport(report, store, qv_report_kind::gross_month, {2009, 1, 5}, {2009, 3, 1});
        QCOMPARE(report.points(), (QList<QPointF>{{dayX(2009, 1, 1), 7.5}, {dayX(2009, 3, 1), 5}}));
        FillReport(report, store, qv_report_kind::quantity_month, {2009, 1, 5}, {2009, 3, 1});
        QCOMPARE(report.points(), (QList<QPointF>{{dayX(2009, 1, 1), 3}, {dayX(2009, 3, 1), 4}}));
        QCOMPARE(report.chart()->title(), QStringLiteral("Quantity report"));
        QCOMPARE(report.series()->name(), QStringLiteral("Quantity"));

        // The same report again gives the same points, once.
        FillReport(report, store, qv_report_kind::quantity_month, {2009, 1, 5}, {2009, 3, 1});
        QCOMPARE(report.points(), (QList<QPointF>{{dayX(2009, 1, 1), 3}, {dayX(2009, 3, 1), 4}}));
    }

    void quantityMonthTotalsDoNotWrapAt32Bits()
    {
        Tqv_records store;
        addRecord(store, "B1", {2009, 5, 1}, 2'000'000'000, 0);
        addRecord(store, "B2", {2009, 5, 2}, 2'000'000'000, 0);
        addRecord(store, "B3", {2009, 5, 3}, 294'967'296, 0);
        TFrmReport report;
        FillReport(report, store, qv_report_kind::quantity_month, {2009, 5, 1}, {2009, 5, 31});
        QCOMPARE(report.points(), (QList<QPointF>{{dayX(2009, 5, 1), 4'294'967'296.0}}));
        showAndSettle(report);
        QCOMPARE(markTexts(report), QStringList{"4,294,967,296"});
    }

    void dayReportsPlotEveryRecordWithItsSign()
    {
        Tqv_records store;
        addRecord(store, "C1", {2009, 6, 16}, 1, 1000);
        addRecord(store, "C2", {2009, 6, 16}, -1, -250);
        addRecord(store, "C3", {2009, 6, 16}, 3, 1234);
        addRecord(store, "C4", {2009, 6, 17}, 5, 1);
        addRecord(store, "C5", {2009, 6, 15}, 7, 2); // the day before the range
        TFrmReport report;
        FillReport(report, store, qv_report_kind::quantity_day, {2009, 6, 16}, {2009, 6, 17});
        QCOMPARE(report.points(), (QList<QPointF>{{dayX(2009, 6, 16), 1},
                                                  {dayX(2009, 6, 16), -1},
                                                  {dayX(2009, 6, 16), 3},
                                                  {dayX(2009, 6, 17), 5}}));
        showAndSettle(report);
        QCOMPARE(markTexts(report), (QStringList{"1", "-1", "3", "5"}));
        const QImage quantity = render(report, QStringLiteral("quantity_per_day"));
        QVERIFY(countRedPixels(quantity) > 200);

        FillReport(report, store, qv_report_kind::gross_day, {2009, 6, 16}, {2009, 6, 16});
        QCOMPARE(
            report.points(),
            (QList<QPointF>{{dayX(2009, 6, 16), 10}, {dayX(2009, 6, 16), -2.5}, {dayX(2009, 6, 16), 12.34}}));
        QCOMPARE(report.chart()->title(), QStringLiteral("Gross report"));
        QCOMPARE(markTexts(report), (QStringList{"10", "-2.5", "12.34"}));
        const QImage gross = render(report, QStringLiteral("gross_per_day"));
        QVERIFY(countRedPixels(gross) > 100);
    }

    void monthReportsRenderOnePointPerMonth()
    {
        Tqv_records store;
        for (int i = 0; i < 60; ++i)
            addRecord(store, "M" + std::to_string(i),
                      {2009, std::uint16_t(i % 12 + 1), std::uint16_t(i % 28 + 1)}, i % 7, 1000 + 37 * i);
        TFrmReport report;
        FillReport(report, store, qv_report_kind::quantity_month, {2009, 1, 1}, {2009, 12, 31});
        QCOMPARE(report.points().size(), 12);
        const QImage quantity = render(report, QStringLiteral("quantity_per_month"));
        QVERIFY(countRedPixels(quantity) > 500);
        QCOMPARE(report.visibleMarks().size(), std::size_t(12));
        QVERIFY(!marksOverlap(report.visibleMarks()));

        FillReport(report, store, qv_report_kind::gross_month, {2009, 1, 1}, {2009, 12, 31});
        const QImage gross = render(report, QStringLiteral("gross_per_month"));
        QVERIFY(countRedPixels(gross) > 500);
        QVERIFY(quantity != gross);
    }

    void anImpossibleDateStopsTheReportKeepingEarlierPoints_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("bad");
        QTest::newRow("day report, 30 February") << int(qv_report_kind::gross_day) << 0;
        QTest::newRow("month report, month 13") << int(qv_report_kind::quantity_month) << 1;
    }

    void anImpossibleDateStopsTheReportKeepingEarlierPoints()
    {
        QFETCH(int, kind);
        QFETCH(int, bad);
        Tqv_records store;
        // Store order is ID order: the good record comes first.
        addRecord(store, "D1", {2023, 1, 15}, 1, 100);
        addRecord(store, "D2", bad == 0 ? qv_date{2023, 2, 30} : qv_date{2022, 13, 5}, 2, 200);
        TFrmReport report;
        QString message;
        try {
            FillReport(report, store, qv_report_kind(kind), {2022, 12, 1}, {2023, 3, 31});
        } catch (const Edate_encode_error &e) {
            message = QString::fromLatin1(e.what());
        }
        QCOMPARE(message, QStringLiteral("Invalid argument to date encode"));
        QCOMPARE(report.points().size(), 1);
    }
};

QTEST_MAIN(TestFillReport)
#include "test_fill_report.moc"
