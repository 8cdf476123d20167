// The report window from the keyboard and under a dark palette, offscreen: Shift+F10 and the Menu key
// open the context menu at the plot, + and - zoom in and out beside Ctrl+0, Show data lists the points
// as a table a screen reader walks, and the chart takes the application's colours, light or dark.
#include "Frm_report.h"

#include "report_test_util.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QMenu>
#include <QPalette>
#include <QStyle>
#include <QTableView>
#include <QTest>
#include <QVariantAnimation>

namespace {

double dateSpan(const TFrmReport &report)
{
    const auto *axis = qobject_cast<const QDateTimeAxis *>(report.dateAxis());
    return axis == nullptr ? 0 : double(axis->max().toMSecsSinceEpoch() - axis->min().toMSecsSinceEpoch());
}

void finishZoom(TFrmReport &report)
{
    QCoreApplication::processEvents();
    QVariantAnimation *animation = report.zoomAnimation();
    if (animation->state() == QAbstractAnimation::Running)
        animation->setCurrentTime(animation->duration());
}

QPalette darkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2a, 0x2e, 0x32));
    dark.setColor(QPalette::WindowText, QColor(0xfc, 0xfc, 0xfc));
    dark.setColor(QPalette::Base, QColor(0x1b, 0x1e, 0x20));
    dark.setColor(QPalette::AlternateBase, QColor(0x23, 0x26, 0x29));
    dark.setColor(QPalette::Text, QColor(0xfc, 0xfc, 0xfc));
    dark.setColor(QPalette::Button, QColor(0x31, 0x36, 0x3b));
    dark.setColor(QPalette::ButtonText, QColor(0xfc, 0xfc, 0xfc));
    dark.setColor(QPalette::ToolTipBase, QColor(0x31, 0x36, 0x3b));
    dark.setColor(QPalette::ToolTipText, QColor(0xfc, 0xfc, 0xfc));
    return dark;
}

// How many pixels of the picture are about this grey.
int pixelsNear(const QImage &image, int grey)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += std::abs(qGray(image.pixel(x, y)) - grey) < 12 ? 1 : 0;
    return n;
}

} // namespace

class TestReportKeys : public QObject {
    Q_OBJECT

private:
    static void fill(TFrmReport &report)
    {
        report.BeginReport(QStringLiteral("Gross report"), QStringLiteral("Gross"));
        for (int d = 1; d <= 28; ++d)
            report.AddDayPoint({2021, 2, std::uint16_t(d)}, d % 5 * 10.0);
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void theKeyboardOpensTheMenuAtThePlot_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Shift+F10") << int(Qt::Key_F10) << int(Qt::ShiftModifier);
        QTest::newRow("Menu key") << int(Qt::Key_Menu) << int(Qt::NoModifier);
    }
    void theKeyboardOpensTheMenuAtThePlot()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        TFrmReport report;
        fill(report);
        showAndSettle(report);
        report.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&report));
        report.chartView()->setFocus();
        QTest::keyClick(report.chartView(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QTRY_VERIFY(QApplication::activePopupWidget() == report.contextMenu());
        QMenu *menu = report.contextMenu();
        const QRect plot(report.chartView()->viewport()->mapToGlobal(
                             report.chartView()->mapFromScene(report.chart()->plotArea().topLeft())),
                         report.chart()->plotArea().size().toSize());
        QVERIFY2(plot.contains(menu->geometry().topLeft()),
                 qPrintable(QStringLiteral("menu at %1,%2").arg(menu->x()).arg(menu->y())));
        QCOMPARE(menu->geometry().topLeft(), report.plotCentre());
        menu->close();
    }

    // + and - zoom in and out about the middle, Ctrl+0 shows the whole report again.
    void plusAndMinusZoom()
    {
        TFrmReport report;
        fill(report);
        showAndSettle(report);
        report.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&report));
        const double whole = dateSpan(report);
        QTest::keyClick(report.chartView(), Qt::Key_Plus);
        finishZoom(report);
        QTRY_VERIFY(dateSpan(report) < whole * 0.6);
        const double zoomed = dateSpan(report);
        QTest::keyClick(report.chartView(), Qt::Key_Minus);
        finishZoom(report);
        QTRY_VERIFY(dateSpan(report) > zoomed * 1.5);
        QTest::keyClick(report.chartView(), Qt::Key_Plus);
        finishZoom(report);
        QTRY_VERIFY(dateSpan(report) < whole * 0.6);
        QTest::keyClick(report.chartView(), Qt::Key_0, Qt::ControlModifier);
        finishZoom(report);
        QTRY_COMPARE(dateSpan(report), whole);
    }

    // Show data (Ctrl+D) lists the points beside the chart: a table of date and value that the
    // keyboard and a screen reader walk cell by cell.
    void showDataListsThePointsAsATable()
    {
        TFrmReport report;
        report.BeginReport(QStringLiteral("Quantity report"), QStringLiteral("Quantity"));
        report.AddMonthPoint({2021, 3, 1}, 7);
        report.AddMonthPoint({2021, 1, 1}, 1234.5);
        report.AddMonthPoint({2021, 2, 1}, 0);
        showAndSettle(report);
        QTableView *table = report.dataTable();
        QVERIFY(!table->isVisible());
        report.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&report));
        QTest::keyClick(report.chartView(), Qt::Key_D, Qt::ControlModifier);
        QTRY_VERIFY(table->isVisible());
        QCOMPARE(QApplication::focusWidget(), table);
        QVERIFY(report.chartView()->accessibleDescription().contains(QStringLiteral("3 points")));

        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(table);
        QVERIFY(iface != nullptr);
        QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Report data"));
        QAccessibleTableInterface *cells = iface->tableInterface();
        QVERIFY(cells != nullptr);
        QCOMPARE(cells->rowCount(), 3);
        QCOMPARE(cells->columnCount(), 2);
        QCOMPARE(cells->columnDescription(0), QStringLiteral("Date"));
        QCOMPARE(cells->columnDescription(1), QStringLiteral("Quantity"));
        const QStringList expected{"2021-1", "1,234.5", "2021-2", "0", "2021-3", "7"};
        QStringList read;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 2; ++c)
                read << cells->cellAt(r, c)->text(QAccessible::Name);
        QCOMPARE(read, expected);
        QCOMPARE(table->currentIndex().row(), 0);
        QTest::keyClick(table, Qt::Key_Down);
        QCOMPARE(table->currentIndex().row(), 1);

        // A new report refills it.
        report.BeginReport(QStringLiteral("Gross report"), QStringLiteral("Gross"));
        report.AddDayPoint({2021, 5, 4}, 10);
        QCOMPARE(report.points().size(), 1);
        QCOMPARE(table->model()->rowCount(), 1);
        QCOMPARE(table->model()->index(0, 0).data().toString(), QStringLiteral("5/4/2021"));
        QCOMPARE(table->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Gross"));
        report.actionShowData()->trigger();
        QVERIFY(!table->isVisible());
    }

    void theChartTakesTheApplicationsColours_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    // Background, title and labels as the palette has them; the line stays red, the marks legible.
    void theChartTakesTheApplicationsColours()
    {
        QFETCH(bool, dark);
        const QPalette before = QApplication::palette();
        const QPalette colours = dark ? darkPalette() : QApplication::style()->standardPalette();
        QApplication::setPalette(colours);
        TFrmReport report;
        report.BeginReport(QStringLiteral("Gross report"), QStringLiteral("Gross"));
        for (int m = 1; m <= 6; ++m)
            report.AddMonthPoint({2021, std::uint16_t(m), 1}, m * 10.0);
        const QImage image =
            render(report, dark ? QStringLiteral("report-dark") : QStringLiteral("report-light"));
        QApplication::setPalette(before);

        const int base = qGray(colours.color(QPalette::Base).rgb());
        const int text = qGray(colours.color(QPalette::Text).rgb());
        // Most of the chart is its background; the title, labels and marks' text in the text colour.
        QVERIFY2(pixelsNear(image, base) > image.width() * image.height() / 2,
                 qPrintable(QString::number(pixelsNear(image, base))));
        QVERIFY(pixelsNear(image, text) > 200);
        QVERIFY(countRedPixels(image) > 100);
        QCOMPARE(qGray(image.pixel(5, 5)), base);
        QCOMPARE(report.chart()->titleBrush().color(), colours.color(QPalette::Text));

        // A change of palette while the window is open is followed at once.
        QApplication::setPalette(dark ? QApplication::style()->standardPalette() : darkPalette());
        QTRY_VERIFY(report.chart()->backgroundBrush().color() != colours.color(QPalette::Base));
        QApplication::setPalette(before);
    }
};

QTEST_MAIN(TestReportKeys)
#include "test_report_keys.moc"
