// What a desktop program adds, offscreen: the command line, the list's export read back by Python's csv
// module, the overwrite question and the files never written over, Ctrl+C in the list and the detail
// pane, the report data's CSV, and the pictures at 200 %.
#include "App_command_line.h"
#include "Bcl.h"
#include "Dlg_date.h"
#include "Frm_main.h"
#include "Frm_report.h"
#include "main_window_fixture.h"

#include "../reports/report_test_util.h"
#include "../unit/history_text.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <QDate>
#include <QSettings>
#include <QStatusBar>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <optional>

using testing_history::header_line;
using testing_history::line;
using testing_history::sale;

Q_DECLARE_METATYPE(TCommandLine::Action)

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What one save dialog showed and did: its folder and proposed name when it opened, whether it asked
// to replace the file, the refusal it showed (an error box while it stays open), and whether it was
// still open after the name was taken.
struct SaveDialogSeen {
    QString folder;
    QString name;
    bool asked = false;
    SeenBox refusal;
    bool stayedOpen = false;
};

// Chooses path in the next save dialog (the proposed name when path is empty), as a user types it;
// a replace question is answered with replace (Yes or No). When box is given, the message box that
// follows the dialog (an error) is answered and recorded there. A picture of the dialog as it opened
// is kept under picture, when given.
ModalWatch chooseInSaveDialog(const QString &path, SaveDialogSeen *seen = nullptr, bool replace = true,
                              SeenBox *box = nullptr, std::optional<ModalWatch> *boxWatch = nullptr,
                              const QString &picture = {})
{
    return whenModal<QFileDialog>([=](QFileDialog *d) {
        QCOMPARE(d->acceptMode(), QFileDialog::AcceptSave);
        auto *name = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(name != nullptr);
        if (seen != nullptr) {
            seen->folder = d->directory().path();
            seen->name = name->text();
        }
        if (!picture.isEmpty())
            d->grab().save(QStringLiteral(QV_REPORT_ARTEFACTS "/%1.png").arg(picture));
        // The replace question (Yes, No) or a refusal (OK) is a box of its own, opened inside accept().
        auto *answer = new ModalWatch(whenModal<QMessageBox>([seen, replace](QMessageBox *b) {
            if (QAbstractButton *yes = b->button(QMessageBox::Yes)) {
                if (seen != nullptr)
                    seen->asked = true;
                (replace ? yes : b->button(QMessageBox::No))->click();
                return;
            }
            if (seen != nullptr) {
                seen->refusal.text = b->text();
                seen->refusal.seen = true;
            }
            b->accept();
        }));
        if (!path.isEmpty())
            name->setText(path);
        static_cast<QDialog *>(d)->accept(); // public in QDialog, dispatched to the file dialog
        if (d->isVisible()) {
            if (seen != nullptr)
                seen->stayedOpen = true;
            d->reject();
        }
        delete answer;
        if (box != nullptr)
            boxWatch->emplace(answerNextMessageBox(box));
    });
}

// The folder an open dialog shows, then the dialog cancelled.
ModalWatch folderOfNextFileDialog(QString *folder)
{
    return whenModal<QFileDialog>([folder](QFileDialog *d) {
        *folder = d->directory().path();
        d->reject();
    });
}

} // namespace

class TestDesktop : public QObject, private TMainWindowFixture {
    Q_OBJECT

private:
    // What the list shows, for the read-back: every row's nine texts in order, and the totals of the
    // shown records' amounts in hundredths.
    QByteArray shownList() const
    {
        const TRecordListModel *model = main_->listModel();
        QJsonArray rows;
        qint64 gross = 0, fee = 0, net = 0, balance = 0;
        for (int r = 0; r < model->rowCount(); ++r) {
            QJsonArray row;
            for (int c = 0; c < TRecordListModel::ColumnCount; ++c)
                row.append(model->data(model->index(r, c)).toString());
            rows.append(row);
            const Tqv_record &rec = main_->records->find(model->text(r, 0))->data;
            gross += rec.gross;
            fee += rec.fee;
            net += rec.net;
            balance += rec.balance;
        }
        const QJsonObject totals{{"gross", gross}, {"fee", fee}, {"net", net}, {"balance", balance}};
        return QJsonDocument(QJsonObject{{"rows", rows}, {"totals", totals}}).toJson();
    }

private Q_SLOTS:
    void initTestCase() { enterFixture(); }

    void init()
    {
        main_.reset();
        emptyFolder();
    }

    void cleanupTestCase() { leaveFixture(); }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<TCommandLine::Action>("action");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("noFolder");
        QTest::addColumn<int>("status");
        using A = TCommandLine::Action;
        QTest::newRow("nothing") << QStringList{} << A::run << QStringList{} << false << -1;
        QTest::newRow("files in order")
            << QStringList{"b.csv", "/x/a.csv"} << A::run << QStringList{"b.csv", "/x/a.csv"} << false << -1;
        QTest::newRow("no folder alone")
            << QStringList{"--no-folder"} << A::run << QStringList{} << true << -1;
        QTest::newRow("no folder after the files") << QStringList{"a.csv", "--no-folder", "b.csv"} << A::run
                                                   << QStringList{"a.csv", "b.csv"} << true << -1;
        QTest::newRow("no folder twice") << QStringList{"--no-folder", "--no-folder", "a.csv"} << A::run
                                         << QStringList{"a.csv"} << true << -1;
        QTest::newRow("after -- no folder is a file")
            << QStringList{"--", "--no-folder"} << A::run << QStringList{"--no-folder"} << false << -1;
        QTest::newRow("no folder with help")
            << QStringList{"--no-folder", "--help"} << A::help << QStringList{} << false << 0;
        QTest::newRow("no folder misspelt")
            << QStringList{"--nofolder", "a.csv"} << A::error << QStringList{} << false << 2;
        QTest::newRow("help") << QStringList{"--help"} << A::help << QStringList{} << false << 0;
        QTest::newRow("short help among files")
            << QStringList{"a.csv", "-h"} << A::help << QStringList{} << false << 0;
        QTest::newRow("version") << QStringList{"--version", "a.csv"} << A::version << QStringList{} << false
                                 << 0;
        QTest::newRow("help wins over a wrong option")
            << QStringList{"-platform", "offscreen", "--help"} << A::help << QStringList{} << false << 0;
        QTest::newRow("unknown option")
            << QStringList{"a.csv", "--frobnicate"} << A::error << QStringList{} << false << 2;
        QTest::newRow("unknown short option") << QStringList{"-x"} << A::error << QStringList{} << false << 2;
        QTest::newRow("empty file name") << QStringList{""} << A::error << QStringList{} << false << 2;
        QTest::newRow("after -- all are files")
            << QStringList{"--", "--help", "-x"} << A::run << QStringList{"--help", "-x"} << false << -1;
        QTest::newRow("a lone dash is a file")
            << QStringList{"-"} << A::run << QStringList{"-"} << false << -1;
        QTest::newRow("Qt's style and its value")
            << QStringList{"-style", "Fusion", "a.csv"} << A::run << QStringList{"a.csv"} << false << -1;
        QTest::newRow("Qt's options with two dashes, '=' and alone")
            << QStringList{"--style=Fusion", "-reverse", "--platform", "xcb", "a.csv", "-qwindowtitle", "T"}
            << A::run << QStringList{"a.csv"} << false << -1;
        QTest::newRow("Qt's option without its value")
            << QStringList{"a.csv", "-style"} << A::error << QStringList{} << false << 2;
        QTest::newRow("bogus") << QStringList{"--bogus"} << A::error << QStringList{} << false << 2;
        QTest::newRow("after -- Qt's options are files")
            << QStringList{"--", "-style", "x"} << A::run << QStringList{"-style", "x"} << false << -1;
    }

    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(TCommandLine::Action, action);
        QFETCH(QStringList, files);
        QFETCH(bool, noFolder);
        QFETCH(int, status);
        std::vector<std::string> given;
        for (const QString &a : args)
            given.push_back(a.toStdString());
        const TCommandLine parsed = qv_parse_command_line(qv_without_qt_options(given));
        QCOMPARE(parsed.action, action);
        QStringList got;
        for (const std::string &f : parsed.files)
            got << QString::fromStdString(f);
        QCOMPARE(got, files);
        QCOMPARE(parsed.noFolder, noFolder);
        std::FILE *out = std::tmpfile();
        std::FILE *err = std::tmpfile();
        QCOMPARE(qv_answer_command_line(parsed, out, err), status);
        std::FILE *written = status == 2 ? err : out;
        const long size = std::ftell(written);
        QCOMPARE(size > 0, status >= 0);
        // The help and the usage line of an error name every option.
        if (action == TCommandLine::Action::help || action == TCommandLine::Action::error) {
            std::string text(static_cast<std::size_t>(size), '\0');
            std::rewind(written);
            QCOMPARE(std::fread(text.data(), 1, text.size(), written), text.size());
            QVERIFY2(text.find("--no-folder") != std::string::npos, text.c_str());
            // An error is one line.
            if (action == TCommandLine::Action::error)
                QVERIFY2(std::count(text.begin(), text.end(), '\n') == 1 && text.back() == '\n',
                         text.c_str());
        }
        std::fclose(out);
        std::fclose(err);
    }

    // The export holds what the list shows, in its order, after a search and a sort, and reads back
    // through Python's csv module with the same texts and totals; the files are all still as they were.
    void exportWritesTheListAsShown()
    {
        const std::string tricky = line({{0, "6/16/2009"},
                                         {1, "7:05:09"},
                                         {3, "Nu\xf1o \x93the\x94 Dan"},
                                         {5, "Completed"},
                                         {6, "1,234.56"},
                                         {7, "-0.50"},
                                         {11, "T1"},
                                         {14, "Vintage 12\" record, mint"},
                                         {9, "Nuno@X.COM"},
                                         {34, "-2,050.79"}});
        const QString a =
            write(QStringLiteral("a.csv"), tricky + sale("T2", "", "9.00") + sale("X3", "1/2/2020", "10.00") +
                                               sale("T4", "2020-12-31", "-0.01"));
        start();
        QCOMPARE(main_->listModel()->rowCount(), 4);
        main_->SearchRecords(qv_search_field::trans_id, QStringLiteral("T"));
        QHeaderView *header = list()->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(5) + 5, header->height() / 2));
        QCOMPARE(main_->listModel()->text(0, 0), "T1"); // gross descending

        QTemporaryDir out;
        const QString exported = out.filePath(QStringLiteral("export.csv"));
        {
            const ModalWatch dialog = chooseInSaveDialog(exported);
            action("actFileExport")->trigger();
        }
        const QByteArray csv = readAll(exported);
        QVERIFY(csv.startsWith("Date,Time,Time Zone,Name,"));
        QVERIFY2(csv.contains("T1,,,\"Vintage 12\"\" record, mint\""), csv.constData());

        QFile expected(out.filePath(QStringLiteral("list.json")));
        QVERIFY(expected.open(QIODevice::WriteOnly));
        expected.write(shownList());
        expected.close();
        QProcess python;
        python.start(QStringLiteral("python3"), {QStringLiteral(QV_READBACK_PATH), QStringLiteral("list"),
                                                 exported, expected.fileName()});
        if (!python.waitForStarted())
            QSKIP("python3 is missing");
        QVERIFY(python.waitForFinished());
        QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
        QVERIFY(python.readAllStandardOutput().startsWith("3 records read back; gross 1243.55,"));
        QVERIFY(QFileInfo::exists(a));
    }

    // Nothing is written without consent, over a loaded file, or in pieces: each refusal or error says
    // why in the error box, and the file keeps its bytes.
    void exportWritesOnlyWithConsentAndNeverOverALoadedFile()
    {
        const QString start = write(QStringLiteral("start.csv"), sale("S1", "1/1/2020", "1.00"));
        QTemporaryDir other;
        const QString imported = other.filePath(QStringLiteral("imported.csv"));
        QFile(write(QStringLiteral("x.csv.tmp"), sale("I1", "1/2/2020", "2.00"))).rename(imported);
        const QString existing = other.filePath(QStringLiteral("old.csv"));
        QFile old(existing);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        this->start();
        main_->ImportFiles({imported});
        QCOMPARE(main_->listModel()->rowCount(), 2);

        const QString pipe = other.filePath(QStringLiteral("pipe.csv"));
        QVERIFY(mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);

        // A loaded file or a pipe is refused while the dialog stays open, before any replace question.
        struct Case {
            const char *what;
            QString path;
            bool replace;    // the answer to the replace question
            bool asked;      // whether it was asked
            QString refusal; // part of the box shown while the dialog stays open, or empty for none
            bool stayedOpen;
            QString error; // part of the error box after the dialog, or empty for none
            bool written;
        } const cases[] = {
            {"existing file, replace declined", existing, false, true, {}, true, {}, false},
            {"the start-up file", start, true, false, "loaded history files", true, {}, false},
            {"the imported file", imported, true, false, "loaded history files", true, {}, false},
            {"a named pipe", pipe, true, false, "not a regular file", true, {}, false},
            {"a missing folder",
             other.filePath(QStringLiteral("gone/new.csv")),
             true,
             false,
             {},
             false,
             "No such file or directory",
             false},
            {"existing file, replace accepted", existing, true, true, {}, false, {}, true},
        };
        for (const Case &c : cases) {
            const bool regular = QFileInfo(c.path).isFile();
            const QByteArray before = regular ? readAll(c.path) : QByteArray();
            SaveDialogSeen seen;
            SeenBox box;
            main_->statusBar()->clearMessage();
            {
                std::optional<ModalWatch> error;
                const ModalWatch dialog = chooseInSaveDialog(c.path, &seen, c.replace, &box, &error);
                action("actFileExport")->trigger();
            }
            QVERIFY2(seen.asked == c.asked, c.what);
            QVERIFY2(seen.refusal.seen == !c.refusal.isEmpty(), c.what);
            QVERIFY2(seen.refusal.text.contains(c.refusal), qPrintable(seen.refusal.text));
            QVERIFY2(seen.stayedOpen == c.stayedOpen, c.what);
            QVERIFY2(box.seen == !c.error.isEmpty(), c.what);
            QVERIFY2(box.text.contains(c.error), qPrintable(box.text));
            if (c.written) {
                QVERIFY2(readAll(c.path).startsWith("Date,Time,"), c.what);
                QCOMPARE(main_->statusBar()->currentMessage(),
                         QStringLiteral("Exported 2 transactions to old.csv"));
            } else {
                QVERIFY2(QFileInfo(c.path).isFile() == regular, c.what);
                QVERIFY2(!regular || readAll(c.path) == before, c.what);
                QVERIFY2(main_->statusBar()->currentMessage().isEmpty(), c.what);
            }
        }
        // A dialog cancelled writes nothing; an empty list is not exported.
        QCOMPARE(QDir(other.path()).entryList(QDir::Files).size(), 2);
        main_->SearchRecords(qv_search_field::trans_id, QStringLiteral("nothing"));
        SeenBox box;
        {
            const ModalWatch info = answerNextMessageBox(&box);
            action("actFileExport")->trigger();
        }
        QCOMPARE(box.text, QStringLiteral("No records to be exported."));
    }

    // Both file dialogs open in the start-up folder, then in the folder of the last import, and in the
    // start-up folder again once that folder is gone: never where Qt's shared settings say some
    // program's dialog was last. The export proposes today's name there; the status bar then says for
    // a few seconds what was written.
    void fileDialogsOpenInTheProgramsOwnFolders()
    {
        QCOMPARE(qv_export_file_name(QDate(2026, 12, 9)), QStringLiteral("history-2026-12-09.csv"));
        QTemporaryDir elsewhere;
        QTemporaryDir visited;
        {
            QSettings shared(QSettings::UserScope, QStringLiteral("QtProject"));
            shared.setValue(QStringLiteral("FileDialog/lastVisited"),
                            QUrl::fromLocalFile(visited.path()).toString());
        }
        write(QStringLiteral("a.csv"), sale("S1", "1/1/2020", "1.00"));
        QVERIFY(QDir(elsewhere.path()).mkdir(QStringLiteral("sub")));
        const QString sub = elsewhere.filePath(QStringLiteral("sub"));
        const QString imported = sub + QStringLiteral("/b.csv");
        QVERIFY(QFile::rename(write(QStringLiteral("b.csv.tmp"), sale("I1", "1/2/2020", "2.00")), imported));
        start();
        const QString proposed = qv_export_file_name(QDate::currentDate());
        const auto same = [](const QString &a, const QString &b) {
            return QFileInfo(a).canonicalFilePath() == QFileInfo(b).canonicalFilePath();
        };

        struct Step {
            const char *what;
            std::function<void()> before;
            QString folder;
        } const steps[] = {
            {"at start", [] {}, folder_.path()},
            {"after an import", [&] { main_->ImportFiles({imported}); }, sub},
            {"once the import's folder is gone", [&] { QVERIFY(QDir(sub).removeRecursively()); },
             folder_.path()},
        };
        for (const Step &step : steps) {
            step.before();
            QString importFolder;
            {
                const ModalWatch watch = folderOfNextFileDialog(&importFolder);
                action("actFileImport")->trigger();
            }
            QVERIFY2(same(importFolder, step.folder), qPrintable(step.what + (": " + importFolder)));
            SaveDialogSeen seen;
            {
                const ModalWatch dialog =
                    chooseInSaveDialog({}, &seen, true, nullptr, nullptr, QStringLiteral("export-dialog"));
                action("actFileExport")->trigger();
            }
            QVERIFY2(same(seen.folder, step.folder), qPrintable(step.what + (": " + seen.folder)));
            QCOMPARE(seen.name, proposed);
            QVERIFY2(QFileInfo(QDir(step.folder).filePath(proposed)).isFile(), step.what);
            QCOMPARE(main_->statusBar()->currentMessage(),
                     QStringLiteral("Exported %1 transaction%2 to %3")
                         .arg(main_->listModel()->rowCount())
                         .arg(main_->listModel()->rowCount() == 1 ? "" : "s", proposed));
        }
        // The message goes after five seconds.
        QTRY_VERIFY_WITH_TIMEOUT(main_->statusBar()->currentMessage().isEmpty(), 7000);
    }

    // Started in a folder whose path is longer than the system takes, the export still opens there
    // with its proposed name and writes the file into it.
    void exportOpensInAStartFolderLongerThanTheSystemTakes()
    {
        const QString top = folder_.filePath(QStringLiteral("long"));
        QVERIFY(QDir().mkpath(top));
        // rm takes a tree deeper than the system's path limit, which QDir cannot.
        const std::unique_ptr<void, std::function<void(void *)>> removeTree(this, [this, top](void *) {
            main_.reset();
            QDir::setCurrent(folder_.path());
            QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), top});
        });
        QVERIFY(::chdir(QFile::encodeName(top).constData()) == 0);
        const std::string step(200, 'd');
        while (std::filesystem::current_path().string().size() <= PATH_MAX) {
            QVERIFY(::mkdir(step.c_str(), 0700) == 0);
            QVERIFY(::chdir(step.c_str()) == 0);
        }
        {
            std::FILE *f = std::fopen("a.csv", "wb");
            QVERIFY(f != nullptr);
            const std::string text = std::string(header_line) + sale("L1", "1/1/2020", "1.00");
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        }
        main_ = std::make_unique<TFrmMain>();
        main_->show();
        QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
        QCOMPARE(main_->listModel()->rowCount(), 1);
        SaveDialogSeen seen;
        SeenBox box;
        {
            std::optional<ModalWatch> error;
            const ModalWatch dialog = chooseInSaveDialog({}, &seen, true, &box, &error,
                                                         QStringLiteral("export-dialog-long-folder"));
            action("actFileExport")->trigger();
        }
        const QString proposed = qv_export_file_name(QDate::currentDate());
        // The dialog names the folder by the link to the program's current folder.
        QCOMPARE(seen.folder, QStringLiteral("/proc/self/cwd"));
        QCOMPARE(seen.name, proposed);
        QVERIFY2(!box.seen, qPrintable(box.text));
        QVERIFY(::access(QFile::encodeName(proposed).constData(), R_OK) == 0);
        // The loaded file there is refused as anywhere else.
        SaveDialogSeen refused;
        {
            const ModalWatch dialog = chooseInSaveDialog(QStringLiteral("a.csv"), &refused);
            action("actFileExport")->trigger();
        }
        QVERIFY2(refused.refusal.text.contains(QStringLiteral("loaded history files")),
                 qPrintable(refused.refusal.text));
    }

    // Beside a small main window in the screen's corner the date range dialog and a message box open
    // whole on the screen.
    void dialogsOpenWholeOnTheScreen()
    {
        write(QStringLiteral("a.csv"), sale("A", "1/1/2020", "1.00"));
        start();
        const QRect room = main_->screen()->availableGeometry();
        main_->resize(200, 150);
        main_->move(room.right() - 205, room.bottom() - 155);
        TDlgDate dates(main_.get());
        QRect datesAt;
        {
            const ModalWatch watch = whenModal<TDlgDate>([&datesAt](TDlgDate *d) {
                datesAt = d->frameGeometry();
                d->reject();
            });
            dates.exec();
        }
        QVERIFY2(room.contains(datesAt), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                        .arg(datesAt.x())
                                                        .arg(datesAt.y())
                                                        .arg(datesAt.width())
                                                        .arg(datesAt.height())));
        QRect boxAt;
        {
            const ModalWatch watch = whenModal<QMessageBox>([&boxAt](QMessageBox *b) {
                boxAt = b->frameGeometry();
                b->accept();
            });
            bcl_show_message(main_.get(), "A message long enough to be wider than the main window beside it.",
                             "Information");
        }
        QVERIFY(room.contains(boxAt));
    }

    void copyTakesTheSelectedRowAndTheDetailText()
    {
        write(QStringLiteral("a.csv"), line({{0, "3/4/2021"},
                                             {1, "5:06:07"},
                                             {5, "Pending"},
                                             {6, "12.50"},
                                             {7, "-0.40"},
                                             {9, "B@X.ORG"},
                                             {11, "C1"},
                                             {14, "Mug\tlarge, \"blue\""},
                                             {34, "100.00"}}) +
                                           sale("C2", "1/1/2020", "1.00"));
        start();
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->setText(QStringLiteral("before"));
        list()->setFocus();
        QTest::keyClick(list(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), QStringLiteral("before")); // no row selected
        list()->selectRow(0);
        QTest::keyClick(list(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(
            clipboard->text(),
            QStringLiteral(
                "C1\t2021-03-04\t05:06:07\tPending\tMug large, \"blue\"\t12.50\t-0.40\t100.00\tb@x.org"));

        auto *detail = main_->findChild<QPlainTextEdit *>("mmDetail");
        QTRY_VERIFY(detail->toPlainText().startsWith(QStringLiteral("Transaction ID: C1")));
        QVERIFY(detail->isReadOnly());
        detail->setFocus();
        QTest::keyClick(detail, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(detail, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), detail->toPlainText());
        QTest::keyClick(detail, Qt::Key_Delete);
        QVERIFY(detail->toPlainText().startsWith(QStringLiteral("Transaction ID: C1")));
    }

    void reportDataIsSavedAsDateValueLines()
    {
        TFrmReport report;
        report.BeginReport(QStringLiteral("Gross report"), QStringLiteral("Gross"));
        report.AddMonthPoint(qv_date{2009, 3, 17}, 7.5);
        report.AddMonthPoint(qv_date{2009, 1, 2}, 1234.56);
        report.AddMonthPoint(qv_date{2009, 12, 31}, -0.1 - 0.2);
        QVERIFY(report.findChild<QMenu *>()->actions().contains(report.actionSaveData()));
        QCOMPARE(report.actionSaveData()->text(), QStringLiteral("Save &data..."));

        QTemporaryDir dir;
        const QString loaded = dir.filePath(QStringLiteral("loaded.csv"));
        QFile(loaded).open(QIODevice::WriteOnly);
        report.setLoadedFiles({QFile::encodeName(loaded).toStdString()});
        QString target;
        TFrmReport::setSaveFileNameHook([&target](QWidget *) { return target; });
        target = dir.filePath(QStringLiteral("month.csv"));
        report.actionSaveData()->trigger();
        QCOMPARE(readAll(target),
                 QByteArray("date,value\r\n2009-01-01,1234.56\r\n2009-03-01,7.5\r\n2009-12-01,-0.3\r\n"));

        report.BeginReport(QStringLiteral("Quantity report"), QStringLiteral("Quantity"));
        report.AddDayPoint(qv_date{2020, 2, 29}, 3);
        report.actionSaveData()->trigger();
        QCOMPARE(readAll(target), QByteArray("date,value\r\n2020-02-29,3\r\n"));

        for (const QString &bad : {loaded, dir.filePath(QStringLiteral("gone/x.csv"))}) {
            target = bad;
            SeenBox box;
            {
                const ModalWatch watch = answerNextMessageBox(&box);
                report.actionSaveData()->trigger();
            }
            QVERIFY2(box.text.startsWith(QStringLiteral("Cannot write the data to ")), qPrintable(box.text));
        }
        QCOMPARE(readAll(loaded), QByteArray());
        TFrmReport::setSaveFileNameHook({});
    }

    // Every menu and tool bar picture has a drawing for 200 %, and the window icon one for each size.
    void picturesAreSharpAtTwiceTheScale()
    {
        write(QStringLiteral("a.csv"), sale("A", "1/1/2020", "1.00"));
        start();
        for (const char *name : {"actFileImport", "actSearchTransId", "actSearchAll", "actHelpWebsite"}) {
            const QList<QSize> sizes = action(name)->icon().availableSizes();
            QVERIFY2(sizes.contains(QSize(32, 32)) && sizes.contains(QSize(64, 64)), name);
        }
        const QIcon appIcon = qv_application_icon();
        for (const int size : {16, 24, 32, 48, 64, 128, 256})
            QVERIFY2(appIcon.availableSizes().contains(QSize(size, size)), qPrintable(QString::number(size)));
    }
};

QTEST_MAIN(TestDesktop)
#include "test_desktop.moc"
