// The main window offscreen: start-up folders, import, search, the detail pane, sorting and the view
// switches, with every modal box answered by a timer and its text checked.
#include "Frm_main.h"

#include "../reports/report_test_util.h"
#include "../unit/history_text.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

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

} // namespace

class TestFrmMain : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;
    QString startDir_;
    std::unique_ptr<TFrmMain> main_;

    QString write(const QString &name, const std::string &lines, bool withHeader = true)
    {
        QFile file(folder_.filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            return {};
        if (withHeader)
            file.write(header_line);
        file.write(lines.data(), static_cast<qint64>(lines.size()));
        return file.fileName();
    }

    // Starts the window in the test folder, after the files have been written there.
    void start()
    {
        main_.reset();
        QVERIFY(QDir::setCurrent(folder_.path()));
        main_ = std::make_unique<TFrmMain>();
        main_->show();
        QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
    }

    QAction *action(const char *name) const { return main_->findChild<QAction *>(name); }
    QTableView *list() const { return main_->findChild<QTableView *>("ListView"); }
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
    void initTestCase()
    {
        startDir_ = QDir::currentPath();
        QVERIFY(folder_.isValid());
    }

    void init()
    {
        QDir dir(folder_.path());
        for (const QString &name : dir.entryList(QDir::Files))
            dir.remove(name);
    }

    // No command leaves the wait cursor behind, whatever it showed meanwhile.
    void cleanup() { QCOMPARE(QGuiApplication::overrideCursor(), nullptr); }

    void cleanupTestCase()
    {
        main_.reset();
        QDir::setCurrent(startDir_);
    }

    void startsEmptyInAFolderWithoutHistoryFiles()
    {
        write(QStringLiteral("notes.txt"), sale("N", "1/1/2020", "1.00"));
        start();
        QCOMPARE(main_->listModel()->rowCount(), 0);
        QCOMPARE(main_->listModel()->columnCount(), 9);
        QCOMPARE(main_->listModel()->headerData(8, Qt::Horizontal).toString(),
                 QStringLiteral("From Email address"));
        QCOMPARE(list()->horizontalHeader()->sectionSize(0), 150);
        QCOMPARE(list()->horizontalHeader()->sectionSize(4), 200);
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
        SeenBox box;
        const ModalWatch watch = answerNextMessageBox(&box);
        start();
        QVERIFY(box.seen);
        QCOMPARE(box.caption, QStringLiteral("Quorvex history tool"));
        QVERIFY2(box.text.contains(QStringLiteral("h.csv:3: Gross: 'abc' is not a valid amount")),
                 qPrintable(box.text));
        QCOMPARE(column(0), (QStringList{"A", "C"}));
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

    void manyProblemsShowTheFirstTenAndACount()
    {
        std::vector<qv_load_problem> problems;
        for (std::size_t i = 1; i <= 13; ++i)
            problems.push_back({"f.csv", i + 1, "bad"});
        problems.push_back({"gone.csv", 0, "No such file or directory"});
        const QString text = qv_load_problems_text(problems);
        QVERIFY(text.contains(QStringLiteral("f.csv:2: bad")));
        QVERIFY(text.contains(QStringLiteral("f.csv:11: bad")));
        QVERIFY(!text.contains(QStringLiteral("f.csv:12: bad")));
        QVERIFY(text.endsWith(QStringLiteral("and 4 more")));
    }
};

QTEST_MAIN(TestFrmMain)
#include "test_main_window.moc"
