// The report window: point order, labels, marks and axes, date errors, zoom, tool tip, context menu and
// the pictures it saves.
#include "Frm_report.h"
#include "report_test_util.h"

#include <QAction>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QContextMenuEvent>
#include <QDateTimeAxis>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QHelpEvent>
#include <QLineSeries>
#include <QMenu>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QValueAxis>
#include <QVariantAnimation>
#include <QWheelEvent>

#include <algorithm>

namespace {

// One wheel step up (zoom in) with the pointer at a place of the plot, then the zoom's animation run
// to its end.
void wheelStep(TFrmReport &report, QPointF at)
{
    QWidget *viewport = report.chartView()->viewport();
    const QPointF pos = report.chartView()->mapFromScene(report.chart()->mapToScene(at));
    QWheelEvent wheel(pos, viewport->mapToGlobal(pos), {}, QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &wheel);
    QCoreApplication::processEvents();
    QVariantAnimation *animation = report.zoomAnimation();
    if (animation->state() == QAbstractAnimation::Running)
        animation->setCurrentTime(animation->duration());
}

// The labels that a date axis shows: its ticks spread evenly from its minimum to its maximum.
QStringList dateAxisLabels(const QDateTimeAxis *axis)
{
    QStringList labels;
    const qint64 min = axis->min().toMSecsSinceEpoch();
    const qint64 max = axis->max().toMSecsSinceEpoch();
    for (int i = 0; i < axis->tickCount(); ++i)
        labels << QLocale().toString(
            QDateTime::fromMSecsSinceEpoch(min + (max - min) * i / (axis->tickCount() - 1)), axis->format());
    return labels;
}

double axisMiddle(const TFrmReport &report)
{
    if (auto *days = qobject_cast<QDateTimeAxis *>(report.dateAxis()))
        return (static_cast<double>(days->min().toMSecsSinceEpoch()) +
                static_cast<double>(days->max().toMSecsSinceEpoch())) /
               2;
    auto *months = qobject_cast<QValueAxis *>(report.dateAxis());
    return (months->min() + months->max()) / 2;
}

} // namespace

class TestFrmReport : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void valuesAreFormattedWithGroupsAndAtMostThreeDecimals_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        const QLocale german(QLocale::German, QLocale::Germany);
        QTest::newRow("gross 7.5") << english << 7.5 << "7.5";
        QTest::newRow("quantity 1000") << english << 1000.0 << "1,000";
        QTest::newRow("1234.5") << english << 1234.5 << "1,234.5";
        QTest::newRow("whole number") << english << 7.0 << "7";
        QTest::newRow("two decimals") << english << 12.34 << "12.34";
        QTest::newRow("negative") << english << -1234.5 << "-1,234.5";
        QTest::newRow("three decimals, millions") << english << 1234567.891 << "1,234,567.891";
        QTest::newRow("binary fraction noise") << english << 0.1 + 0.2 << "0.3";
        QTest::newRow("rounds to zero, no sign") << english << -0.0004 << "0";
        QTest::newRow("large 64-bit total") << english << 4294967296.0 << "4,294,967,296";
        QTest::newRow("C locale still groups") << QLocale::c() << 1234.5 << "1,234.5";
        QTest::newRow("comma decimal") << german << 1234.5 << "1.234,5";
        QTest::newRow("comma decimal, whole") << german << 1000.0 << "1.000";
    }

    void valuesAreFormattedWithGroupsAndAtMostThreeDecimals()
    {
        QFETCH(QLocale, locale);
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(formatReportValue(value, locale), text);
    }

    void pointsAreKeptInDateOrderEqualDatesAsAdded()
    {
        TFrmReport report;
        report.BeginReport(QStringLiteral("Gross report"), QStringLiteral("Gross"));
        report.AddDayPoint({2009, 6, 17}, 1);
        report.AddDayPoint({2009, 6, 16}, 2);
        report.AddDayPoint({2009, 6, 17}, 3);
        QCOMPARE(report.points(),
                 (QList<QPointF>{{dayX(2009, 6, 16), 2}, {dayX(2009, 6, 17), 1}, {dayX(2009, 6, 17), 3}}));
        // Points added after the series was filled go behind those of the same date.
        report.AddDayPoint({2009, 6, 17}, 4);
        report.AddDayPoint({2009, 6, 15}, 5);
        QCOMPARE(report.points(), (QList<QPointF>{{dayX(2009, 6, 15), 5},
                                                  {dayX(2009, 6, 16), 2},
                                                  {dayX(2009, 6, 17), 1},
                                                  {dayX(2009, 6, 17), 3},
                                                  {dayX(2009, 6, 17), 4}}));
        QCOMPARE(report.series()->count(), 5);
        // The event loop hands pending points to the series by itself.
        report.AddDayPoint({2009, 6, 18}, 6);
        QTRY_COMPARE(report.series()->count(), 6);
    }

    void monthPointsLieOnTheFirstDayAndCarryYearMonthLabels()
    {
        TFrmReport report;
        report.BeginReport(QStringLiteral("Quantity report"), QStringLiteral("Quantity"));
        report.AddMonthPoint({2009, 12, 31}, 3);
        report.AddMonthPoint({2009, 6, 16}, 5);
        report.AddMonthPoint({2010, 1, 0}, 7); // the day of a month point is not used
        QCOMPARE(report.points(),
                 (QList<QPointF>{{dayX(2009, 6, 1), 5}, {dayX(2009, 12, 1), 3}, {dayX(2010, 1, 1), 7}}));
        QCOMPARE(report.pointLabels(), (QStringList{"2009-6", "2009-12", "2010-1"}));
        QVERIFY(report.showsMonthAxis());
        QVERIFY(qobject_cast<QCategoryAxis *>(report.dateAxis()));

        report.BeginReport(QStringLiteral("Quantity report"), QStringLiteral("Quantity"));
        report.AddDayPoint({2009, 6, 16}, 5);
        QCOMPARE(report.pointLabels(), QStringList{QString()});
        QVERIFY(!report.showsMonthAxis());
        QVERIFY(qobject_cast<QDateTimeAxis *>(report.dateAxis()));
    }

    void aModalMonthReportShowsNoDateLabels()
    {
        TFrmReport report;
        report.BeginReport(QStringLiteral("Gross report"), QStringLiteral("Gross"));
        report.AddMonthPoint({2009, 1, 1}, 7.5);
        report.AddMonthPoint({2009, 3, 1}, 4.25);
        QStringList texts;
        const ModalWatch watch = whenModal<TFrmReport>([&texts](TFrmReport *shown) {
            (void)layoutSettled(*shown); // the texts are checked once the report is closed
            for (QGraphicsItem *item : shown->chartView()->scene()->items())
                if (auto *text = dynamic_cast<QGraphicsTextItem *>(item);
                    text != nullptr && text->isVisible())
                    texts.append(text->toPlainText());
            shown->close();
        });
        report.exec();
        QVERIFY(texts.contains(QStringLiteral("2009-1")));
        for (const QString &text : texts)
            QVERIFY2(!text.contains(QLatin1Char('/')), qPrintable(text)); // no label of a date axis
    }

    void beginReportEmptiesTheSeriesAndReplacesTheTitle()
    {
        TFrmReport report;
        report.BeginReport(QStringLiteral("Gross report"), QStringLiteral("Gross"));
        report.AddMonthPoint({2009, 1, 5}, 7.5);
        QCOMPARE(report.points().size(), 1);
        report.BeginReport(QStringLiteral("Quantity report"), QStringLiteral("Quantity"));
        QCOMPARE(report.chart()->title(), QStringLiteral("Quantity report"));
        QCOMPARE(report.series()->name(), QStringLiteral("Quantity"));
        QVERIFY(report.points().isEmpty());
        QVERIFY(report.pointLabels().isEmpty());
        QVERIFY(!report.chart()->legend()->isVisible());
    }

    void datesThatDoNotExistAreRefused_data()
    {
        QTest::addColumn<bool>("month");
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("monthOfYear");
        QTest::addColumn<int>("day");
        QTest::addColumn<bool>("refused");
        QTest::newRow("day: 30 February") << false << 2023 << 2 << 30 << true;
        QTest::newRow("day: 29 February, no leap year") << false << 2023 << 2 << 29 << true;
        QTest::newRow("day: 29 February 1900") << false << 1900 << 2 << 29 << true;
        QTest::newRow("day: 29 February 2000") << false << 2000 << 2 << 29 << false;
        QTest::newRow("day: 31 April") << false << 2009 << 4 << 31 << true;
        QTest::newRow("day: day 0") << false << 2009 << 6 << 0 << true;
        QTest::newRow("day: month 13") << false << 2009 << 13 << 1 << true;
        QTest::newRow("day: year 0") << false << 0 << 6 << 16 << true;
        QTest::newRow("month: month 13") << true << 2022 << 13 << 5 << true;
        QTest::newRow("month: month 0") << true << 2023 << 0 << 5 << true;
        QTest::newRow("month: year 0") << true << 0 << 6 << 1 << true;
        QTest::newRow("month: a bad day alone") << true << 2023 << 2 << 30 << false;
    }

    void datesThatDoNotExistAreRefused()
    {
        QFETCH(bool, month);
        QFETCH(int, year);
        QFETCH(int, monthOfYear);
        QFETCH(int, day);
        QFETCH(bool, refused);
        TFrmReport report;
        report.BeginReport(QStringLiteral("Gross report"), QStringLiteral("Gross"));
        report.AddDayPoint({2009, 6, 16}, 1);
        const qv_date date{std::uint16_t(year), std::uint16_t(monthOfYear), std::uint16_t(day)};
        QString message;
        try {
            month ? report.AddMonthPoint(date, 2) : report.AddDayPoint(date, 2);
        } catch (const Edate_encode_error &e) {
            message = QString::fromLatin1(e.what());
        }
        QCOMPARE(message, refused ? QStringLiteral("Invalid argument to date encode") : QString());
        // The points before stay; a refused date adds none.
        QCOMPARE(report.points().size(), refused ? 1 : 2);
    }

    void fewMarksAllShowWithoutCoveringEachOther()
    {
        TFrmReport report;
        report.BeginReport(QStringLiteral("Gross report"), QStringLiteral("Gross"));
        QStringList expected;
        for (int m = 1; m <= 12; ++m) {
            const double value = 12345.67 + m * 1000.5; // wide marks, close values
            report.AddMonthPoint({2009, std::uint16_t(m), 1}, value);
            expected.append(formatReportValue(value, QLocale()));
        }
        showAndSettle(report);
        QCOMPARE(markTexts(report), expected);
        const std::vector<TReportMark> marks = report.visibleMarks();
        QVERIFY(!marksOverlap(marks));
        for (const TReportMark &mark : marks)
            QVERIFY(report.chart()->rect().contains(mark.box));
        render(report, QStringLiteral("marks_twelve_months"));
    }

    void aFewDozenMarksAllShow()
    {
        TFrmReport report;
        report.BeginReport(QStringLiteral("Gross report"), QStringLiteral("Gross"));
        for (int i = 0; i < 36; ++i)
            report.AddMonthPoint({std::uint16_t(2007 + i / 12), std::uint16_t(i % 12 + 1), 1},
                                 10000 + (i * 7919) % 5000 + 0.25);
        showAndSettle(report);
        QCOMPARE(report.visibleMarks().size(), std::size_t(36));
        QVERIFY(!marksOverlap(report.visibleMarks()));
        render(report, QStringLiteral("marks_three_years"));
    }

    void marksOfOneDateStackWithoutCoveringEachOther()
    {
        TFrmReport report;
        report.BeginReport(QStringLiteral("Gross report"), QStringLiteral("Gross"));
        report.AddDayPoint({2009, 6, 16}, 10);
        report.AddDayPoint({2009, 6, 16}, 10.5);
        report.AddDayPoint({2009, 6, 16}, 11);
        report.AddDayPoint({2009, 6, 20}, 4);
        showAndSettle(report);
        QCOMPARE(markTexts(report), (QStringList{"10", "10.5", "11", "4"}));
        QVERIFY(!marksOverlap(report.visibleMarks()));
        render(report, QStringLiteral("marks_one_date"));
    }

    void marksAreLeftOutUntilTheViewHoldsFewEnoughPoints()
    {
        TFrmReport report;
        report.BeginReport(QStringLiteral("Quantity report"), QStringLiteral("Quantity"));
        const QDate start(2009, 1, 1);
        for (int i = 0; i < 3000; ++i) {
            const QDate d = start.addDays(i / 4);
            report.AddDayPoint({std::uint16_t(d.year()), std::uint16_t(d.month()), std::uint16_t(d.day())},
                               i % 17);
        }
        showAndSettle(report);
        QVERIFY(report.visibleMarks().empty());
        const QImage crowded = render(report, QStringLiteral("marks_thinned_day_report"));
        QVERIFY(countRedPixels(crowded) > 1000);

        // Zoomed in on three days: the twelve points in view get their marks, and only they.
        auto *axis = qobject_cast<QDateTimeAxis *>(report.dateAxis());
        QVERIFY(axis);
        axis->setRange(QDate(2009, 3, 1).startOfDay().addSecs(-3600),
                       QDate(2009, 3, 3).startOfDay().addSecs(3600));
        QTRY_COMPARE(report.visibleMarks().size(), std::size_t(12));
        render(report, QStringLiteral("marks_zoomed_day_report"));

        // Back to the whole range, the marks go again.
        report.chart()->zoomIn();
        QVERIFY(report.chart()->isZoomed());
        report.actionZoomReset()->trigger();
        QVERIFY(!report.chart()->isZoomed());
        QTRY_VERIFY(report.visibleMarks().empty());
    }

    void longReportsHandTheSeriesWhatTheViewCanShow()
    {
        TFrmReport report;
        report.BeginReport(QStringLiteral("Gross report"), QStringLiteral("Gross"));
        const QDate start(1990, 1, 1);
        const int count = 20000; // two points a day
        for (int i = 0; i < count; ++i) {
            const QDate d = start.addDays(i / 2);
            const double value = i == 7777 ? 1000 : i == 12345 ? -500 : (i * 37) % 101;
            report.AddDayPoint({std::uint16_t(d.year()), std::uint16_t(d.month()), std::uint16_t(d.day())},
                               value);
        }
        showAndSettle(report);
        QCOMPARE(report.points().size(), count);
        const QList<QPointF> held = report.series()->points();
        const double width = report.chart()->plotArea().width();
        QVERIFY2(held.size() > 100 && held.size() <= 4 * width + 8, qPrintable(QString::number(held.size())));
        // The peaks are kept, and the line stays in date order.
        const auto [low, high] = std::minmax_element(
            held.begin(), held.end(), [](const QPointF &a, const QPointF &b) { return a.y() < b.y(); });
        QCOMPARE(low->y(), -500.0);
        QCOMPARE(high->y(), 1000.0);
        QVERIFY(std::is_sorted(held.begin(), held.end(),
                               [](const QPointF &a, const QPointF &b) { return a.x() < b.x(); }));
        QVERIFY(countRedPixels(render(report, QStringLiteral("long_day_report"))) > 2000);

        // Ten days in view: their twenty points and one on each side, each with its mark.
        auto *axis = qobject_cast<QDateTimeAxis *>(report.dateAxis());
        axis->setRange(QDate(2000, 1, 1).startOfDay(), QDate(2000, 1, 10).startOfDay().addSecs(3600));
        QTRY_COMPARE(report.series()->count(), 22);
        QCOMPARE(report.series()->at(1).x(), dayX(2000, 1, 1));
        QCOMPARE(report.visibleMarks().size(), std::size_t(20));
        render(report, QStringLiteral("long_day_report_zoomed"));
    }

    void marksFollowTheLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        TFrmReport report;
        report.BeginReport(QStringLiteral("Gross report"), QStringLiteral("Gross"));
        report.AddMonthPoint({2009, 1, 1}, 1234.5);
        report.AddMonthPoint({2009, 2, 1}, 7.25);
        showAndSettle(report);
        const QStringList marks = markTexts(report);
        const QStringList axisLabels = report.valueAxisLabels();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(marks, (QStringList{"1.234,5", "7,25"}));
        QVERIFY(axisLabels.contains(QStringLiteral("1.000")));
    }

    void axesShowMonthLabelsAndFormattedValues()
    {
        TFrmReport report;
        report.BeginReport(QStringLiteral("Quantity report"), QStringLiteral("Quantity"));
        report.AddMonthPoint({2009, 3, 4}, 1000);
        report.AddMonthPoint({2009, 1, 9}, 2500);
        showAndSettle(report);
        QCOMPARE(report.monthAxisLabels(), (QStringList{"2009-1", "2009-3"}));
        const QStringList values = report.valueAxisLabels();
        QVERIFY2(values.contains(QStringLiteral("1,000")) && values.contains(QStringLiteral("2,000")),
                 qPrintable(values.join(' ')));
        auto *valueAxis = qobject_cast<QValueAxis *>(report.chart()->axes(Qt::Vertical).first());
        QVERIFY(valueAxis->min() <= 1000 && valueAxis->max() >= 2500);

        // Ten years of months: the labels shown keep apart, every shown one is a month point.
        report.BeginReport(QStringLiteral("Quantity report"), QStringLiteral("Quantity"));
        QStringList all;
        for (int i = 0; i < 120; ++i) {
            const qv_date date{std::uint16_t(2000 + i / 12), std::uint16_t(i % 12 + 1), 1};
            report.AddMonthPoint(date, i);
            all.append(QStringLiteral("%1-%2").arg(date.year).arg(date.month));
        }
        QTRY_VERIFY(!report.monthAxisLabels().isEmpty());
        const QStringList shown = report.monthAxisLabels();
        QVERIFY2(shown.size() >= 5 && shown.size() < 40, qPrintable(shown.join(' ')));
        for (const QString &label : shown)
            QVERIFY(all.contains(label));
        render(report, QStringLiteral("ten_years_of_months"));
    }

    void toolTipNamesThePointUnderThePointer()
    {
        TFrmReport report;
        report.BeginReport(QStringLiteral("Gross report"), QStringLiteral("Gross"));
        report.AddMonthPoint({2009, 1, 1}, 10);
        report.AddMonthPoint({2009, 2, 1}, 1234.5);
        showAndSettle(report);
        const std::vector<TReportMark> marks = report.visibleMarks();
        QCOMPARE(marks.size(), std::size_t(2));
        QWidget *viewport = report.chartView()->viewport();
        const QPoint at = report.chartView()->mapFromScene(report.chart()->mapToScene(marks[1].anchor));
        QHelpEvent help(QEvent::ToolTip, at + QPoint(2, 1), viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &help);
        QTRY_COMPARE(QToolTip::text(), QStringLiteral("2009-2: 1,234.5"));
        // Far from any point, no tip.
        QHelpEvent away(QEvent::ToolTip, QPoint(5, 5), viewport->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(viewport, &away);
        QTRY_VERIFY(QToolTip::text().isEmpty() || !QToolTip::isVisible());
    }

    void wheelZoomsAboutThePointer()
    {
        TFrmReport report;
        report.BeginReport(QStringLiteral("Gross report"), QStringLiteral("Gross"));
        for (int m = 1; m <= 12; ++m)
            report.AddMonthPoint({2009, std::uint16_t(m), 1}, m);
        showAndSettle(report);
        auto *axis = qobject_cast<QValueAxis *>(report.dateAxis());
        const double min = axis->min(), max = axis->max();
        // The pointer over the left quarter of the plot: the view narrows and keeps that place.
        const QRectF plot = report.chart()->plotArea();
        const QPointF at(plot.left() + plot.width() / 4, plot.center().y());
        const double valueAt = min + (max - min) / 4;
        QWidget *viewport = report.chartView()->viewport();
        const QPointF pos = report.chartView()->mapFromScene(report.chart()->mapToScene(at));
        QWheelEvent wheel(pos, viewport->mapToGlobal(pos), {}, QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &wheel);
        QVERIFY(axis->max() - axis->min() < (max - min) * 0.9);
        QVERIFY(axis->min() > min && axis->max() < max);
        QVERIFY(std::abs((axis->min() + (axis->max() - axis->min()) / 4) - valueAt) < (max - min) * 0.01);
    }

    void rightButtonOpensTheMenuInsteadOfZoomingOut()
    {
        TFrmReport report;
        report.BeginReport(QStringLiteral("Gross report"), QStringLiteral("Gross"));
        for (int m = 1; m <= 6; ++m)
            report.AddMonthPoint({2009, std::uint16_t(m), 1}, m);
        showAndSettle(report);
        report.chart()->zoomIn();
        auto *axis = qobject_cast<QValueAxis *>(report.dateAxis());
        const std::pair<double, double> zoomed{axis->min(), axis->max()};
        QWidget *viewport = report.chartView()->viewport();
        QTest::mouseClick(viewport, Qt::RightButton, {}, viewport->rect().center());
        QCOMPARE((std::pair<double, double>{axis->min(), axis->max()}), zoomed);

        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, viewport->rect().center(),
                                    viewport->mapToGlobal(viewport->rect().center()));
        QApplication::sendEvent(viewport, &menuEvent);
        QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QStringList items;
        for (QAction *action : menu->actions())
            if (!action->isSeparator())
                items.append(action->text());
        QCOMPARE(items, (QStringList{"&Reset zoom", "Zoom &in", "Zoom &out", "Show &data", "&Save image...",
                                     "Save &data..."}));
        menu->actions().first()->trigger();
        menu->close();
        QVERIFY(!report.chart()->isZoomed());
        QVERIFY(axis->min() < zoomed.first && axis->max() > zoomed.second);
    }

    void savesTheChartAsPng()
    {
        TFrmReport report;
        report.BeginReport(QStringLiteral("Gross report"), QStringLiteral("Gross"));
        report.AddMonthPoint({2009, 1, 1}, 10);
        report.AddMonthPoint({2009, 2, 1}, 20);
        showAndSettle(report);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());

        // A name without a suffix gets ".png".
        TFrmReport::setSaveFileNameHook([&](QWidget *) { return dir.filePath(QStringLiteral("chart")); });
        report.actionSaveImage()->trigger();
        const QImage saved(dir.filePath(QStringLiteral("chart.png")), "PNG");
        QCOMPARE(saved.size(), report.chartView()->size());
        QVERIFY(countRedPixels(saved) > 100);

        // A folder that does not exist: the error box names the file.
        const QString bad = dir.filePath(QStringLiteral("missing/chart.png"));
        TFrmReport::setSaveFileNameHook([&](QWidget *) { return bad; });
        SeenBox box;
        const ModalWatch watch1 = answerNextMessageBox(&box);
        report.actionSaveImage()->trigger();
        QVERIFY(box.seen);
        QVERIFY2(box.text.contains(QDir::toNativeSeparators(bad)), qPrintable(box.text));

        // A loaded file is never written over, whatever its name says.
        const QString loaded = dir.filePath(QStringLiteral("history.png"));
        QFile(loaded).open(QIODevice::WriteOnly);
        report.setLoadedFiles({QFile::encodeName(loaded).toStdString()});
        TFrmReport::setSaveFileNameHook([&](QWidget *) { return loaded; });
        SeenBox refused;
        {
            const ModalWatch watch2 = answerNextMessageBox(&refused);
            report.actionSaveImage()->trigger();
        }
        QVERIFY(refused.seen);
        QCOMPARE(QFileInfo(loaded).size(), 0);

        // Cancelled: nothing written, nothing shown.
        TFrmReport::setSaveFileNameHook([](QWidget *) { return QString(); });
        report.actionSaveImage()->trigger();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"chart.png", "history.png"}));
        TFrmReport::setSaveFileNameHook({});
    }

    // A report without points shows the days the user chose on a date axis, also after a month report.
    void anEmptyReportSpansTheChosenDays_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("afterMonthReport");
        QTest::newRow("quantity per month") << int(qv_report_kind::quantity_month) << false;
        QTest::newRow("gross per day") << int(qv_report_kind::gross_day) << false;
        QTest::newRow("quantity per day after a month report") << int(qv_report_kind::quantity_day) << true;
        QTest::newRow("gross per month after a month report") << int(qv_report_kind::gross_month) << true;
    }

    void anEmptyReportSpansTheChosenDays()
    {
        QFETCH(int, kind);
        QFETCH(bool, afterMonthReport);
        Tqv_records store;
        addRecord(store, "A", {2009, 6, 15}, 2, 500);
        addRecord(store, "B", {2009, 8, 15}, 3, 700);
        TFrmReport report;
        if (afterMonthReport) {
            FillReport(report, store, qv_report_kind::quantity_month, {2009, 1, 1}, {2009, 12, 31});
            showAndSettle(report);
            QVERIFY(report.showsMonthAxis());
        }
        FillReport(report, store, qv_report_kind(kind), {2020, 3, 1}, {2020, 3, 31});
        const QImage image =
            render(report, QStringLiteral("empty_report_%1%2").arg(kind).arg(afterMonthReport));
        QVERIFY(!report.showsMonthAxis());
        auto *axis = qobject_cast<QDateTimeAxis *>(report.dateAxis());
        QVERIFY(axis != nullptr && axis->isVisible());
        QCOMPARE(axis->min(), QDate(2020, 3, 1).startOfDay());
        QCOMPARE(axis->max(), QDate(2020, 4, 1).startOfDay());
        const QStringList labels = dateAxisLabels(axis);
        QVERIFY(labels.size() >= 2);
        QCOMPARE(QSet<QString>(labels.begin(), labels.end()).size(), labels.size());
        QCOMPARE(countRedPixels(image), 0);
    }

    void aOneDayReportDrawsItsDayInTheMiddle_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("day") << int(qv_report_kind::quantity_day);
        QTest::newRow("month") << int(qv_report_kind::gross_month);
    }

    void aOneDayReportDrawsItsDayInTheMiddle()
    {
        QFETCH(int, kind);
        Tqv_records store;
        addRecord(store, "A", {2020, 6, 1}, 2, 500);
        addRecord(store, "B", {2020, 6, 1}, 3, 700);
        TFrmReport report;
        FillReport(report, store, qv_report_kind(kind), {2020, 6, 1}, {2020, 6, 1});
        render(report, QStringLiteral("one_day_report_%1").arg(kind));
        QCOMPARE(axisMiddle(report), dayX(2020, 6, 1));
    }

    // While a zoom is animated the axes pass through the views between the old and the new one, and
    // the marks stand where the line is drawn in each of them.
    void marksMoveWithTheLineDuringAZoom()
    {
        TFrmReport report;
        report.BeginReport(QStringLiteral("Quantity report"), QStringLiteral("Quantity"));
        for (int d = 1; d <= 12; ++d)
            report.AddDayPoint({2020, 6, std::uint16_t(d)}, d % 4 + 1);
        showAndSettle(report);
        auto *axis = qobject_cast<QDateTimeAxis *>(report.dateAxis());
        const double before =
            static_cast<double>(axis->max().toMSecsSinceEpoch() - axis->min().toMSecsSinceEpoch());
        const QRectF plot = report.chart()->plotArea();
        QWidget *viewport = report.chartView()->viewport();
        const QPointF pos = report.chartView()->mapFromScene(report.chart()->mapToScene(plot.center()));
        QWheelEvent wheel(pos, viewport->mapToGlobal(pos), {}, QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &wheel);
        QCoreApplication::processEvents();
        QVariantAnimation *animation = report.zoomAnimation();
        QCOMPARE(animation->state(), QAbstractAnimation::Running);
        animation->setCurrentTime(animation->duration() / 4);
        const double during =
            static_cast<double>(axis->max().toMSecsSinceEpoch() - axis->min().toMSecsSinceEpoch());
        QVERIFY2(during < before && during > before * 0.8 + 1, qPrintable(QString::number(during / before)));
        const std::vector<TReportMark> marks = report.visibleMarks();
        QVERIFY(!marks.empty());
        const QList<QPointF> points = report.points();
        for (const TReportMark &mark : marks) {
            const bool onTheLine = std::any_of(points.begin(), points.end(), [&](const QPointF &p) {
                const QPointF drawn = report.chart()->mapToPosition(p, report.series());
                return (drawn - mark.anchor).manhattanLength() < 1.5;
            });
            QVERIFY2(onTheLine, qPrintable(mark.text));
        }
        animation->setCurrentTime(animation->duration());
        const double after =
            static_cast<double>(axis->max().toMSecsSinceEpoch() - axis->min().toMSecsSinceEpoch());
        QVERIFY(std::abs(after - before * 0.8) < before * 0.01);
    }

    // Sixty wheel steps into six years: the zoom stops where both axes still label values that differ,
    // and the line is still drawn.
    void deepZoomStopsWhereTheAxesStillTellValuesApart_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("quantity per day") << int(qv_report_kind::quantity_day);
        QTest::newRow("quantity per month") << int(qv_report_kind::quantity_month);
    }

    void deepZoomStopsWhereTheAxesStillTellValuesApart()
    {
        QFETCH(int, kind);
        Tqv_records store;
        int n = 0;
        for (QDate d(2017, 1, 1); d <= QDate(2022, 12, 31); d = d.addDays(5), ++n)
            addRecord(store, "R" + std::to_string(n),
                      {std::uint16_t(d.year()), std::uint16_t(d.month()), std::uint16_t(d.day())}, n % 7 + 1,
                      100);
        TFrmReport report;
        FillReport(report, store, qv_report_kind(kind), {2017, 1, 1}, {2022, 12, 31});
        report.resize(766, 461);
        showAndSettle(report);
        // The pointer on a point in the middle of the report, which stays under it.
        const QPointF middle = report.points().at(report.points().size() / 2);
        for (int step = 0; step < 60; ++step)
            wheelStep(report, report.chart()->mapToPosition(middle, report.series()));
        const QStringList values = report.valueAxisLabels();
        QVERIFY2(values.size() >= 2, qPrintable(values.join(' ')));
        QCOMPARE(QSet<QString>(values.begin(), values.end()).size(), values.size());
        QStringList dates;
        if (auto *days = qobject_cast<QDateTimeAxis *>(report.dateAxis()))
            dates = dateAxisLabels(days);
        else
            dates = report.monthAxisLabels();
        QVERIFY2(dates.size() >= 2, qPrintable(dates.join(QStringLiteral(" | "))));
        QCOMPARE(QSet<QString>(dates.begin(), dates.end()).size(), dates.size());
        const QImage image = report.chartView()->grab().toImage();
        image.save(QStringLiteral(QV_REPORT_ARTEFACTS "/deep_zoom_%1.png").arg(kind));
        QVERIFY(countRedPixels(image) > 20);
    }

    void anEmptyReportShowsTitleAndEmptyPlot()
    {
        TFrmReport report;
        report.BeginReport(QStringLiteral("Gross report"), QStringLiteral("Gross"));
        const QImage image = render(report, QStringLiteral("empty_report"));
        QCOMPARE(countRedPixels(image), 0);
        QVERIFY(report.visibleMarks().empty());
        QCOMPARE(report.chart()->title(), QStringLiteral("Gross report"));
    }
};

QTEST_MAIN(TestFrmReport)
#include "test_frm_report.moc"
