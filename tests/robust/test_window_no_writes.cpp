// The real main window, offscreen, leaves history files as they were: start-up loads the folder, an
// import adds a file from elsewhere, every search and every report runs, and afterwards each file has
// the same bytes, size and modification time. The test also runs under strace (see CMakeLists.txt),
// which checks that no history file was opened for writing.
#include "Dlg_date.h"
#include "Frm_main.h"
#include "Frm_report.h"

#include "../reports/report_test_util.h"
#include "../unit/history_text.h"

#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>

#include <map>
#include <memory>

using testing_history::header_line;
using testing_history::sale;

namespace {

struct Tfile_state {
    QByteArray bytes;
    qint64 size = 0;
    struct timespec modified {};
};

Tfile_state stateOf(const QString &path)
{
    Tfile_state s;
    QFile f(path);
    if (f.open(QIODevice::ReadOnly))
        s.bytes = f.readAll();
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        s.size = st.st_size;
        s.modified = st.st_mtim;
    }
    return s;
}

void writeFile(const QString &path, const std::string &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    f.close();
    // An old time, so that any write would show as a new one.
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
}

} // namespace

class TestWindowNoWrites : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyCommandLeavesTheFilesAsTheyWere();
};

void TestWindowNoWrites::everyCommandLeavesTheFilesAsTheyWere()
{
    // A fixed folder, so that the trace around this program can be searched for its files.
    const QString root = QString::fromLocal8Bit(qgetenv("QV_NOWRITE_DIR"));
    QVERIFY2(!root.isEmpty(), "QV_NOWRITE_DIR is not set");
    QDir(root).removeRecursively();
    QVERIFY(QDir().mkpath(root + "/start"));
    QVERIFY(QDir().mkpath(root + "/other"));
    const QStringList files = {root + "/start/2023.csv", root + "/start/2024.csv",
                               root + "/other/import.csv"};
    writeFile(files[0], header_line + sale("A1", "1/5/2023", "10.00") + sale("A2", "2/5/2023", "5.00"));
    writeFile(files[1], header_line + sale("B1", "3/5/2024", "7.00", "3"));
    writeFile(files[2], header_line + sale("a1", "4/5/2024", "9.00") + sale("C1", "5/5/2024", "1.00"));
    std::map<QString, Tfile_state> before;
    for (const QString &f : files)
        before[f] = stateOf(f);

    const QString startDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(root + "/start"));
    auto main = std::make_unique<TFrmMain>();
    FrmReport = new TFrmReport(main.get());
    DlgDate = new TDlgDate(main.get());
    main->show();
    QCOMPARE(main->records->count(), std::size_t{3});

    main->ImportFiles({files[2]});
    QCOMPARE(main->records->count(), std::size_t{4});

    for (const qv_search_field field :
         {qv_search_field::trans_id, qv_search_field::from_email, qv_search_field::name})
        main->SearchRecords(field, QStringLiteral("1"));
    main->ShowAllRecords();

    using Report = void (TFrmMain::*)();
    for (const Report report :
         {&TFrmMain::actReportQuantityMonthExecute, &TFrmMain::actReportGrossMonthExecute,
          &TFrmMain::actReportQuantityDayExecute, &TFrmMain::actReportQGrossDayExecute}) {
        bool dates = false;
        bool shown = false;
        auto answer = whenModal<TDlgDate>([&dates](TDlgDate *dialog) {
            dates = true;
            dialog->findChild<QDateEdit *>("dtFrom")->setDate(QDate(2023, 1, 1));
            dialog->findChild<QDateEdit *>("dtTo")->setDate(QDate(2024, 12, 31));
            QTest::mouseClick(dialog->findChild<QPushButton *>("btnOK"), Qt::LeftButton);
        });
        auto close = whenModal<TFrmReport>([&shown](TFrmReport *window) {
            shown = true;
            window->close();
        });
        (main.get()->*report)();
        QVERIFY(dates);
        QVERIFY(shown);
    }

    main.reset(); // closes the window and frees the store
    FrmReport = nullptr;
    DlgDate = nullptr;
    QDir::setCurrent(startDir);

    for (const auto &[path, was] : before) {
        const Tfile_state now = stateOf(path);
        QVERIFY2(now.bytes == was.bytes, qPrintable(path));
        QCOMPARE(now.size, was.size);
        QCOMPARE(now.modified.tv_sec, was.modified.tv_sec);
        QCOMPARE(now.modified.tv_nsec, was.modified.tv_nsec);
    }
    QCOMPARE(QDir(root + "/start").entryList(QDir::Files).size(), 2);
}

QTEST_MAIN(TestWindowNoWrites)
#include "test_window_no_writes.moc"
