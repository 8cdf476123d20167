// The report actions of the main window, driven like a user: the Report menu's actions, the date range
// dialog and the report window answered by timers, over history files loaded at start-up.
#include "Bcl.h"
#include "Dlg_date.h"
#include "Frm_main.h"
#include "Frm_report.h"
#include "report_test_util.h"

#include "../unit/history_text.h"
#include "../window/main_window_fixture.h"

#include <QAction>
#include <QChart>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineSeries>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <memory>
#include <thread>

using testing_history::sale;

namespace {

// What the report window held when it was shown.
struct ShownReport {
    bool shown = false;
    QString title;
    QList<QPointF> points;
};

// Answers the date range dialog with from and to (OK), or cancels it when from is null.
ModalWatch answerDates(QDate from, QDate to, bool *asked = nullptr)
{
    return whenModal<TDlgDate>([from, to, asked](TDlgDate *dialog) {
        if (asked != nullptr)
            *asked = true;
        if (from.isNull()) {
            QTest::mouseClick(dialog->findChild<QPushButton *>("btnCancel"), Qt::LeftButton);
            return;
        }
        dialog->findChild<QDateEdit *>("dtFrom")->setDate(from);
        dialog->findChild<QDateEdit *>("dtTo")->setDate(to);
        QTest::mouseClick(dialog->findChild<QPushButton *>("btnOK"), Qt::LeftButton);
    });
}

// Records what the report window shows, renders it into artefacts/name.png and closes it.
ModalWatch watchReport(ShownReport *seen, const QString &name)
{
    return whenModal<TFrmReport>([seen, name](TFrmReport *report) {
        seen->shown = true;
        seen->title = report->chart()->title();
        seen->points = report->points();
        if (!layoutSettled(*report)) // the picture below shows it; the report must close all the same
            qWarning("the report's layout did not settle");
        report->chartView()->grab().save(QStringLiteral(QV_REPORT_ARTEFACTS "/action_%1.png").arg(name));
        report->close();
    });
}

} // namespace

class TestReportActions : public QObject, private TMainWindowFixture {
    Q_OBJECT

private:
    // Starts the main window, with its report window and date range dialog, in a folder that holds text
    // as a history file (none for empty text).
    void start(const std::string &text)
    {
        FrmReport = nullptr;
        DlgDate = nullptr;
        main_.reset();
        emptyFolder();
        if (!text.empty())
            QVERIFY(!write(QStringLiteral("history.csv"), text).isEmpty());
        TMainWindowFixture::start([this] {
            FrmReport = new TFrmReport(main_.get());
            DlgDate = new TDlgDate(main_.get());
        });
    }

    // The action of that name while it is enabled.
    QAction *action(const char *name) const
    {
        auto *found = main_->findChild<QAction *>(name);
        return found != nullptr && found->isEnabled() ? found : nullptr;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        enterFixture();
    }

    void cleanupTestCase() { leaveFixture(); }

    void anEmptyStoreIsReportedAfterTheDialogForMonthsAndBeforeItForDays_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("dialogFirst");
        QTest::newRow("quantity per month") << "actReportQuantityMonth" << true;
        QTest::newRow("gross per month") << "actReportGrossMonth" << true;
        QTest::newRow("quantity per day") << "actReportQuantityDay" << false;
        QTest::newRow("gross per day") << "actReportQGrossDay" << false;
    }

    void anEmptyStoreIsReportedAfterTheDialogForMonthsAndBeforeItForDays()
    {
        QFETCH(QString, name);
        QFETCH(bool, dialogFirst);
        start({});
        bool asked = false;
        SeenBox box;
        ShownReport report;
        const ModalWatch dates = answerDates(QDate(2009, 1, 1), QDate(2009, 12, 31), &asked);
        const ModalWatch message = answerNextMessageBox(&box);
        const ModalWatch window = watchReport(&report, name);
        QVERIFY(action(qPrintable(name)));
        action(qPrintable(name))->trigger();
        QCOMPARE(asked, dialogFirst);
        QVERIFY(box.seen);
        QCOMPARE(box.text, QStringLiteral("No records to be reported."));
        QCOMPARE(box.caption, QStringLiteral("Information"));
        QVERIFY(!report.shown);
    }

    // The walk of a report runs behind a progress dialog with Cancel; a cancelled report shows no window.
    // The walk is held until Cancel is pressed, so that it cannot end before.
    void aCancelledReportShowsNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("gross per month") << "actReportGrossMonth";
        QTest::newRow("quantity per day") << "actReportQuantityDay";
    }

    void aCancelledReportShowsNothing()
    {
        QFETCH(QString, name);
        start(sale("T1", "1/10/2009", "10.00", "1") + sale("T2", "3/5/2009", "4.25", "3"));
        main_->setBusyDialogDelay(0);
        bcl_set_busy_start([](const Tbcl_busy &busy) {
            while (!busy.cancel.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        QString label;
        QTimer watch;
        watch.setInterval(0);
        connect(&watch, &QTimer::timeout, [&] {
            if (auto *dialog = main_->findChild<QProgressDialog *>(QStringLiteral("ReportProgress"))) {
                label = dialog->labelText();
                dialog->cancel();
            }
        });
        watch.start();
        ShownReport report;
        {
            const ModalWatch dates = answerDates(QDate(2009, 1, 1), QDate(2009, 12, 31));
            const ModalWatch window = watchReport(&report, name + QStringLiteral("-cancelled"));
            action(qPrintable(name))->trigger();
        }
        watch.stop();
        bcl_set_busy_start({});
        QCOMPARE(label, QStringLiteral("Adding up the report"));
        QVERIFY(!report.shown);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        // Not cancelled, through the same dialog: the report shows.
        const ModalWatch dates = answerDates(QDate(2009, 1, 1), QDate(2009, 12, 31));
        const ModalWatch window = watchReport(&report, name);
        action(qPrintable(name))->trigger();
        QVERIFY(report.shown);
        QCOMPARE(report.points.size(), 2);
    }

    void monthReportTotalsTheMonthsOfTheRange()
    {
        start(sale("T1", "1/10/2009", "10.00", "1") + sale("T2", "1/20/2009", "-2.50", "2") +
              sale("T3", "3/5/2009", "4.25", "3") + sale("T4", "4/1/2009", "99.00", "9"));
        for (const auto &[name, value] :
             {std::pair{"actReportGrossMonth", 7.5}, {"actReportQuantityMonth", 3.0}}) {
            ShownReport report;
            const ModalWatch dates = answerDates(QDate(2009, 1, 1), QDate(2009, 3, 31));
            const ModalWatch window = watchReport(&report, QString::fromLatin1(name));
            action(name)->trigger();
            QVERIFY(report.shown);
            QCOMPARE(report.points.size(), 2);
            QCOMPARE(report.points.first(), QPointF(dayX(2009, 1, 1), value));
            QCOMPARE(report.points.last().x(), dayX(2009, 3, 1));
        }
        // The window keeps the last report, once, with its title alone.
        QCOMPARE(FrmReport->chart()->title(), QStringLiteral("Quantity report"));
        QCOMPARE(FrmReport->points().size(), 2);
    }

    void dayReportPlotsEveryRecordOfTheRange()
    {
        start(sale("T1", "6/16/2009", "10.00", "-1") + sale("T2", "6/16/2009", "1.50", "2") +
              sale("T3", "6/16/2009", "3.00", "3") + sale("T4", "6/17/2009", "5.00", "4"));
        ShownReport report;
        const ModalWatch dates = answerDates(QDate(2009, 6, 16), QDate(2009, 6, 16));
        const ModalWatch window = watchReport(&report, QStringLiteral("quantity_per_day"));
        action("actReportQuantityDay")->trigger();
        QVERIFY(report.shown);
        QCOMPARE(report.title, QStringLiteral("Quantity report"));
        QCOMPARE(report.points,
                 (QList<QPointF>{{dayX(2009, 6, 16), -1}, {dayX(2009, 6, 16), 2}, {dayX(2009, 6, 16), 3}}));
    }

    void aCancelledDialogShowsNothing()
    {
        start(sale("T1", "6/16/2009", "10.00"));
        FrmReport->BeginReport(QStringLiteral("Old"), QStringLiteral("Old"));
        FrmReport->AddDayPoint({2001, 1, 1}, 1);
        ShownReport report;
        const ModalWatch dates = answerDates(QDate(), QDate());
        const ModalWatch window = watchReport(&report, QStringLiteral("cancelled"));
        action("actReportGrossMonth")->trigger();
        QVERIFY(!report.shown);
        QCOMPARE(FrmReport->chart()->title(), QStringLiteral("Old"));
        QCOMPARE(FrmReport->points().size(), 1);
    }

    // A date that is no calendar date is told when its file loads, and its record loads without a date:
    // it falls in no report's range, and the report of the others is shown.
    void anImpossibleDateIsToldAtLoadAndLeftOutOfTheReport()
    {
        SeenBox loaded;
        {
            const ModalWatch problems = answerNextMessageBox(&loaded);
            start(sale("T1", "1/15/2023", "1.00") + sale("T2", "2/30/2023", "2.00"));
        }
        QVERIFY(loaded.seen);
        QVERIFY2(loaded.text.contains(
                     QStringLiteral("1 value could not be read; their records loaded without them:")),
                 qPrintable(loaded.text));
        ShownReport report;
        const ModalWatch dates = answerDates(QDate(2023, 1, 1), QDate(2023, 3, 31));
        const ModalWatch window = watchReport(&report, QStringLiteral("impossible_date"));
        action("actReportQGrossDay")->trigger();
        QVERIFY(report.shown);
        QCOMPARE(report.points, (QList<QPointF>{{dayX(2023, 1, 15), 1}}));
    }

    void searchesAndSortsDoNotChangeAReport()
    {
        start(sale("T1", "1/10/2009", "10.00") + sale("T2", "1/20/2009", "-2.50") +
              sale("X3", "2/5/2009", "4.00"));
        const auto run = [this] {
            ShownReport report;
            const ModalWatch dates = answerDates(QDate(2009, 1, 1), QDate(2009, 2, 28));
            const ModalWatch window = watchReport(&report, QStringLiteral("after_search"));
            action("actReportGrossMonth")->trigger();
            return report.points;
        };
        const QList<QPointF> before = run();
        QCOMPARE(before, (QList<QPointF>{{dayX(2009, 1, 1), 7.5}, {dayX(2009, 2, 1), 4}}));

        // Narrow the list to the IDs holding "X", then sort it by another column.
        const ModalWatch typed = whenModal<QInputDialog>([](QInputDialog *input) {
            input->setTextValue(QStringLiteral("X"));
            input->accept();
        });
        QVERIFY(action("actSearchTransId"));
        action("actSearchTransId")->trigger();
        QCOMPARE(main_->listModel()->rowCount(), 1);
        for (QHeaderView *header : main_->findChildren<QHeaderView *>())
            if (header->orientation() == Qt::Horizontal && header->count() > 2)
                QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                                  QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
        QCOMPARE(run(), before);
    }
};

QTEST_MAIN(TestReportActions)
#include "test_report_actions.moc"
