// The main window offscreen as a start from the desktop menu leaves it: nothing of the start-up folder
// loaded with --no-folder, and the empty list saying what to do: how to load files while none is
// loaded, how to list every transaction again after a search that matched none, nothing once rows
// show. Dropped CSV files load as an import of them.
#include "Frm_main.h"
#include "List_placeholder.h"

#include "../reports/report_test_util.h"
#include "../unit/history_text.h"

#include <QAccessible>
#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QMimeData>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using testing_history::header_line;
using testing_history::sale;

namespace {

enum class Says { nothing, howToLoad, noMatch };

ModalWatch answerSearch(const QString &text)
{
    return whenModal<QInputDialog>([text](QInputDialog *box) {
        box->setTextValue(text);
        box->accept();
    });
}

// An action's text as its menu shows it, without the mnemonic's ampersand.
QString menuText(const QAction *action)
{
    return action->text().remove(QLatin1Char('&'));
}

} // namespace

Q_DECLARE_METATYPE(Says)

class TestEmptyList : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;
    QTemporaryDir elsewhere_;
    QString startDir_;
    std::unique_ptr<TFrmMain> main_;

    static QString write(const QTemporaryDir &dir, const QString &name, const std::string &lines)
    {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(header_line);
        file.write(lines.data(), static_cast<qint64>(lines.size()));
        return file.fileName();
    }

    void start(bool loadStartFolder)
    {
        main_.reset();
        QVERIFY(QDir::setCurrent(folder_.path()));
        main_ = std::make_unique<TFrmMain>(nullptr, loadStartFolder);
        main_->show();
        QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
    }

    QAction *action(const char *name) const { return main_->findChild<QAction *>(name); }
    QTableView *list() const { return main_->findChild<QTableView *>("ListView"); }
    QLabel *placeholder() const { return list()->viewport()->findChild<QLabel *>("ListPlaceholder"); }

    // What the list area says: its text when shown, or empty; the list's accessible description must
    // say the same.
    QString said() const
    {
        QLabel *label = placeholder();
        if (label == nullptr)
            return QStringLiteral("(no placeholder)");
        QAccessibleInterface *access = QAccessible::queryAccessibleInterface(list());
        const QString description = access != nullptr ? access->text(QAccessible::Description) : QString();
        const QString shown = label->isVisible() ? label->text() : QString();
        if (description != shown)
            return QStringLiteral("(description '%1' differs from '%2')").arg(description, shown);
        return shown;
    }

    // A picture of the list area, kept in the build folder.
    QImage picture(const QString &name) const
    {
        QApplication::processEvents();
        const QImage image = list()->viewport()->grab().toImage();
        image.save(QStringLiteral(QV_REPORT_ARTEFACTS "/%1.png").arg(name));
        return image;
    }

private Q_SLOTS:
    void initTestCase()
    {
        startDir_ = QDir::currentPath();
        QVERIFY(folder_.isValid());
        QVERIFY(elsewhere_.isValid());
    }

    void init()
    {
        main_.reset();
        for (const QTemporaryDir *dir : {&folder_, &elsewhere_}) {
            QDir d(dir->path());
            for (const QString &name : d.entryList(QDir::Files))
                d.remove(name);
        }
    }

    void cleanupTestCase()
    {
        main_.reset();
        QDir::setCurrent(startDir_);
    }

    void theTextFollowsTheStoreAndTheRows_data()
    {
        QTest::addColumn<qulonglong>("stored");
        QTest::addColumn<qulonglong>("shown");
        QTest::addColumn<Says>("says");
        QTest::newRow("nothing loaded") << 0ull << 0ull << Says::howToLoad;
        QTest::newRow("a search matched none of one") << 1ull << 0ull << Says::noMatch;
        QTest::newRow("a search matched none of many") << 1000000ull << 0ull << Says::noMatch;
        QTest::newRow("one shown") << 1ull << 1ull << Says::nothing;
        QTest::newRow("a search matched some") << 10ull << 3ull << Says::nothing;
        QTest::newRow("all shown") << 10ull << 10ull << Says::nothing;
    }

    void theTextFollowsTheStoreAndTheRows()
    {
        QFETCH(qulonglong, stored);
        QFETCH(qulonglong, shown);
        QFETCH(Says, says);
        const QString text = qv_list_placeholder_text(stored, shown);
        switch (says) {
        case Says::nothing:
            QCOMPARE(text, QString());
            break;
        case Says::howToLoad:
            QVERIFY2(text.startsWith(QStringLiteral("No history files loaded.")), qPrintable(text));
            QVERIFY2(text.contains(QStringLiteral("drop CSV files here")), qPrintable(text));
            break;
        case Says::noMatch:
            QVERIFY2(text.startsWith(QStringLiteral("No transaction matches.")), qPrintable(text));
            QVERIFY2(text.contains(QStringLiteral("All")), qPrintable(text));
            break;
        }
    }

    // Started without the folder in a folder that holds a history file and a CSV file that is none:
    // nothing loaded, no problem box, the list says how to load; the file given is then all there is.
    void aStartWithoutTheFolderLoadsOnlyWhatIsGiven()
    {
        write(folder_, QStringLiteral("history.csv"), sale("F1", "1/1/2020", "1.00"));
        // A shop's CSV file, quoted as a history file is: loaded, each of its lines would be a problem.
        QFile other(folder_.filePath(QStringLiteral("shop-orders.csv")));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("\"Date\",\"Time\",\"Zone\",\"Customer\",\"Note\",\"State\",\"Category\",\"Tax\","
                    "\"Total\",\"Email\",\"Shop\",\"Order\"\r\n"
                    "\"2020-01-03\",\"10:00\",\"UTC\",\"Ann\",\"\",\"open\",\"Books\",\"none\",\"12.50\","
                    "\"ann@example.com\",\"web\",\"A-1\"\r\n");
        other.close();
        const QString given = write(elsewhere_, QStringLiteral("given.csv"),
                                    sale("G1", "1/2/2020", "2.00") + sale("G2", "1/3/2020", "3.00"));
        SeenBox box;
        {
            const ModalWatch watch = answerNextMessageBox(&box);
            start(false);
        }
        QVERIFY2(!box.seen, qPrintable(box.text));
        QCOMPARE(main_->records->count(), std::size_t{0});
        QVERIFY(main_->loadedFiles().empty());
        QCOMPARE(said(), qv_list_placeholder_text(0, 0));

        main_->ImportFiles({given});
        QCOMPARE(main_->listModel()->rowCount(), 2);
        QCOMPARE(main_->listModel()->text(0, 0), std::string("G1"));
        QCOMPARE(main_->loadedFiles().size(), std::size_t{1});
        QCOMPARE(said(), QString());
    }

    // The hint stands centred in the list area in the placeholder colour and names the import as its
    // menu item and shortcut do; a search that matches nothing says so and how to list all again; rows
    // put it away.
    void theEmptyListSaysWhatToDo()
    {
        start(true);
        QLabel *label = placeholder();
        QVERIFY(label != nullptr);
        const QString hint = said();
        QCOMPARE(hint, qv_list_placeholder_text(0, 0));
        QVERIFY2(hint.contains(menuText(action("actFileImport"))), qPrintable(hint));
        QVERIFY2(hint.contains(action("actFileImport")->shortcut().toString()), qPrintable(hint));
        QCOMPARE(label->foregroundRole(), QPalette::PlaceholderText);
        QAccessibleInterface *access = QAccessible::queryAccessibleInterface(label);
        QVERIFY(access != nullptr);
        QCOMPARE(access->text(QAccessible::Name), hint);
        QCOMPARE(label->geometry(), list()->viewport()->rect());

        // The text is drawn in the middle of the area, in the placeholder colour, not over its edges.
        const QImage empty = picture(QStringLiteral("empty-list-nothing-loaded"));
        const QColor ink = list()->palette().color(QPalette::PlaceholderText);
        const QColor base = list()->palette().color(QPalette::Base);
        QRect inked;
        for (int y = 0; y < empty.height(); ++y) {
            for (int x = 0; x < empty.width(); ++x) {
                if (empty.pixelColor(x, y) != base)
                    inked |= QRect(x, y, 1, 1);
            }
        }
        QVERIFY2(!inked.isEmpty(), "nothing drawn in the empty list");
        const QPoint offCentre = inked.center() - empty.rect().center();
        QVERIFY2(std::abs(offCentre.x()) <= 3 && std::abs(offCentre.y()) <= 3,
                 qPrintable(QStringLiteral("text centred at %1,%2 off the middle")
                                .arg(offCentre.x())
                                .arg(offCentre.y())));
        QVERIFY(inked.left() > 0 && inked.right() < empty.width() - 1);
        // The colour may be translucent: its strokes show it over the base colour, the darkest pixel of
        // the text being that blend (the softened edges are lighter).
        const auto blend = [&](int c, int b) { return (c * ink.alpha() + b * (255 - ink.alpha())) / 255; };
        const QColor drawn(blend(ink.red(), base.red()), blend(ink.green(), base.green()),
                           blend(ink.blue(), base.blue()));
        int darkest = 255 * 3;
        QColor darkestColor;
        for (int y = inked.top(); y <= inked.bottom(); ++y) {
            for (int x = inked.left(); x <= inked.right(); ++x) {
                const QColor c = empty.pixelColor(x, y);
                if (c.red() + c.green() + c.blue() < darkest) {
                    darkest = c.red() + c.green() + c.blue();
                    darkestColor = c;
                }
            }
        }
        const int off = std::abs(darkestColor.red() - drawn.red()) +
                        std::abs(darkestColor.green() - drawn.green()) +
                        std::abs(darkestColor.blue() - drawn.blue());
        QVERIFY2(off <= 12,
                 qPrintable(QStringLiteral("the text's darkest pixel is %1, the placeholder colour %2")
                                .arg(darkestColor.name(), drawn.name())));

        // Nothing to search yet: the box says so and the hint stays.
        SeenBox box;
        {
            const ModalWatch watch = answerNextMessageBox(&box);
            action("actSearchName")->trigger();
        }
        QVERIFY(box.seen);
        QCOMPARE(said(), hint);

        main_->ImportFiles({write(elsewhere_, QStringLiteral("a.csv"),
                                  sale("A1", "1/1/2020", "1.00") + sale("A2", "1/2/2020", "2.00"))});
        QCOMPARE(main_->listModel()->rowCount(), 2);
        QCOMPARE(said(), QString());
        QVERIFY(!label->isVisible());

        const struct {
            const char *typed;
            int rows;
            bool noMatch;
        } searches[] = {{"nothing like it", 0, true}, {"A1", 1, false}, {"zz", 0, true}, {"A", 2, false}};
        for (const auto &s : searches) {
            const ModalWatch watch = answerSearch(QString::fromLatin1(s.typed));
            action("actSearchTransId")->trigger();
            QCOMPARE(main_->listModel()->rowCount(), s.rows);
            QCOMPARE(said(), s.noMatch ? qv_list_placeholder_text(2, 0) : QString());
        }
        {
            const ModalWatch watch = answerSearch(QStringLiteral("none"));
            action("actSearchTransId")->trigger();
        }
        const QString noMatch = said();
        QVERIFY2(noMatch.startsWith(QStringLiteral("No transaction matches.")), qPrintable(noMatch));
        QVERIFY2(noMatch.contains(menuText(action("actSearchAll"))), qPrintable(noMatch));
        QVERIFY(label->isVisible());
        picture(QStringLiteral("empty-list-no-match"));
        action("actSearchAll")->trigger();
        QCOMPARE(main_->listModel()->rowCount(), 2);
        QCOMPARE(said(), QString());
    }

    // A drop on the list goes to the window (the first that takes drops, as the desktop's drag finds
    // it), which imports the dropped CSV files and nothing else, and says what it left and why.
    void droppedCsvFilesAreImported()
    {
        start(false);
        const QString csv = write(elsewhere_, QStringLiteral("dropped.CSV"), sale("D1", "1/1/2020", "1.00"));
        const QString text = write(elsewhere_, QStringLiteral("notes.txt"), sale("T1", "1/1/2020", "1.00"));
        const QPoint at = list()->viewport()->mapTo(main_.get(), list()->viewport()->rect().center());
        QWidget *target = main_->childAt(at);
        QVERIFY(target != nullptr);
        while (!target->acceptDrops() && !target->isWindow())
            target = target->parentWidget();
        QCOMPARE(target, main_.get());

        QMimeData onlyText;
        onlyText.setUrls({QUrl::fromLocalFile(text)});
        QDragEnterEvent refused(at, Qt::CopyAction, &onlyText, Qt::LeftButton, Qt::NoModifier);
        refused.ignore();
        QApplication::sendEvent(target, &refused);
        QVERIFY(!refused.isAccepted());

        const QString folder = QDir(elsewhere_.path()).filePath(QStringLiteral("a folder"));
        QVERIFY(QDir().mkpath(folder));
        QMimeData both;
        both.setUrls({QUrl::fromLocalFile(text), QUrl::fromLocalFile(folder), QUrl::fromLocalFile(csv)});
        QDragEnterEvent enter(at, Qt::CopyAction, &both, Qt::LeftButton, Qt::NoModifier);
        enter.ignore();
        QApplication::sendEvent(target, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction, &both, Qt::LeftButton, Qt::NoModifier);
        SeenBox box;
        {
            const ModalWatch watch = answerNextMessageBox(&box);
            QApplication::sendEvent(target, &drop);
        }
        QVERIFY(box.seen);
        QVERIFY2(
            box.text.contains(QStringLiteral("notes.txt: not loaded: only .csv files are history files")),
            qPrintable(box.text));
        QVERIFY2(box.text.contains(QStringLiteral("a folder: not loaded: a folder, not a history file")),
                 qPrintable(box.text));
        QCOMPARE(main_->listModel()->rowCount(), 1);
        QCOMPARE(main_->listModel()->text(0, 0), std::string("D1"));
        QCOMPARE(said(), QString());
    }
};

QTEST_MAIN(TestEmptyList)
#include "test_empty_list.moc"
