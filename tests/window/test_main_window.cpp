// The main window offscreen: start-up folders, import, search, the detail pane, sorting and the view
// switches, with every modal box answered by a timer and its text checked.
#include "Bcl.h"
#include "Frm_main.h"
#include "main_window_fixture.h"

#include "../reports/report_test_util.h"
#include "../unit/history_text.h"

#include <QAbstractItemModelTester>
#include <QAbstractItemView>
#include <QAction>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using testing_history::header_line;
using testing_history::line;
using testing_history::sale;

namespace {

// Answers the next search box with text (OK), or cancels it when text is null.
ModalWatch answerSearch(const QString &text, QString *prompt = nullptr)
{
    return whenModal<QInputDialog>([text, prompt](QInputDialog *box) {
        if (prompt != nullptr)
            *prompt = box->labelText();
        QCOMPARE(box->windowTitle(), QStringLiteral("Search"));
        if (text.isNull()) {
            box->reject();
            return;
        }
        box->setTextValue(text);
        box->accept();
    });
}

// Types text into the next search box and confirms it with the Enter key, as a user does: the dialog
// closes on the press, so the key's release goes to whatever has the focus afterwards.
ModalWatch confirmSearchWithEnter(const QString &text)
{
    return whenModal<QInputDialog>([text](QInputDialog *box) {
        auto *edit = box->findChild<QLineEdit *>();
        QVERIFY(edit != nullptr);
        (void)QTest::qWaitForWindowActive(box, 30000);
        QTest::keyClicks(edit, text);
        QTest::keyPress(edit, Qt::Key_Return);
        if (box->isVisible())
            box->reject(); // the test fails later instead of waiting for ever
    });
}

// Holds the next work behind a progress dialog until its Cancel is pressed, so that it cannot end
// before, and presses the Cancel of the dialog named name; *label is what the dialog said.
struct CancelNextBusy {
    QTimer watch;
    CancelNextBusy(TFrmMain *main, const char *name, QString *label)
    {
        main->setBusyDialogDelay(0);
        bcl_set_busy_start([](const Tbcl_busy &busy) {
            while (!busy.cancel.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        watch.setInterval(0);
        QObject::connect(&watch, &QTimer::timeout, [main, name, label] {
            if (auto *dialog = main->findChild<QProgressDialog *>(QString::fromLatin1(name))) {
                *label = dialog->labelText();
                dialog->grab().save(QStringLiteral(QV_REPORT_ARTEFACTS "/%1.png").arg(QLatin1String(name)));
                dialog->cancel();
            }
        });
        watch.start();
    }
    ~CancelNextBusy() { bcl_set_busy_start({}); }
    CancelNextBusy(const CancelNextBusy &) = delete;
    CancelNextBusy &operator=(const CancelNextBusy &) = delete;
};

// Whether the sort arrow in section points up: the arrow is what is clearly darker than in the section
// drawn without it, and an arrow that points up is wider at its foot than at its tip.
bool arrowPointsUp(const QImage &with, const QImage &without, QRect section, bool *found)
{
    int firstRowWidth = -1, lastRowWidth = -1;
    for (int y = section.top(); y <= section.bottom(); ++y) {
        int left = -1, right = -1;
        for (int x = section.left(); x <= section.right(); ++x) {
            if (qGray(with.pixel(x, y)) < qGray(without.pixel(x, y)) - 60) {
                if (left < 0)
                    left = x;
                right = x;
            }
        }
        if (left < 0)
            continue;
        if (firstRowWidth < 0)
            firstRowWidth = right - left;
        lastRowWidth = right - left;
    }
    *found = firstRowWidth >= 0 && firstRowWidth != lastRowWidth;
    return lastRowWidth > firstRowWidth;
}

// What the load-problem box showed, and where, before it was answered.
struct SeenProblems {
    QString text;
    QString details;
    QString caption;
    QRect geometry;
    QRect ownerGeometry;
    QRect okButton;
    bool detailsUnwrapped = false;
    bool textWraps = true;
    bool seen = false;
};

// Answers the next error box with OK; with a picture name, first opens its details and keeps a
// picture of it in the artefacts.
ModalWatch answerProblemBox(SeenProblems *seen, const QString &picture = {})
{
    return whenModal<QMessageBox>([seen, picture](QMessageBox *box) {
        seen->seen = true;
        seen->text = box->text();
        seen->details = box->detailedText();
        seen->caption = box->windowTitle();
        seen->geometry = box->frameGeometry();
        if (box->parentWidget() != nullptr)
            seen->ownerGeometry = box->parentWidget()->geometry();
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            seen->okButton = QRect(ok->mapToGlobal(QPoint(0, 0)), ok->size());
        if (auto *edit = box->findChild<QTextEdit *>())
            seen->detailsUnwrapped = edit->lineWrapMode() == QTextEdit::NoWrap;
        if (auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label")))
            seen->textWraps = label->wordWrap();
        if (!picture.isEmpty()) {
            for (QAbstractButton *button : box->buttons()) {
                if (box->buttonRole(button) == QMessageBox::ActionRole)
                    button->click();
            }
            QApplication::processEvents();
            box->grab().save(QStringLiteral(QV_REPORT_ARTEFACTS "/%1.png").arg(picture));
        }
        box->accept();
    });
}

} // namespace

class TestFrmMain : public QObject, private TMainWindowFixture {
    Q_OBJECT

private:
    QPlainTextEdit *detail() const { return main_->findChild<QPlainTextEdit *>("mmDetail"); }

    QStringList column(int c) const
    {
        QStringList out;
        const TRecordListModel *model = main_->listModel();
        for (int r = 0; r < model->rowCount(); ++r)
            out << model->data(model->index(r, c)).toString();
        return out;
    }

    void clickHeader(int c)
    {
        QHeaderView *header = list()->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(c) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

private Q_SLOTS:
    void initTestCase() { enterFixture(); }

    void init() { emptyFolder(); }

    // No command leaves the wait cursor behind, whatever it showed meanwhile.
    void cleanup() { QCOMPARE(QGuiApplication::overrideCursor(), nullptr); }

    void cleanupTestCase() { leaveFixture(); }

    void startsEmptyInAFolderWithoutHistoryFiles()
    {
        write(QStringLiteral("notes.txt"), sale("N", "1/1/2020", "1.00"));
        start();
        QCOMPARE(main_->listModel()->rowCount(), 0);
        QCOMPARE(main_->listModel()->columnCount(), 9);
        QCOMPARE(main_->listModel()->headerData(8, Qt::Horizontal).toString(),
                 QStringLiteral("From Email address"));
        QVERIFY(list()->horizontalHeader()->sectionSize(0) >= 150);
        QCOMPARE(list()->horizontalHeader()->sectionSize(4),
                 qv_list_column_width(200, list()->fontMetrics(), "", 0));
        QCOMPARE(detail()->toPlainText(), QString());
        QCOMPARE(main_->windowTitle(), QStringLiteral("Quorvex history tool"));
        QVERIFY(QFile::exists(QStringLiteral(":/images/import32.png")));
        QVERIFY(!action("actFileImport")->icon().pixmap(32).isNull());
        QAbstractItemModelTester tester(main_->listModel(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        clickHeader(1);
        QCOMPARE(main_->listModel()->rowCount(), 0);
    }

    void listsTheFilesOfTheStartFolderInIdOrderFirstCopyWinning()
    {
        write(QStringLiteral("a.csv"), sale("T2", "6/16/2009", "2.00") + sale("t1", "6/15/2009", "1.00"));
        write(QStringLiteral("b.CSV"), sale("T1", "6/15/2009", "9.00") + sale("T3", "6/17/2009", "3.00"));
        start();
        QCOMPARE(column(0), (QStringList{"t1", "T2", "T3"}));
        QCOMPARE(column(5), (QStringList{"1.00", "2.00", "3.00"}));
        QCOMPARE(column(1), (QStringList{"2009-06-15", "2009-06-16", "2009-06-17"}));
        QCOMPARE(main_->records->count(), std::size_t{3});
    }

    void aBadStartUpLineIsShownWithFileAndLineAndTheRestIsListed()
    {
        write(QStringLiteral("h.csv"),
              sale("A", "1/1/2020", "1.00") + sale("B", "1/1/2020", "abc") + sale("C", "1/1/2020", "3.00"));
        SeenProblems box;
        const ModalWatch watch = answerProblemBox(&box);
        start();
        QVERIFY(box.seen);
        QCOMPARE(box.caption, QStringLiteral("Quorvex history tool"));
        QVERIFY2(box.text.contains(QStringLiteral("h.csv: 1 line")), qPrintable(box.text));
        QVERIFY2(box.details.contains(QStringLiteral("h.csv:3: Gross: 'abc' is not a valid amount")),
                 qPrintable(box.details));
        QCOMPARE(column(0), (QStringList{"A", "C"}));
    }

    // Fifteen bad lines and a file that cannot be read at start-up: a short summary, every problem in
    // the details on a line of its own, the box centred on the window and within the screen.
    void theLoadProblemBoxSummarisesAndKeepsEveryProblemInItsDetails()
    {
        std::string lines;
        for (int i = 0; i < 15; ++i)
            lines += sale("B" + std::to_string(i), "1/1/2020", "abc");
        write(QStringLiteral("bad-lines-of-a-history-file.csv"), lines + sale("G", "1/1/2020", "1.00"));
        QVERIFY(QFile::link(folder_.filePath(QStringLiteral("nowhere")),
                            folder_.filePath(QStringLiteral("gone.csv"))));
        SeenProblems box;
        const ModalWatch watch = answerProblemBox(&box, QStringLiteral("error-box"));
        start();
        QVERIFY(box.seen);
        const QStringList summary = box.text.split('\n');
        QCOMPARE(summary.value(0), QStringLiteral("1 file could not be read:"));
        QVERIFY2(summary.value(1).trimmed() == QStringLiteral("gone.csv: No such file or directory"),
                 qPrintable(box.text));
        QCOMPARE(summary.value(2), QStringLiteral("15 lines could not be loaded:"));
        QCOMPARE(summary.value(3).trimmed(), QStringLiteral("bad-lines-of-a-history-file.csv: 15 lines"));
        QVERIFY2(!box.text.contains(folder_.path()), qPrintable(box.text));
        const QStringList details = box.details.split('\n');
        QCOMPARE(details.size(), 16);
        // The start-up folder's files go by the names they have in it.
        QCOMPARE(details.value(0), QStringLiteral("gone.csv: No such file or directory"));
        for (int i = 0; i < 15; ++i)
            QCOMPARE(details.value(i + 1),
                     QStringLiteral("bad-lines-of-a-history-file.csv:%1: Gross: 'abc' is not "
                                    "a valid amount")
                         .arg(i + 2));
        QVERIFY(box.detailsUnwrapped);
        QVERIFY(!box.textWraps);
        // Centred on the window, which stands where it will be shown.
        QVERIFY2((box.geometry.center() - box.ownerGeometry.center()).manhattanLength() < 60,
                 qPrintable(QStringLiteral("box at %1,%2, window centre %3,%4")
                                .arg(box.geometry.center().x())
                                .arg(box.geometry.center().y())
                                .arg(box.ownerGeometry.center().x())
                                .arg(box.ownerGeometry.center().y())));
        QVERIFY((main_->geometry().center() - box.ownerGeometry.center()).manhattanLength() < 10);
        QVERIFY(box.geometry.height() <= QGuiApplication::primaryScreen()->availableGeometry().height());
        QCOMPARE(column(0), QStringList{"G"});
    }

    void noErrorBoxIsTallerThanTheScreen()
    {
        start();
        QStringList many;
        for (int i = 1; i <= 500; ++i)
            many << QStringLiteral("line %1 of a long message").arg(i);
        SeenProblems box;
        {
            const ModalWatch watch = answerProblemBox(&box);
            bcl_show_error(main_.get(), many.join('\n').toStdString());
        }
        QVERIFY(box.seen);
        const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(box.geometry.height() <= room.height(), qPrintable(QString::number(box.geometry.height())));
        QVERIFY(room.contains(box.okButton));
        QVERIFY(box.text.startsWith(QStringLiteral("line 1 of a long message\n")));
        QCOMPARE(box.details, many.join('\n'));
    }

    void importAddsOnlyNewTransactionsAndShowsTheWholeStore()
    {
        write(QStringLiteral("start.csv"), sale("S1", "1/1/2020", "1.00"));
        start();
        QTemporaryDir elsewhere;
        const auto outside = [&elsewhere](const char *name, const std::string &lines) {
            QFile f(elsewhere.filePath(QString::fromLatin1(name)));
            if (f.open(QIODevice::WriteOnly)) {
                f.write(header_line);
                f.write(lines.data(), static_cast<qint64>(lines.size()));
            }
            return f.fileName();
        };
        const QString one =
            outside("one.csv", sale("I1", "1/2/2020", "2.00") + sale("s1", "1/1/2020", "7.00"));
        const QString two =
            outside("two.csv", sale("I2", "1/3/2020", "3.00") + sale("I1", "1/3/2020", "8.00"));

        const ModalWatch search = answerSearch(QStringLiteral("S1"));
        action("actSearchTransId")->trigger();
        QCOMPARE(column(0), QStringList{"S1"});

        main_->ImportFiles({one, two});
        QCOMPARE(column(0), (QStringList{"I1", "I2", "S1"}));
        QCOMPARE(column(5), (QStringList{"2.00", "3.00", "1.00"}));
        main_->ImportFiles({two, one});
        QCOMPARE(main_->listModel()->rowCount(), 3);

        // The action's own dialog: cancelling it changes nothing.
        bool asked = false;
        const ModalWatch dialog = whenModal<QFileDialog>([&asked](QFileDialog *d) {
            asked = true;
            QCOMPARE(d->windowTitle(), QStringLiteral("Import Quorvex history files"));
            QVERIFY(d->nameFilters().join(' ').contains(QStringLiteral("Quorvex history files (.csv)")));
            QCOMPARE(d->fileMode(), QFileDialog::ExistingFiles);
            d->reject();
        });
        action("actFileImport")->trigger();
        QVERIFY(asked);
        QCOMPARE(main_->listModel()->rowCount(), 3);
        QCOMPARE(action("actFileImport")->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    }

    void anUnreadableImportIsNamedInTheErrorBox()
    {
        write(QStringLiteral("start.csv"), sale("S1", "1/1/2020", "1.00"));
        start();
        SeenBox box;
        const ModalWatch watch = answerNextMessageBox(&box);
        main_->ImportFiles({folder_.filePath(QStringLiteral("gone.csv"))});
        QVERIFY(box.seen);
        QVERIFY2(box.text.contains(QStringLiteral("gone.csv: No such file or directory")),
                 qPrintable(box.text));
        QCOMPARE(main_->listModel()->rowCount(), 1);
    }

    void searchesNeedRecordsAndMatchTheWholeStoreInStoreOrder()
    {
        start();
        SeenBox box;
        {
            const ModalWatch watch = answerNextMessageBox(&box);
            action("actSearchName")->trigger();
        }
        QVERIFY(box.seen);
        QCOMPARE(box.text, QStringLiteral("No records to be searched."));
        QCOMPARE(box.caption, QStringLiteral("Information"));
        action("actSearchAll")->trigger();
        QCOMPARE(main_->listModel()->rowCount(), 0);

        write(QStringLiteral("s.csv"), line({{11, "AB12"}, {3, "Zoë MÜLLER"}, {9, "Zoe@Shop.Example"}}) +
                                           line({{11, "ab34"}, {3, "Anna Smith"}, {9, "anna@example.com"}}) +
                                           line({{11, "CD12"}, {3, "Bob"}, {9, "bob@example.com"}}));
        start();
        QString prompt;
        const struct {
            const char *action;
            QString typed;
            QString prompt;
            QStringList ids;
        } cases[] = {
            {"actSearchTransId", "12", "Please input Transaction ID:", {"AB12", "CD12"}},
            {"actSearchTransId", "ab", "Please input Transaction ID:", {"ab34"}},
            {"actSearchFromEmailAddr", "shop", "Please input From Email Address:", {"AB12"}},
            {"actSearchFromEmailAddr", "Shop", "Please input From Email Address:", {}},
            {"actSearchName", "müller", "Please input Name:", {"AB12"}},
            {"actSearchName", "ANNA", "Please input Name:", {"ab34"}},
            {"actSearchName", "nobody at all", "Please input Name:", {}},
        };
        for (const auto &c : cases) {
            const ModalWatch watch = answerSearch(c.typed, &prompt);
            action(c.action)->trigger();
            QCOMPARE(prompt, c.prompt);
            QCOMPARE(column(0), c.ids);
        }
        {
            const ModalWatch cancel = answerSearch(QString());
            action("actSearchTransId")->trigger();
            QCOMPARE(main_->listModel()->rowCount(), 0);
        }
        action("actSearchAll")->trigger();
        QCOMPARE(column(0), (QStringList{"AB12", "ab34", "CD12"}));
    }

    // What the list shows is what a search finds, whether the file was written in UTF-8 or in
    // Windows-1252; ASCII searches and the case rules stay as they were.
    void searchesFindTheTextThatTheListShowsInEitherEncoding()
    {
        // Windows-1252 bytes: E9 is "é", C9 "É", D8 "Ø".
        write(QStringLiteral("cp1252.csv"),
              line({{11, "W1"}, {3, "\xC9mile Zola"}, {9, "\xE9mile@example.com"}}) +
                  line({{11, "W\xD8"
                             "2"},
                        {3, "Bo"},
                        {9, "bo@example.com"}}));
        write(QStringLiteral("utf8.csv"),
              line({{11, "U1"}, {3, "\xC3\x89mile"}, {9, "\xC3\xA9mile@shop.example"}}) +
                  line({{11, "U2"}, {3, "Emile"}, {9, "emile@shop.example"}}));
        start();
        const QStringList emails = column(8);
        QVERIFY2(emails.contains(QStringLiteral("émile@example.com")), qPrintable(emails.join(' ')));
        QVERIFY2(emails.contains(QStringLiteral("émile@shop.example")), qPrintable(emails.join(' ')));
        const struct {
            const char *action;
            QString typed;
            QStringList ids;
        } cases[] = {
            {"actSearchFromEmailAddr", "émile", {"U1", "W1"}},
            {"actSearchFromEmailAddr", "émile@example", {"W1"}},
            {"actSearchFromEmailAddr", "Émile", {}}, // e-mail searches tell capitals apart
            {"actSearchFromEmailAddr", "mile@", {"U1", "U2", "W1"}},
            {"actSearchFromEmailAddr", "emile", {"U2"}},
            {"actSearchTransId", "Ø", {"WØ2"}},
            {"actSearchTransId", "wØ", {}},
            {"actSearchName", "émile", {"U1", "W1"}},
            {"actSearchName", "EMILE", {"U2"}},
        };
        for (const auto &c : cases) {
            const ModalWatch watch = answerSearch(c.typed);
            action(c.action)->trigger();
            QVERIFY2(column(0) == c.ids, qPrintable(c.typed + QStringLiteral(": ") + column(0).join(' ')));
        }
    }

    void theDetailPaneShowsTheSelectedTransactionOnRelease()
    {
        write(QStringLiteral("d.csv"), line({{0, "6/5/2009"},     {1, "7:08:09"},     {2, "PDT"},
                                             {3, "Ann"},          {4, "Payment"},     {5, "Completed"},
                                             {6, "1,234.50"},     {7, "-1.00"},       {8, "1233.50"},
                                             {9, "Ann@X.com"},    {10, "me@y.com"},   {11, "FULL"},
                                             {12, "Verified"},    {13, "Confirmed"},  {14, "Vinyl 12\" %s%n"},
                                             {15, "I9"},          {16, "5.00"},       {18, "0.10"},
                                             {24, "buyer1"},      {29, "REF1"},       {32, "-1"},
                                             {34, "99.99"},       {35, "5 Elm Road"}, {36, "Flat 2"},
                                             {37, "Springfield"}, {38, "CA"},         {39, "90210"},
                                             {40, "US"},          {41, "555-0100"}}) +
                                           line({{11, "SPARSE"}, {35, "Lone Street"}}));
        start();
        const QStringList full = {"Transaction ID: FULL (Completed - Payment)",
                                  "Reference Transaction ID: REF1",
                                  "Date Time (PDT): 2009-06-05 07:08:09",
                                  "",
                                  "Item Title: Vinyl 12\" %s%n",
                                  "Item ID: I9",
                                  "Quantity: -1",
                                  "From Email Address: ann@x.com",
                                  "To Email Address: me@y.com",
                                  "",
                                  "Gross: 1234.50",
                                  "Fee: -1.00",
                                  "Net: 1233.50",
                                  "Shipping and Handling Amount: 5.00",
                                  "Sales Tax: 0.10",
                                  "Balance: 99.99",
                                  "",
                                  "Buyer Name: Ann (Verified)",
                                  "Buyer ID: buyer1 (Ann)",
                                  "Contact Phone Number: 555-0100 (Ann)",
                                  "Address: 5 Elm Road Flat 2 (Confirmed)",
                                  "City: Springfield ",
                                  "Province: CA ",
                                  "ZIP Code: 90210 ",
                                  "Country: US "};
        QCOMPARE(qv_detail_lines(main_->records->find("FULL")->data), full);
        const QStringList sparse = {"Transaction ID: SPARSE ((null) - (null))",
                                    "Date Time ((null)): 0-00-00 00:00:00",
                                    "",
                                    "Item Title: (null)",
                                    "Item ID: (null)",
                                    "Quantity: 0",
                                    "From Email Address: (null)",
                                    "",
                                    "Gross: 0.00",
                                    "Fee: 0.00",
                                    "Net: 0.00",
                                    "Shipping and Handling Amount: 0.00",
                                    "Sales Tax: 0.00",
                                    "Balance: 0.00",
                                    "",
                                    "Buyer Name: (null) ((null))",
                                    "Address: Lone Street ((null))"};
        QCOMPARE(qv_detail_lines(main_->records->find("SPARSE")->data), sparse);

        // A click on the first row, then the Down arrow.
        const QRect first = list()->visualRect(main_->listModel()->index(0, 0));
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, first.center());
        QTRY_COMPARE(detail()->toPlainText(), full.join('\n'));
        list()->setFocus();
        QTest::keyClick(list(), Qt::Key_Down);
        QTRY_COMPARE(detail()->toPlainText(), sparse.join('\n'));
        // A search that hides the row leaves the pane as it was.
        const ModalWatch watch = answerSearch(QStringLiteral("FULL"));
        action("actSearchTransId")->trigger();
        QCOMPARE(detail()->toPlainText(), sparse.join('\n'));
    }

    void headerClicksShareOneDirectionAndAmountsSortByValue()
    {
        write(QStringLiteral("o.csv"), sale("b", "1/2/2020", "9.00") + sale("A", "1/3/2020", "10.00") +
                                           sale("C", "1/1/2020", "-2.00") + sale("d", "1/1/2020", "100.00"));
        start();
        clickHeader(5); // flips the shared direction, whatever it was
        const QStringList byGross = column(5);
        const bool descending = byGross.first() == QStringLiteral("100.00");
        QCOMPARE(byGross, descending ? QStringList({"100.00", "10.00", "9.00", "-2.00"})
                                     : QStringList({"-2.00", "9.00", "10.00", "100.00"}));
        QCOMPARE(list()->horizontalHeader()->sortIndicatorSection(), 5);
        clickHeader(0); // the other direction, on another column
        QCOMPARE(column(0),
                 descending ? QStringList({"A", "b", "C", "d"}) : QStringList({"d", "C", "b", "A"}));
        QCOMPARE(list()->horizontalHeader()->sortIndicatorOrder(),
                 descending ? Qt::AscendingOrder : Qt::DescendingOrder);
        action("actSearchAll")->trigger();
        QCOMPARE(column(0), (QStringList{"A", "b", "C", "d"}));
    }

    // An export shows its progress with Cancel; cancelled or not, it leaves no temporary file, and a
    // cancelled one writes nothing.
    void anExportCanBeCancelledAndLeavesNoTemporaryFile()
    {
        std::string lines;
        for (int i = 0; i < 5000; ++i)
            lines += sale("E" + std::to_string(i), "1/2/2020", "1.00");
        write(QStringLiteral("e.csv"), lines);
        start();
        QTemporaryDir out;
        const QString path = out.filePath(QStringLiteral("list.csv"));
        main_->setBusyDialogDelay(0);
        bool seen = false;
        QTimer watch;
        watch.setInterval(0);
        connect(&watch, &QTimer::timeout, [&] {
            if (auto *dialog = main_->findChild<QProgressDialog *>(QStringLiteral("ExportProgress"))) {
                seen = true;
                dialog->cancel();
            }
        });
        watch.start();
        QString error;
        const bool written = main_->ExportList(path, error);
        watch.stop();
        QVERIFY(seen);
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden),
                 written ? QStringList{"list.csv"} : QStringList{});
        QCOMPARE(error, written ? QString() : QStringLiteral("cancelled"));
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    // A sort that takes a while shows that it sorts, with Cancel; a cancelled one leaves the rows, the
    // arrow and the direction of the next click as they were.
    void aSortShowsItsProgressAndCanBeCancelled()
    {
        write(QStringLiteral("s.csv"), sale("b", "1/2/2020", "9.00") + sale("A", "1/3/2020", "10.00") +
                                           sale("C", "1/1/2020", "-2.00"));
        start();
        clickHeader(5);
        const QStringList sorted = column(0);
        QHeaderView *header = list()->horizontalHeader();
        const Qt::SortOrder order = header->sortIndicatorOrder();
        QString label;
        {
            const CancelNextBusy cancel(main_.get(), "SortProgress", &label);
            clickHeader(0);
        }
        QCOMPARE(label, QStringLiteral("Sorting by Transaction ID"));
        QCOMPARE(column(0), sorted);
        QCOMPARE(header->sortIndicatorSection(), 5);
        QCOMPARE(header->sortIndicatorOrder(), order);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        // Not cancelled, through the same dialog: the other direction, as the click after the first.
        clickHeader(5);
        QCOMPARE(header->sortIndicatorSection(), 5);
        QVERIFY(header->sortIndicatorOrder() != order);
        QStringList reversed = sorted;
        std::reverse(reversed.begin(), reversed.end());
        QCOMPARE(column(0), reversed);
    }

    // So does a search: a cancelled one leaves the list as it was.
    void aSearchCanBeCancelled()
    {
        write(QStringLiteral("s.csv"), sale("S1", "1/2/2020", "9.00") + sale("S2", "1/3/2020", "10.00") +
                                           sale("X3", "1/1/2020", "-2.00"));
        start();
        QString label;
        {
            const CancelNextBusy cancel(main_.get(), "SearchProgress", &label);
            const ModalWatch watch = answerSearch(QStringLiteral("S"));
            action("actSearchTransId")->trigger();
        }
        QCOMPARE(label, QStringLiteral("Searching"));
        QCOMPARE(column(0), (QStringList{"S1", "S2", "X3"}));
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        const ModalWatch watch = answerSearch(QStringLiteral("S"));
        action("actSearchTransId")->trigger();
        QCOMPARE(column(0), (QStringList{"S1", "S2"}));
    }

    // Typing in the list goes to the row whose text in the current column begins with what was typed,
    // in store order and over a sorted column alike; the same letter again steps on, and another key
    // (or a pause) starts a new search. The detail pane follows on the key's release.
    void typingGoesToTheRowThatBeginsWithTheText()
    {
        write(QStringLiteral("t.csv"),
              sale("apple1", "1/2/2020", "1.00") + sale("Banana", "1/3/2020", "2.00") +
                  sale("apple2", "1/4/2020", "3.00") + sale("blue", "1/5/2020", "4.00") +
                  sale("cherry", "1/6/2020", "5.00"));
        start();
        list()->setFocus();
        // However slowly the keys come (under valgrind), they make one text until another key comes.
        const int interval = QApplication::keyboardInputInterval();
        QApplication::setKeyboardInputInterval(60000);
        const auto currentId = [this] { return list()->currentIndex().data().toString(); };
        QTest::keyClicks(list(), QStringLiteral("b"));
        QCOMPARE(currentId(), QStringLiteral("Banana"));
        QTRY_VERIFY(detail()->toPlainText().contains(QStringLiteral("Banana")));
        QTest::keyClicks(list(), QStringLiteral("b"));
        QCOMPARE(currentId(), QStringLiteral("blue"));
        QTest::keyClicks(list(), QStringLiteral("b"));
        QCOMPARE(currentId(), QStringLiteral("Banana")); // round the end
        QTest::keyClick(list(), Qt::Key_Home);
        QTest::keyClicks(list(), QStringLiteral("APPLE2"));
        QCOMPARE(currentId(), QStringLiteral("apple2"));
        clickHeader(0); // sorted by ID in one direction or the other: found by halving
        list()->setFocus();
        QTest::keyClick(list(), Qt::Key_Home);
        QTest::keyClicks(list(), QStringLiteral("ch"));
        QCOMPARE(currentId(), QStringLiteral("cherry"));
        QTest::keyClick(list(), Qt::Key_End);
        QTest::keyClicks(list(), QStringLiteral("zz"));
        QVERIFY(currentId() != QStringLiteral("zz")); // nothing begins so: the row stays where End put it
        QApplication::setKeyboardInputInterval(interval);
    }

    // Enter in a search box or the import dialog closes it on the press; its release then reaches the
    // list, which must not take it for a key of its own.
    void confirmingADialogWithEnterLeavesTheDetailPane()
    {
        write(QStringLiteral("e.csv"), sale("E1", "1/1/2020", "1.00") + sale("E2", "1/2/2020", "2.00"));
        start();
        QTemporaryDir elsewhere;
        const QString more = elsewhere.filePath(QStringLiteral("more.csv"));
        {
            QFile f(more);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(header_line);
            f.write(sale("E3", "1/3/2020", "3.00").c_str());
        }
        list()->setFocus();
        QTest::keyClick(list(), Qt::Key_Down);
        QTRY_VERIFY(detail()->toPlainText().startsWith(QStringLiteral("Transaction ID: E1 ")));
        const QString shown = detail()->toPlainText();

        {
            const ModalWatch watch = confirmSearchWithEnter(QStringLiteral("E2"));
            action("actSearchTransId")->trigger();
        }
        QCOMPARE(column(0), QStringList{"E2"});
        QTest::keyRelease(list(), Qt::Key_Return);
        QCoreApplication::processEvents();
        QCOMPARE(detail()->toPlainText(), shown);

        {
            const ModalWatch watch = whenModal<QFileDialog>([&more](QFileDialog *d) {
                auto *name = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                auto *buttons = d->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
                // The dialog may still reset its name field while it reads the folder: the name is
                // typed again until it stays, as a user would.
                (void)QTest::qWaitForWindowActive(d, 30000);
                for (int tries = 0; tries < 10 && name != nullptr && buttons != nullptr && d->isVisible();
                     ++tries) {
                    if (name->text() != more) {
                        name->clear();
                        QTest::keyClicks(name, more);
                    }
                    (void)QTest::qWaitFor(
                        [buttons] { return buttons->button(QDialogButtonBox::Open)->isEnabled(); }, 2000);
                    if (name->completer() != nullptr && name->completer()->popup()->isVisible())
                        name->completer()->popup()->hide();
                    QTest::keyPress(name, Qt::Key_Return);
                    QCoreApplication::processEvents();
                }
                if (d->isVisible())
                    d->reject(); // the test fails below instead of waiting for ever
            });
            action("actFileImport")->trigger();
        }
        QCOMPARE(column(0), (QStringList{"E1", "E2", "E3"}));
        QTest::keyRelease(list(), Qt::Key_Return);
        QCoreApplication::processEvents();
        QCOMPARE(detail()->toPlainText(), shown);

        // A key pressed and released in the list shows the selected record again; a mouse button
        // released over the list without its press there does nothing.
        QTest::mouseRelease(list()->viewport(), Qt::LeftButton, {},
                            list()->visualRect(main_->listModel()->index(2, 0)).center());
        QCoreApplication::processEvents();
        QCOMPARE(detail()->toPlainText(), shown);
        QTest::keyClick(list(), Qt::Key_Down);
        QTRY_VERIFY(detail()->toPlainText().startsWith(QStringLiteral("Transaction ID: E1 ")));
        QTest::keyClick(list(), Qt::Key_Down);
        QTRY_VERIFY(detail()->toPlainText().startsWith(QStringLiteral("Transaction ID: E2 ")));
    }

    // The arrow claims an order: it shows only while the rows are in it, in the direction that the
    // desktop uses for that order.
    void theSortArrowShowsOnlyOverSortedRows()
    {
        start();
        QHeaderView *header = list()->horizontalHeader();
        clickHeader(2);
        QVERIFY(!header->isSortIndicatorShown());

        write(QStringLiteral("o.csv"), sale("b", "1/2/2020", "9.00") + sale("A", "1/3/2020", "10.00") +
                                           sale("C", "1/1/2020", "-2.00"));
        start();
        QTemporaryDir elsewhere;
        const QString more = elsewhere.filePath(QStringLiteral("more.csv"));
        {
            QFile f(more);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(header_line);
            f.write(sale("D", "1/3/2020", "3.00").c_str());
        }
        const std::function<void()> refills[] = {
            [this] { action("actSearchAll")->trigger(); },
            [this] {
                const ModalWatch watch = answerSearch(QStringLiteral("b"));
                action("actSearchTransId")->trigger();
            },
            [this, &more] { main_->ImportFiles({more}); },
        };
        header = list()->horizontalHeader();
        for (const auto &refill : refills) {
            clickHeader(5);
            QVERIFY(header->isSortIndicatorShown());
            QCOMPARE(header->sortIndicatorSection(), 5);
            refill();
            QVERIFY(!header->isSortIndicatorShown());
        }

        // Rows from the earliest date to the latest are ascending; on Linux desktops the arrow of an
        // ascending column points down (the GTK convention, which the Fusion style follows).
        action("actSearchAll")->trigger();
        const QRect section(header->sectionViewportPosition(1), 0, header->sectionSize(1), header->height());
        const QImage plain = header->viewport()->grab().toImage();
        for (int click = 0; click < 2; ++click) {
            clickHeader(1);
            const bool ascending = column(1).first() == QStringLiteral("2020-01-01");
            QCOMPARE(header->sortIndicatorOrder(), ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
            const QImage sorted = header->viewport()->grab().toImage();
            sorted.save(QStringLiteral(QV_REPORT_ARTEFACTS "/sort-arrow-%1.png")
                            .arg(ascending ? QStringLiteral("ascending") : QStringLiteral("descending")));
            bool found = false;
            const bool up = arrowPointsUp(sorted, plain, section, &found);
            QVERIFY(found);
            QCOMPARE(up, !ascending);
        }
    }

    void aRefillStartsAtTheTopOfTheList()
    {
        std::string lines;
        for (int i = 0; i < 300; ++i)
            lines += sale("R" + std::to_string(1000 + i), "1/1/2020", "1.00");
        write(QStringLiteral("r.csv"), lines);
        start();
        QScrollBar *bar = list()->verticalScrollBar();
        const std::function<void()> refills[] = {
            [this] { action("actSearchAll")->trigger(); },
            [this] {
                const ModalWatch watch = answerSearch(QStringLiteral("R1"));
                action("actSearchTransId")->trigger();
            },
        };
        for (const auto &refill : refills) {
            list()->scrollToBottom();
            QVERIFY(bar->value() > 0);
            refill();
            QCOMPARE(bar->value(), 0);
        }
    }

    // The fixed columns show an ID of the usual 17 characters, a date, a time and the widest amounts
    // whole, in whatever font the list uses, and the window grows by their widths.
    void fixedColumnsFitTheirTextsInTheFontUsed()
    {
        write(QStringLiteral("w.csv"), sale("00MU32VKYD8F5FXQW", "12/28/2009", "-21474836.48") +
                                           sale("WQVB375II931FIXQK", "1/1/2020", "21474836.47") +
                                           sale("0AH626KNKI5Z8GSMM", "1/1/2020", "-1.00"));
        start();
        QHeaderView *header = list()->horizontalHeader();
        const int design[] = {150, 100, 100, 100, 200, 80, 80, 80};
        int sum = 0;
        for (int c = 0; c < 8; ++c) {
            QVERIFY2(header->sectionSize(c) >= design[c], qPrintable(QString::number(c)));
            sum += header->sectionSize(c);
        }
        for (const int c : {0, 1, 2, 5}) {
            // What a cell of the column needs to show its text whole, grid line included.
            QVERIFY2(static_cast<QAbstractItemView *>(list())->sizeHintForColumn(c) <= header->sectionSize(c),
                     qPrintable(QStringLiteral("column %1 needs %2, has %3")
                                    .arg(c)
                                    .arg(static_cast<QAbstractItemView *>(list())->sizeHintForColumn(c))
                                    .arg(header->sectionSize(c))));
        }
        const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(main_->width(), std::min(747 + sum, room.width()));
        // The offscreen screen is narrow: the picture shows the window at its full width.
        main_->resize(747 + sum, 666);
        main_->grab().save(QStringLiteral(QV_REPORT_ARTEFACTS "/list.png"));

        // A larger font widens the columns in step; a smaller one never narrows them below the design.
        const QFont base = list()->font();
        QFont large = base;
        large.setPixelSize(40);
        QFont tiny = base;
        tiny.setPixelSize(4);
        const int atBase = qv_list_column_width(100, QFontMetrics(base), "", 0);
        QVERIFY(qv_list_column_width(100, QFontMetrics(large), "", 0) > 2 * atBase);
        QCOMPARE(qv_list_column_width(100, QFontMetrics(tiny), "", 0), 100);
        QVERIFY(qv_list_column_width(80, QFontMetrics(tiny), "-21474836.48", 500) >= 500);
    }

    void tabGoesFromTheListToThePaneAndBackAndTheFirstDownSelectsTheFirstRow()
    {
        write(QStringLiteral("k.csv"), sale("K1", "1/1/2020", "1.00") + sale("K2", "1/2/2020", "2.00") +
                                           sale("K3", "1/3/2020", "3.00"));
        start();
        main_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main_.get()));
        // The list has the focus at start-up.
        QTRY_COMPARE(QApplication::focusWidget(), list());
        QTest::keyClick(list(), Qt::Key_Down);
        QCOMPARE(list()->selectionModel()->selectedRows().value(0).row(), 0);
        QTRY_VERIFY(detail()->toPlainText().startsWith(QStringLiteral("Transaction ID: K1 ")));
        QTest::keyClick(list(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), detail());
        QTest::keyClick(detail(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), list());
        QTest::keyClick(list(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), detail());
        QTest::keyClick(detail(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), list());
        QCOMPARE(list()->selectionModel()->selectedRows().value(0).row(), 0);
        QTest::keyClick(list(), Qt::Key_Down);
        QCOMPARE(list()->selectionModel()->selectedRows().value(0).row(), 1);

        // After a refill nothing is selected; the first Down selects the first row again.
        action("actSearchAll")->trigger();
        QTest::keyClick(list(), Qt::Key_Down);
        QCOMPARE(list()->selectionModel()->selectedRows().value(0).row(), 0);
    }

    // A right click on the tool bar or the menu bar offers the view switches, whose check marks stay
    // the state of what they show.
    void rightClickOnTheBarsOffersTheViewSwitches()
    {
        start();
        auto *toolbar = main_->findChild<QToolBar *>("ToolBar1");
        QAction *toolbarSwitch = action("actViewToolbar");
        for (QWidget *bar : {static_cast<QWidget *>(toolbar), static_cast<QWidget *>(main_->menuBar())}) {
            QStringList items;
            whenPopup([&items](QMenu *menu) {
                for (QAction *a : menu->actions())
                    items << a->text();
                QAction *first = menu->actions().value(0);
                QVERIFY(first != nullptr);
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(first).center());
            });
            // The right click as the window system delivers it, so that it becomes a context menu.
            const QPoint at = bar->mapTo(main_.get(), QPoint(bar->width() - 10, bar->height() / 2));
            QTest::mouseClick(main_->windowHandle(), Qt::RightButton, {}, at);
            QTRY_COMPARE(items, (QStringList{"Toolbar", "Details"}));
            QTRY_VERIFY(!toolbar->isVisible());
            QVERIFY(!toolbarSwitch->isChecked());
            toolbarSwitch->trigger();
            QVERIFY(toolbar->isVisible());
            QVERIFY(toolbarSwitch->isChecked());
        }
    }

    void theViewSwitchesHideAndShowTheirParts()
    {
        start();
        QAction *toolbar = action("actViewToolbar");
        QAction *details = action("actViewDetails");
        QVERIFY(toolbar->isChecked() && details->isChecked());
        toolbar->trigger();
        QVERIFY(!toolbar->isChecked());
        QVERIFY(!main_->findChild<QToolBar *>("ToolBar1")->isVisible());
        toolbar->trigger();
        QVERIFY(main_->findChild<QToolBar *>("ToolBar1")->isVisible());
        details->trigger();
        QVERIFY(!detail()->isVisible());
        details->trigger();
        QVERIFY(detail()->isVisible());
    }

    void listTextsCompareAsTheListSortsThem()
    {
        QVERIFY(qv_list_text_compare("abc", "ABC") == 0);
        QVERIFY(qv_list_text_compare("a", "Z") < 0);
        QVERIFY(qv_list_text_compare("100.00", "20.00") < 0);
        QVERIFY(qv_list_text_compare("ab", "abc") < 0);
        QVERIFY(qv_list_text_compare("_", "a") > 0); // '_' against 'A'
        QVERIFY(qv_list_text_compare("\xE9", "z") > 0);
    }

    void textsShowAsUtf8OrWindows1252_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("ascii") << QByteArray("Ann") << QStringLiteral("Ann");
        QTest::newRow("utf-8") << QByteArray("Zo\xC3\xAB") << QStringLiteral("Zoë");
        QTest::newRow("utf-8 cut short") << QByteArray("Zo\xC3") << QStringLiteral("Zo");
        QTest::newRow("windows-1252") << QByteArray("Zo\xEB \x80") << QStringLiteral("Zoë €");
        QTest::newRow("overlong is not utf-8") << QByteArray("\xC0\xAF") << QStringLiteral("À¯");
    }

    void textsShowAsUtf8OrWindows1252()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QCOMPARE(qv_display_text(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))),
                 shown);
    }

    void problemReportsAreSummedUpByFile_data()
    {
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<QStringList>("summary");
        QTest::newRow("loaded") << false
                                << QStringList{"2 files could not be read:",
                                               "    gone.csv: No such file or directory",
                                               "    locked.csv: Permission denied",
                                               "1,313 lines could not be loaded:",
                                               "    f.csv: 13 lines",
                                               "    big.csv: 1,300 lines",
                                               "",
                                               "The details list every problem."};
        QTest::newRow("cancelled") << true
                                   << QStringList{"The load was cancelled.",
                                                  "2 files could not be read:",
                                                  "    gone.csv: No such file or directory",
                                                  "    locked.csv: Permission denied",
                                                  "1,313 lines could not be loaded:",
                                                  "    f.csv: 13 lines",
                                                  "    big.csv: 1,300 lines",
                                                  "",
                                                  "The details list every problem."};
    }

    void problemReportsAreSummedUpByFile()
    {
        QFETCH(bool, cancelled);
        QFETCH(QStringList, summary);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        qv_load_report report;
        for (std::size_t i = 1; i <= 13; ++i)
            report.problems.push_back({"/data/f.csv", i + 1, "bad"});
        report.problems.push_back({"/data/gone.csv", 0, "No such file or directory"});
        for (std::size_t i = 1; i <= 200; ++i)
            report.problems.push_back({"/data/big.csv", i + 1, "worse"});
        report.problems.push_back({"/data/locked.csv", 0, "Permission denied"});
        report.unlisted.push_back({"/data/big.csv", 1100});
        report.cancelled = cancelled;
        QCOMPARE(qv_load_problems_box(report).text.split('\n'), summary);
        const QStringList details = qv_load_problems_box(report).details.split('\n');
        QCOMPARE(details.size(), 2 + 13 + 200 + 1);
        QCOMPARE(details.value(0), QStringLiteral("/data/gone.csv: No such file or directory"));
        QCOMPARE(details.value(1), QStringLiteral("/data/locked.csv: Permission denied"));
        QCOMPARE(details.value(2), QStringLiteral("/data/f.csv:2: bad"));
        QCOMPARE(details.value(15), QStringLiteral("/data/big.csv:2: worse"));
        QCOMPARE(details.value(215),
                 QStringLiteral("/data/big.csv: 1,100 more lines could not be loaded (not listed)"));
        QLocale::setDefault(QLocale::c());
    }

    // Values left out of records that loaded are not lines that could not be loaded, and a note on a
    // file's form is not a file that could not be read: each has its own part of the summary.
    void valuesLeftOutAndNotesAreToldApart()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        qv_load_report report;
        report.problems.push_back({"/data/gone.csv", 0, "No such file or directory"});
        report.problems.push_back({"/data/eu.csv", 0,
                                   "amounts are written with a decimal comma (line 2: "
                                   "'1,50'); this program reads the point form",
                                   qv_problem_kind::file_form});
        report.problems.push_back({"/data/eu.csv", 2, "Gross: '1,50' is not a valid amount"});
        report.problems.push_back(
            {"/data/eu.csv", 2, "Date: '31/12/2020' is not a valid date", qv_problem_kind::value_left_out});
        report.problems.push_back(
            {"/data/t.csv", 5, "Time: '25:00:00' is not a valid time", qv_problem_kind::value_left_out});
        report.unlisted.push_back({"/data/t.csv", 0, 300});
        const TLoadProblemsBox box = qv_load_problems_box(report);
        QCOMPARE(box.text.split('\n'),
                 (QStringList{"1 file could not be read:", "    gone.csv: No such file or directory",
                              "Values written in another form:",
                              "    eu.csv: amounts are written with a decimal comma (line 2: '1,50'); this "
                              "program reads the point form",
                              "1 line could not be loaded:", "    eu.csv: 1 line",
                              "302 values could not be read; their records loaded without them:",
                              "    eu.csv: 1 value", "    t.csv: 301 values", "",
                              "The details list every problem."}));
        QCOMPARE(box.details.split('\n'),
                 (QStringList{"/data/gone.csv: No such file or directory",
                              "/data/eu.csv: amounts are written with a decimal comma (line 2: '1,50'); this "
                              "program reads the point form",
                              "/data/eu.csv:2: Gross: '1,50' is not a valid amount",
                              "/data/eu.csv:2: Date: '31/12/2020' is not a valid date",
                              "/data/t.csv:5: Time: '25:00:00' is not a valid time",
                              "/data/t.csv: 300 more values could not be read (not listed)"}));
        QLocale::setDefault(QLocale::c());
    }

    // Many files: the summary names ten of each kind and counts the rest; files of the same name in
    // different folders are told apart; very long names are shortened in the middle.
    void theSummaryStaysShortWithManyFiles()
    {
        qv_load_report report;
        for (int i = 0; i < 12; ++i)
            report.problems.push_back(
                {"/data/unreadable-" + std::to_string(i) + ".csv", 0, "Permission denied"});
        for (int i = 0; i < 14; ++i)
            report.problems.push_back({"/data/lines-" + std::to_string(i) + ".csv", 2, "bad"});
        report.problems.push_back({"/a/same.csv", 2, "bad"});
        report.problems.push_back({"/b/same.csv", 2, "bad"});
        report.problems.push_back({"/data/" + std::string(200, 'n') + ".csv", 0, "Permission denied"});
        const QStringList summary = qv_load_problems_box(report).text.split('\n');
        QCOMPARE(summary.value(0), QStringLiteral("13 files could not be read:"));
        QCOMPARE(summary.value(11), QStringLiteral("    and 3 more files"));
        QCOMPARE(summary.value(12), QStringLiteral("16 lines could not be loaded:"));
        QCOMPARE(summary.value(23), QStringLiteral("    and 6 more files"));
        for (const QString &line : summary)
            QVERIFY2(line.size() <= 90, qPrintable(line));
        report.problems.erase(report.problems.begin(), report.problems.begin() + 26);
        const QString few = qv_load_problems_box(report).text;
        QVERIFY2(few.contains(QStringLiteral("    /a/same.csv: 1 line\n    /b/same.csv: 1 line")),
                 qPrintable(few));
        QVERIFY2(few.contains(QChar(0x2026)), qPrintable(few));
    }
};

QTEST_MAIN(TestFrmMain)
#include "test_main_window.moc"
