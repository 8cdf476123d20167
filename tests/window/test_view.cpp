// What the main window shows at a glance, offscreen: the status bar's counts and its problems button,
// the "Loaded files" window, the right-aligned amounts, the list's context menu and the keys that open
// it, Ctrl+Q, the menu and tool bar pictures on a dark background, and the accessibility tree of every
// window, in which every control has a name.
#include "Dlg_date.h"
#include "Frm_loaded_files.h"
#include "Frm_main.h"
#include "Frm_report.h"
#include "main_window_fixture.h"

#include "../reports/report_test_util.h"
#include "../unit/history_text.h"

#include <QAccessible>
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

using testing_history::sale;

namespace {

QStringList actionTexts(const QMenu *menu)
{
    QStringList texts;
    for (const QAction *a : menu->actions())
        if (!a->isSeparator())
            texts << a->text();
    return texts;
}

// The box of the pixels that stand out from background by more than a step of grey: what a user sees
// of a picture drawn on it.
QRect visibleExtent(const QIcon &icon, int size, const QColor &background)
{
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(background);
    {
        QPainter painter(&image);
        icon.paint(&painter, QRect(0, 0, size, size));
    }
    const int ground = qGray(background.rgb());
    QRect extent;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            if (std::abs(qGray(image.pixel(x, y)) - ground) > 40)
                extent |= QRect(x, y, 1, 1);
    return extent;
}

// Every node below iface that is a control without a name, as "role objectName-path", walking the
// whole tree; cells of a table are content, not controls, and may be empty.
void namelessNodes(QAccessibleInterface *iface, const QString &path, QStringList &out, int depth = 0)
{
    if (iface == nullptr || depth > 40)
        return;
    const QAccessible::Role role = iface->role();
    QString where = path;
    if (QObject *object = iface->object())
        where += QLatin1Char('/') + (object->objectName().isEmpty()
                                         ? QString::fromLatin1(object->metaObject()->className())
                                         : object->objectName());
    // The corner button of a table (a part with no widget of its own, which Qt names never) shows
    // only with a row header, which no list of the program shows.
    const bool corner = role == QAccessible::Pane && iface->object() == nullptr &&
                        iface->parent() != nullptr && iface->parent()->role() == QAccessible::Table;
    const bool content = role == QAccessible::Cell || role == QAccessible::Separator || corner;
    if (!content && iface->text(QAccessible::Name).trimmed().isEmpty())
        out << QStringLiteral("%1 (role 0x%2)").arg(where).arg(int(role), 0, 16);
    for (int i = 0; i < iface->childCount(); ++i)
        namelessNodes(iface->child(i), where, out, depth + 1);
}

QStringList namelessIn(QWidget *window)
{
    QStringList out;
    namelessNodes(QAccessible::queryAccessibleInterface(window), QString(), out);
    return out;
}

} // namespace

class TestView : public QObject, private TMainWindowFixture {
    Q_OBJECT

private:
    QStatusBar *status() const { return main_->statusBar(); }

    // Starts in the folder with a file of three transactions and one of two, one of which was in the
    // first, and a bad line: the start-up's problem box is answered.
    void startWithTwoFiles()
    {
        write(QStringLiteral("a.csv"), sale("A1", "1/5/2021", "1.00") + sale("A2", "3/15/2021", "2.00") +
                                           sale("A3", "2/1/2021", "3.00"));
        write(QStringLiteral("b.csv"),
              sale("a2", "3/15/2021", "2.00") + sale("B1", "6/30/2021", "-12.50") + sale("B2", "", "abc"));
        SeenBox box;
        const ModalWatch watch = answerNextMessageBox(&box);
        start();
        QVERIFY(box.seen);
    }

private Q_SLOTS:
    void initTestCase() { enterFixture(); }
    void init() { emptyFolder(); }
    void cleanup() { QCOMPARE(QGuiApplication::overrideCursor(), nullptr); }
    void cleanupTestCase() { leaveFixture(); }

    void statusCountsRead_data()
    {
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("total");
        QTest::addColumn<bool>("searched");
        QTest::addColumn<int>("files");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing") << 0 << 0 << false << 0 << "No transactions loaded";
        QTest::newRow("files without any") << 0 << 0 << false << 2 << "0 transactions from 2 files";
        QTest::newRow("one") << 1 << 1 << false << 1 << "1 transaction from 1 file";
        QTest::newRow("all") << 5 << 5 << false << 3 << "5 transactions from 3 files";
        QTest::newRow("found") << 2 << 5 << true << 3 << "2 of 5 transactions from 3 files";
        QTest::newRow("found none") << 0 << 1 << true << 1 << "0 of 1 transaction from 1 file";
    }
    void statusCountsRead()
    {
        QFETCH(int, shown);
        QFETCH(int, total);
        QFETCH(bool, searched);
        QFETCH(int, files);
        QFETCH(QString, text);
        QCOMPARE(qv_status_counts(std::size_t(shown), std::size_t(total), searched, std::size_t(files)),
                 text);
    }

    // The status bar tells what is loaded and shown, and the last load's problems as a button that
    // shows them again; a temporary message does not take their place.
    void theStatusBarShowsTheCountsAndTheLastLoadsProblems()
    {
        startWithTwoFiles();
        QLabel *counts = main_->statusCounts();
        QToolButton *problems = main_->statusProblems();
        QVERIFY(counts->isVisible());
        QCOMPARE(counts->text(), QStringLiteral("4 transactions from 2 files"));
        QVERIFY(problems->isVisible());
        QCOMPARE(problems->text(), QStringLiteral("1 problem"));

        // The button shows the same problems again.
        SeenBox again;
        {
            const ModalWatch watch = answerNextMessageBox(&again);
            QTest::mouseClick(problems, Qt::LeftButton);
            QTRY_VERIFY(again.seen);
        }
        QVERIFY2(again.text.contains(QStringLiteral("b.csv: 1 line")), qPrintable(again.text));

        {
            const ModalWatch watch = whenModal<QInputDialog>([](QInputDialog *box) {
                box->setTextValue(QStringLiteral("B"));
                box->accept();
            });
            action("actSearchTransId")->trigger();
        }
        QCOMPARE(counts->text(), QStringLiteral("1 of 4 transactions from 2 files"));
        // A message for a while stands beside the counts, which stay.
        status()->showMessage(QStringLiteral("Exported 1 transaction to x.csv"), 5000);
        QVERIFY(counts->isVisible());
        QVERIFY(problems->isVisible());
        main_->resize(1000, 500);
        QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
        status()->grab().save(QStringLiteral(QV_REPORT_ARTEFACTS "/status-bar-after-search.png"));
        status()->clearMessage();

        action("actSearchAll")->trigger();
        QCOMPARE(counts->text(), QStringLiteral("4 transactions from 2 files"));
        // A load without problems takes the button away; a file loaded again counts once.
        main_->ImportFiles({folder_.filePath(QStringLiteral("a.csv"))});
        QVERIFY(!problems->isVisible());
        QCOMPARE(counts->text(), QStringLiteral("4 transactions from 2 files"));
    }

    // File > Loaded files... lists every file loaded, in load order, with a total row that stays at the
    // bottom whatever the sort; the keyboard copies rows and closes the window.
    void theLoadedFilesWindowTellsWhichFileGaveWhat()
    {
        startWithTwoFiles();
        SeenBox box;
        {
            const ModalWatch watch = answerNextMessageBox(&box);             // its bad line again
            main_->ImportFiles({folder_.filePath(QStringLiteral("b.csv"))}); // all of it already loaded
        }
        QVERIFY(box.seen);
        QVERIFY(main_->findChild<QMenu *>("mnuFile")->actions().contains(action("actFileLoadedFiles")));
        QCOMPARE(action("actFileLoadedFiles")->text(), QStringLiteral("&Loaded files..."));
        action("actFileLoadedFiles")->trigger();
        TFrmLoadedFiles *window = main_->loadedFilesWindow();
        QVERIFY(window != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->windowTitle(), QStringLiteral("Loaded files"));
        QTableView *table = window->table();
        QCOMPARE(QApplication::focusWidget(), table);

        const QString here = QDir(folder_.path()).absolutePath();
        using Row = QStringList;
        const QList<Row> loadOrder = {
            {"a.csv", here, "4", "3", "0", "0", "2021-01-05", "2021-03-15"},
            {"b.csv", here, "4", "1", "1", "1", "2021-03-15", "2021-06-30"},
            {"b.csv", here, "4", "0", "2", "1", "2021-03-15", "2021-06-30"},
            {"Total: 3 files", "", "12", "4", "3", "2", "2021-01-05", "2021-06-30"}};
        QCOMPARE(window->rowTexts(), loadOrder);
        QCOMPARE(table->model()->headerData(TFrmLoadedFiles::AlreadyLoaded, Qt::Horizontal).toString(),
                 QStringLiteral("Already loaded"));

        // A click sorts ascending, the next descending; the total stays last.
        QHeaderView *header = table->horizontalHeader();
        const auto click = [&](int column) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
        };
        click(TFrmLoadedFiles::Added);
        QCOMPARE(window->rowTexts(), (QList<Row>{loadOrder[2], loadOrder[1], loadOrder[0], loadOrder[3]}));
        click(TFrmLoadedFiles::Added);
        QCOMPARE(window->rowTexts(), (QList<Row>{loadOrder[0], loadOrder[1], loadOrder[2], loadOrder[3]}));

        // It can be read, not changed.
        QTest::keyClick(table, Qt::Key_F2);
        QVERIFY(table->indexWidget(table->currentIndex()) == nullptr);
        QVERIFY(table->findChildren<QLineEdit *>().isEmpty());
        QVERIFY(!(table->model()->flags(table->currentIndex()) & Qt::ItemIsEditable));
        QTest::keyClick(table, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
        const QStringList copied = QGuiApplication::clipboard()->text().split(QLatin1Char('\n'));
        QCOMPARE(copied.size(), 4);
        QCOMPARE(copied.value(0), loadOrder[0].join(QLatin1Char('\t')));
        QCOMPARE(copied.value(3), loadOrder[3].join(QLatin1Char('\t')));

        window->resize(900, 220);
        window->grab().save(QStringLiteral(QV_REPORT_ARTEFACTS "/loaded-files.png"));
        QVERIFY2(namelessIn(window).isEmpty(), qPrintable(namelessIn(window).join(QLatin1Char('\n'))));

        // A load while it is open shows in it at once.
        main_->ImportFiles({folder_.filePath(QStringLiteral("a.csv"))});
        QCOMPARE(window->rowTexts().size(), 5);
        QTest::keyClick(table, Qt::Key_Escape);
        QTRY_VERIFY(!window->isVisible());
    }

    // Gross, Fee and Balance stand at the right of their cells, their captions too; the other
    // columns at the left. Checked in the picture: where the ink of a cell's text lies.
    void amountsAndTheirCaptionsAreRightAligned()
    {
        write(QStringLiteral("m.csv"),
              sale("M1", "1/1/2020", "1.00") + sale("M2", "1/2/2020", "-21474836.48"));
        start();
        main_->resize(1600, 500);
        QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
        const TRecordListModel *model = main_->listModel();
        for (int c = 0; c < TRecordListModel::ColumnCount; ++c) {
            const bool money =
                c == TRecordListModel::Gross || c == TRecordListModel::Fee || c == TRecordListModel::Balance;
            const Qt::Alignment expected = money ? Qt::AlignRight : Qt::AlignLeft;
            QCOMPARE(model->data(model->index(0, c), Qt::TextAlignmentRole).value<Qt::Alignment>() &
                         Qt::AlignHorizontal_Mask,
                     expected);
            QCOMPARE(model->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() &
                         Qt::AlignHorizontal_Mask,
                     expected);
        }
        const QImage picture = list()->viewport()->grab().toImage();
        main_->grab().save(QStringLiteral(QV_REPORT_ARTEFACTS "/list-amounts.png"));
        const QImage headerPicture = list()->horizontalHeader()->viewport()->grab().toImage();
        // The columns of ink of the text in a rectangle of a picture.
        const auto ink = [](const QImage &image, QRect r) {
            int left = -1, right = -1;
            const int ground = qGray(image.pixel(r.center().x(), r.top() + 1));
            for (int x = r.left() + 1; x < r.right() - 1; ++x)
                for (int y = r.top() + 2; y < r.bottom() - 1; ++y)
                    if (std::abs(qGray(image.pixel(x, y)) - ground) > 100) {
                        if (left < 0)
                            left = x;
                        right = x;
                    }
            return std::pair{left - r.left(), r.right() - right};
        };
        QHeaderView *header = list()->horizontalHeader();
        for (const int c : {int(TRecordListModel::Gross), int(TRecordListModel::Balance)}) {
            const auto [left, right] = ink(picture, list()->visualRect(model->index(0, c)));
            QVERIFY2(left > 0 && right < 10 && left > right,
                     qPrintable(QStringLiteral("column %1: %2 free at the left, %3 at the right")
                                    .arg(c)
                                    .arg(left)
                                    .arg(right)));
            const QRect caption(header->sectionViewportPosition(c), 0, header->sectionSize(c),
                                header->height());
            const auto [captionLeft, captionRight] = ink(headerPicture, caption);
            QVERIFY2(captionLeft > captionRight,
                     qPrintable(QStringLiteral("caption %1: %2 free at the left, %3 at the right")
                                    .arg(c)
                                    .arg(captionLeft)
                                    .arg(captionRight)));
        }
        const auto [idLeft, idRight] = ink(picture, list()->visualRect(model->index(0, 0)));
        QVERIFY(idLeft < idRight);
    }

    void theListsContextMenuOpens_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Menu key") << int(Qt::Key_Menu) << int(Qt::NoModifier);
        QTest::newRow("Shift+F10") << int(Qt::Key_F10) << int(Qt::ShiftModifier);
        QTest::newRow("right button") << 0 << 0;
    }
    // Copy and Export list..., at the selected row from the keyboard, where the right button was
    // pressed with the mouse; Copy copies the row.
    void theListsContextMenuOpens()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        std::string lines;
        for (int i = 0; i < 60; ++i)
            lines += sale("R" + std::to_string(100 + i), "1/1/2020", "1.00");
        write(QStringLiteral("r.csv"), lines);
        start();
        main_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main_.get()));
        const int row = 40; // below the rows first in view
        list()->selectRow(row);
        list()->setFocus();
        QRect seen;
        QStringList items;
        whenPopup([&](QMenu *menu) {
            seen = menu->geometry();
            items = actionTexts(menu);
            for (QAction *a : menu->actions())
                if (a->text() == QStringLiteral("&Copy"))
                    a->trigger();
            menu->close();
        });
        QPoint pressed;
        if (key != 0) {
            QTest::keyClick(list(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        } else {
            list()->scrollTo(list()->model()->index(row, 0));
            pressed = list()->visualRect(list()->model()->index(row, 3)).center();
            QContextMenuEvent event(QContextMenuEvent::Mouse, pressed,
                                    list()->viewport()->mapToGlobal(pressed));
            QApplication::sendEvent(list()->viewport(), &event);
        }
        QTRY_VERIFY(!items.isEmpty());
        QCOMPARE(items, (QStringList{"&Copy", "&Export list..."}));
        const QRect rowRect = list()->visualRect(list()->model()->index(row, 0));
        const QPoint rowTop = list()->viewport()->mapToGlobal(rowRect.topLeft());
        QVERIFY2(std::abs(seen.top() - rowTop.y()) <= rowRect.height(),
                 qPrintable(QStringLiteral("menu at %1, row at %2").arg(seen.top()).arg(rowTop.y())));
        if (key == 0)
            QCOMPARE(seen.topLeft(), list()->viewport()->mapToGlobal(pressed));
        QVERIFY(QGuiApplication::clipboard()->text().startsWith(QStringLiteral("R140\t")));
    }

    // Ctrl+Q, the standard key of the exit action, stands in the File menu and closes the window.
    void ctrlQEndsTheProgram()
    {
        start();
        QAction *exit = action("actFileExit");
        QVERIFY(exit->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Q)));
        QVERIFY(main_->findChild<QMenu *>("mnuFile")->actions().contains(exit));
        main_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main_.get()));
        QTest::keyClick(list(), Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!main_->isVisible());
    }

    void picturesStayVisibleOnADarkBackground_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("size");
        for (const char *name : {"actFileImport", "actSearchTransId", "actSearchAll", "actHelpWebsite"})
            for (const int size : {16, 32})
                QTest::addRow("%s %d", name, size) << QString::fromLatin1(name) << size;
    }
    // Every menu and tool bar picture shows as much of itself on a dark background as on a light one.
    void picturesStayVisibleOnADarkBackground()
    {
        QFETCH(QString, name);
        QFETCH(int, size);
        if (!main_)
            start();
        const QIcon icon = action(name.toLatin1().constData())->icon();
        const QRect light = visibleExtent(icon, size, QColor(0xef, 0xef, 0xef));
        const QRect dark = visibleExtent(icon, size, QColor(0x2a, 0x2e, 0x32));
        QVERIFY(!light.isEmpty());
        if (size == 32) {
            QImage picture(2 * size, size, QImage::Format_RGB32);
            QPainter painter(&picture);
            painter.fillRect(0, 0, size, size, QColor(0xef, 0xef, 0xef));
            painter.fillRect(size, 0, size, size, QColor(0x2a, 0x2e, 0x32));
            icon.paint(&painter, QRect(0, 0, size, size));
            icon.paint(&painter, QRect(size, 0, size, size));
            painter.end();
            picture.scaled(8 * size, 4 * size)
                .save(QStringLiteral(QV_REPORT_ARTEFACTS "/picture-%1-light-dark.png").arg(name));
        }
        QVERIFY2(dark.contains(light.adjusted(1, 1, -1, -1)),
                 qPrintable(QStringLiteral("seen on light %1,%2 %3x%4, on dark %5,%6 %7x%8")
                                .arg(light.x())
                                .arg(light.y())
                                .arg(light.width())
                                .arg(light.height())
                                .arg(dark.x())
                                .arg(dark.y())
                                .arg(dark.width())
                                .arg(dark.height())));
    }

    // A screen reader finds a name for every control of every window: the main window, the search box,
    // the report window with its data table, the date range dialog and the loaded files window.
    void everyControlOfEveryWindowHasAnAccessibleName()
    {
        startWithTwoFiles();
        main_->resize(500, 600); // narrow: the tool bar's extension button shows
        QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
        QVERIFY(main_->statusProblems()->isVisible());
        QStringList nameless = namelessIn(main_.get());

        QStringList inSearch{QStringLiteral("the search box did not open")};
        {
            const ModalWatch watch = whenModal<QInputDialog>([&inSearch](QInputDialog *box) {
                inSearch = namelessIn(box);
                box->reject();
            });
            action("actSearchName")->trigger();
        }
        nameless << inSearch;

        TFrmReport report;
        report.BeginReport(QStringLiteral("Gross report"), QStringLiteral("Gross"));
        report.AddDayPoint(qv_date{2021, 1, 5}, 1);
        report.AddDayPoint(qv_date{2021, 2, 5}, 2);
        report.actionShowData()->setChecked(true);
        showAndSettle(report);
        nameless << namelessIn(&report);
        report.close();

        TDlgDate dates;
        dates.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dates));
        nameless << namelessIn(&dates);
        dates.close();

        action("actFileLoadedFiles")->trigger();
        nameless << namelessIn(main_->loadedFilesWindow());
        QVERIFY2(nameless.isEmpty(), qPrintable(nameless.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TestView)
#include "test_view.moc"
