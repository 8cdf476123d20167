// The load's progress dialog offscreen: it follows the bytes read file by file, its Cancel button stops
// the load, the problem box names what was not read, and the window goes on working.
#include "Frm_main.h"
#include "Qv_load.h"

#include "../reports/report_test_util.h"
#include "../unit/history_text.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLocale>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using testing_history::header_line;
using testing_history::sale;

class TestLoadProgress : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;

    QString write(const QString &name, int first, int count)
    {
        QFile file(folder_.filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            return {};
        std::string text = header_line;
        for (int i = first; i < first + count; ++i)
            text += sale("P" + std::to_string(i), "1/2/2021", "3.00");
        file.write(text.data(), static_cast<qint64>(text.size()));
        return file.fileName();
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(folder_.isValid()); }

    void theFractionFollowsFilesAndBytes()
    {
        const std::string name = "f.csv";
        struct Tcase {
            std::uint64_t read, total;
            std::size_t number, count;
            double expected;
        };
        const Tcase cases[] = {
            {0, 100, 1, 1, 0.0},   {50, 100, 1, 1, 0.5}, {100, 100, 1, 1, 1.0}, {0, 0, 2, 4, 0.25},
            {30, 60, 2, 4, 0.375}, {90, 60, 4, 4, 1.0},  {0, 0, 1, 0, 0.0},
        };
        for (const Tcase &c : cases) {
            const qv_load_state state{name, c.read, c.total, 0, c.number, c.count};
            QCOMPARE(qv_load_fraction(state), c.expected);
        }
    }

    // Cancelled in the second of three files: the first file's records and the second's lines read
    // so far are listed, the box names the file cut short and the file never opened, and a later
    // import works as usual.
    void cancelStopsTheLoadAndKeepsWhatLoaded()
    {
        QVERIFY(QDir::setCurrent(folder_.path()));
        TFrmMain main;
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        main.setLoadDialogDelay(0);
        const QString first = write(QStringLiteral("a.csv"), 0, 10);
        // The dialog changes at most every 25 ms: the second file takes long enough, in blocks small
        // enough, that it is seen part read on a fast machine too (an optimised build reads it in a
        // tenth of a second).
        const QString second = write(QStringLiteral("b.csv"), 1000, 200000);
        const QString third = write(QStringLiteral("c.csv"), 300000, 10);
        QVERIFY(QFileInfo(second).size() > 16 * (1 << 20));
        qv_load_set_block_size(1 << 18);
        const struct Trestore {
            ~Trestore() { qv_load_set_block_size(0); }
        } restore;

        // Watches the progress dialog and cancels it once the second file is partly read.
        QList<int> values;
        QString label;
        QTimer watch;
        watch.setInterval(0);
        connect(&watch, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
            if (dialog == nullptr || dialog->wasCanceled())
                return;
            values << dialog->value();
            if (dialog->labelText().contains(QStringLiteral("b.csv")) &&
                dialog->value() > dialog->maximum() / 3) {
                label = dialog->labelText();
                // The count is this file's records, not those of a.csv before it; the title is whole.
                const QString count = label.section(QLatin1Char('\n'), 1).section(QLatin1Char(' '), 0, 0);
                QCOMPARE(QLocale().toULongLong(count), qulonglong(main.records->count() - 10));
                QVERIFY(dialog->width() >=
                        QFontMetrics(QApplication::font()).horizontalAdvance(dialog->windowTitle()) + 200);
                dialog->grab().save(QStringLiteral(QV_REPORT_ARTEFACTS "/load-progress.png"));
                QVERIFY(dialog->findChild<QPushButton *>() != nullptr);
                dialog->cancel();
            }
        });
        watch.start();
        SeenBox box;
        const ModalWatch answer = answerNextMessageBox(&box);
        main.ImportFiles({first, second, third});
        watch.stop();

        QVERIFY2(label.startsWith(QStringLiteral("Loading b.csv (2 of 3)")), qPrintable(label));
        QVERIFY(std::is_sorted(values.begin(), values.end()));
        QVERIFY(box.seen);
        QVERIFY2(
            box.text.contains(QStringLiteral("b.csv: not fully read: the load was cancelled after line ")),
            qPrintable(box.text));
        QVERIFY2(box.text.contains(QStringLiteral("c.csv: not read: the load was cancelled")),
                 qPrintable(box.text));
        const std::size_t listed = static_cast<std::size_t>(main.listModel()->rowCount());
        QCOMPARE(listed, main.records->count());
        QVERIFY(listed > 10 && listed < 200010);
        QVERIFY(main.records->find("P9") != nullptr);
        QVERIFY(main.records->find("P300000") == nullptr);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

        main.ImportFiles({third});
        QVERIFY(main.records->find("P300000") != nullptr);
        QCOMPARE(static_cast<std::size_t>(main.listModel()->rowCount()), listed + 10);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }
};

QTEST_MAIN(TestLoadProgress)
#include "test_load_progress.moc"
