// The transaction list's model: the texts its rows hold, its sort in both directions over texts that
// share long beginnings, differ in case or carry bytes above 127, the amounts by value, and the
// selection following its row through a sort.
#include "Record_list_model.h"

#include "../unit/history_text.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <fstream>
#include <limits>
#include <optional>
#include <random>
#include <thread>

namespace {

Tqv_record record(std::string_view id, std::string_view status, std::string_view title,
                  std::string_view email)
{
    std::array<std::string_view, qv_text_field_count> texts{};
    texts[qv_f_trans_id] = id;
    texts[qv_f_status] = status;
    texts[qv_f_item_title] = title;
    texts[qv_f_from_email] = email;
    Tqv_record rec;
    rec.set_texts(texts);
    return rec;
}

std::string shown(const TRecordListModel &model, int row, int column)
{
    return std::string(model.text(row, column));
}

// Where the rows sorted by column in direction are out of order: a row before one it should follow,
// or equal rows not in ID order. Empty when none is.
QString orderFault(const TRecordListModel &model, int column, int direction)
{
    for (int row = 1; row < model.rowCount(); ++row) {
        const int order = model.compareRows(row - 1, row, column) * direction;
        if (order > 0 || (order == 0 && !(model.text(row - 1, 0) < model.text(row, 0))))
            return QStringLiteral("column %1, direction %2, row %3").arg(column).arg(direction).arg(row);
    }
    return {};
}

// How the amounts of amountsOfAnySpreadSortByValue spread.
enum Spread { same, cents, widest, anyBits, sharedLowBits };

} // namespace

class TestListModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rowsHoldTheTextsOfTheRecord_data()
    {
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("day");
        QTest::addColumn<int>("hour");
        QTest::addColumn<qint64>("gross");
        QTest::newRow("ordinary") << 2009 << 6 << 5 << 7 << qint64{123456};
        QTest::newRow("no date, no time, zero") << 0 << 0 << 0 << 0 << qint64{0};
        QTest::newRow("short year and cents") << 9 << 12 << 31 << 23 << qint64{-5};
        QTest::newRow("widest parts") << 65535 << 255 << 255 << 255 << std::numeric_limits<qint64>::min();
        QTest::newRow("greatest amount") << 10000 << 1 << 1 << 0 << std::numeric_limits<qint64>::max();
        QTest::newRow("minus one") << 2020 << 1 << 1 << 12 << qint64{-100};
    }

    void rowsHoldTheTextsOfTheRecord()
    {
        QFETCH(int, year);
        QFETCH(int, month);
        QFETCH(int, day);
        QFETCH(int, hour);
        QFETCH(qint64, gross);
        Tqv_record rec = record("T1", "Completed", "Title", "a@b.example");
        rec.date = {static_cast<std::uint16_t>(year), static_cast<std::uint16_t>(month),
                    static_cast<std::uint16_t>(day)};
        rec.time.hour = static_cast<std::uint8_t>(hour);
        rec.time.minute = 7;
        rec.gross = gross;
        rec.fee = -(gross / 3);
        rec.balance = gross / 7;
        TRecordListModel model;
        model.beginRefill();
        model.appendRow(rec);
        model.endRefill();
        // The list shows what the data layer's text functions give.
        QCOMPARE(shown(model, 0, TRecordListModel::Date), qv_date_text(rec.date));
        QCOMPARE(shown(model, 0, TRecordListModel::Time), qv_time_text(rec.time));
        QCOMPARE(shown(model, 0, TRecordListModel::Gross), qv_amount_text(rec.gross));
        QCOMPARE(shown(model, 0, TRecordListModel::Fee), qv_amount_text(rec.fee));
        QCOMPARE(shown(model, 0, TRecordListModel::Balance), qv_amount_text(rec.balance));
        QCOMPARE(shown(model, 0, TRecordListModel::TransId), std::string("T1"));
        QCOMPARE(shown(model, 0, TRecordListModel::FromEmail), std::string("a@b.example"));
    }

    void sortsEveryColumnInBothDirectionsKeepingEqualsInOrder_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("splitFrom");
        QTest::addColumn<bool>("fromStore");
        // A short list's texts are sorted by comparisons, a longer one's byte by byte.
        for (const int count : {400, 1500}) {
            const QByteArray rows = QByteArray::number(count) + " rows, ";
            QTest::newRow(rows + "records of their own, on one thread") << count << 1000000 << false;
            // The rows split between two threads, as a big list's are.
            QTest::newRow(rows + "records of their own, in halves") << count << 64 << false;
            // A store holds the texts that repeat once for all its records.
            QTest::newRow(rows + "records of a store, on one thread") << count << 1000000 << true;
            QTest::newRow(rows + "records of a store, in halves") << count << 64 << true;
        }
    }

    void sortsEveryColumnInBothDirectionsKeepingEqualsInOrder()
    {
        QFETCH(int, splitFrom);
        QFETCH(int, count);
        QFETCH(bool, fromStore);
        // Texts alike in their first 16 or 32 bytes, in case only, by a byte above 127 or by length; two
        // sets of them that begin alike, so that both threads of a split sort have rows to sort further.
        // Some are the first 8 or 16 bytes of others, whole.
        const std::vector<std::string> stems = {"Vintage vinyl record, first pressing",
                                                "VINTAGE VINYL RECORD, FIRST PRESSING!",
                                                "vintage vinyl record, first",
                                                "Vintage vinyl record, first pressing\xE9",
                                                "Vintage vinyl record, first pressin",
                                                "Vintage vinyl record",
                                                "vintage vinyl recorD",
                                                "",
                                                "z",
                                                "_under",
                                                "\xC3\xA9t\xC3\xA9",
                                                "Vintage vinyl record, first pressing, second sleeve",
                                                "Record sleeves, outer, 12 inch",
                                                "RECORD SLEEVES, INNER",
                                                "Record sleeves, outer, 12 inch, 50 pcs",
                                                "Vintage ",
                                                "vintage vinyl re"};
        std::mt19937 random(7);
        std::vector<Tqv_record> records;
        records.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            const std::string id = "ID" + std::to_string(100000 + i);
            // Half the addresses in small groups that agree in their first bytes, not in all.
            const std::string address = i % 2 ? std::string(1, static_cast<char>('a' + random() % 20)) +
                                                    "_shop.example." + std::to_string(random() % 4)
                                              : stems[random() % stems.size()];
            Tqv_record rec =
                record(id, stems[random() % stems.size()], stems[random() % stems.size()], address);
            rec.gross = static_cast<amount>(random() % 2001) - 1000;
            rec.fee = static_cast<amount>(random() % 5) * 100;
            rec.balance = static_cast<amount>(random() % 3) - 1;
            // Years of one to five digits and parts of three, whose texts order otherwise than their values.
            const std::uint16_t years[] = {2020, 2020, 999, 0, 7, 1000, 10000, 65535};
            rec.date = {years[random() % 8],
                        static_cast<std::uint16_t>(random() % 9 == 0 ? 255 : 1 + random() % 12),
                        static_cast<std::uint16_t>(random() % 9 == 0 ? 100 : 1 + random() % 28)};
            rec.time.hour = static_cast<std::uint8_t>(random() % 9 == 0 ? 200 : random() % 24);
            rec.time.second = static_cast<std::uint8_t>(random() % 60);
            records.push_back(std::move(rec));
        }
        // The same records loaded from a file (with dates and times that a file can hold).
        Tqv_records store;
        if (fromStore) {
            QTemporaryDir dir;
            QVERIFY(dir.isValid());
            const std::string path = dir.filePath(QStringLiteral("history.csv")).toStdString();
            std::ofstream out(path, std::ios::binary);
            out << testing_history::header_line;
            for (const Tqv_record &rec : records) {
                out << testing_history::line(
                    {{0, std::to_string(rec.date.month % 12 + 1) + "/" +
                             std::to_string(rec.date.day % 28 + 1) + "/" +
                             std::to_string(2000 + rec.date.year % 30)},
                     {1, std::to_string(rec.time.hour % 24) + ":00:" + std::to_string(rec.time.second)},
                     {5, std::string(rec.status())},
                     {6, qv_amount_text(rec.gross)},
                     {7, qv_amount_text(rec.fee)},
                     {9, std::string(rec.from_email())},
                     {11, std::string(rec.trans_id())},
                     {14, std::string(rec.item_title())},
                     {34, qv_amount_text(rec.balance)}});
            }
            out.close();
            qv_load_report report;
            qv_load_history_file(store, path, report);
            QCOMPARE(store.count(), records.size());
            QVERIFY(report.problems.empty());
        }
        TRecordListModel model;
        // The tester walks every row after each sort; the short list's sorts tell the views the same
        // way as the long list's, at a fraction of the cost under valgrind.
        std::optional<QAbstractItemModelTester> tester;
        if (count < 1000)
            tester.emplace(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setSplitFrom(static_cast<std::size_t>(splitFrom));
        model.beginRefill();
        for (std::size_t i = 0; i < records.size(); ++i)
            model.appendRow(fromStore ? store.record_at(i)->data : records[i]);
        model.endRefill();

        for (int direction : {-1, 1}) {
            for (int column = 0; column < TRecordListModel::ColumnCount; ++column) {
                // First by ID, so that equal rows of the column must come out in ID order.
                model.sortRows(TRecordListModel::TransId, 1);
                model.sortRows(column, direction);
                if (const QString fault = orderFault(model, column, direction); !fault.isEmpty())
                    QFAIL(qPrintable(fault));
            }
        }
    }

    void longRunsOfTextsAlikeSortInParts_data()
    {
        QTest::addColumn<int>("splitFrom");
        QTest::newRow("on one thread") << 1000000;
        QTest::newRow("in halves") << 64;
    }

    // Texts from few letters, so that the rows that agree in their first bytes are more than a part of
    // a sort takes at once: such a part is parted again by its bytes, down to the last ones, and by
    // length. The addresses agree in their first eight bytes in two halves, so that the later rounds
    // sort runs as long. Capitals and small letters key alike.
    void longRunsOfTextsAlikeSortInParts()
    {
        QFETCH(int, splitFrom);
        std::mt19937 random(11);
        std::vector<Tqv_record> records;
        for (int i = 0; i < 30000; ++i) {
            std::string title = "Q";
            const std::size_t length = 1 + random() % 12;
            for (std::size_t k = 1; k < length; ++k)
                title += static_cast<char>((random() % 2 ? 'a' : 'A') + random() % (k < 4 ? 2 : 3));
            // A twelfth of them only their first eight bytes: those come first in their half.
            const std::string email = std::string(1, static_cast<char>('a' + random() % 2)) +
                                      (title.size() == 1 ? "_shared" : "_shared_part_" + title.substr(1));
            // Four in five statuses begin alike: a part of most of the list, which both cores part.
            std::string status = random() % 5 != 0 ? "Co" : "Pe";
            for (int k = 0; k < 3; ++k)
                status += static_cast<char>('a' + random() % 3);
            records.push_back(record("ID" + std::to_string(100000 + i), status, title, email));
        }
        TRecordListModel model;
        model.setSplitFrom(static_cast<std::size_t>(splitFrom));
        model.beginRefill();
        for (const Tqv_record &rec : records)
            model.appendRow(rec);
        model.endRefill();
        for (const int column : {int(TRecordListModel::Status), int(TRecordListModel::ItemTitle),
                                 int(TRecordListModel::FromEmail)}) {
            for (const int direction : {1, -1}) {
                model.sortRows(TRecordListModel::TransId, 1);
                model.sortRows(column, direction);
                if (const QString fault = orderFault(model, column, direction); !fault.isEmpty())
                    QFAIL(qPrintable(fault));
            }
        }
    }

    void theMiddleRowsTextsAreComparedOnBothSides_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        // Of 2,000 rows in halves, rows 300 to 1,699 begin alike ("Complete" and one more letter): the
        // middle row (1,000) is among them. The rows [from, to) of those end in another letter.
        QTest::newRow("the first of them") << 300 << 301;
        QTest::newRow("the last of them") << 1699 << 1700;
        QTest::newRow("just before the middle") << 999 << 1000;
        QTest::newRow("the middle row") << 1000 << 1001;
        QTest::newRow("just after the middle") << 1001 << 1002;
        QTest::newRow("the first half up to the middle") << 300 << 1000;
        QTest::newRow("from the middle on") << 1000 << 1700;
        QTest::newRow("from just after the middle on") << 1001 << 1700;
    }

    // The rows whose keys agree with the middle row's are looked through by both threads, each on its
    // side of the middle: a row that differs anywhere among them, or a side that differs from the
    // other, still sorts them by their whole texts.
    void theMiddleRowsTextsAreComparedOnBothSides()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        std::vector<Tqv_record> records;
        for (int i = 0; i < 2000; ++i) {
            const char *status = i < 300 ? "Canceled" : i >= 1700 ? "Pending" : "Completed";
            if (i >= from && i < to)
                status = "Completes";
            records.push_back(record("ID" + std::to_string(100000 + i), status, "title", "a@b.example"));
        }
        TRecordListModel model;
        model.setSplitFrom(64);
        model.beginRefill();
        for (const Tqv_record &rec : records)
            model.appendRow(rec);
        model.endRefill();
        for (const int direction : {1, -1}) {
            model.sortRows(TRecordListModel::TransId, 1);
            model.sortRows(TRecordListModel::Status, direction);
            if (const QString fault = orderFault(model, TRecordListModel::Status, direction);
                !fault.isEmpty())
                QFAIL(qPrintable(fault));
        }
    }

    void idsInAnyOrderSortInHalvesAsOnOneThread_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("order");
        // The two threads split the rows around the middle of a sample spread evenly over them: rows
        // already in order or in reverse, shuffled, a pattern with the sample's own spacing (every
        // sampled row holds the same ID, the others shuffled ones), IDs alike in their first eight
        // bytes (in the first round only the rows' positions tell them apart), and lists barely long
        // enough to split.
        for (const int count : {2, 3, 65, 1023, 6000}) {
            for (const char *order : {"ascending", "descending", "shuffled", "sample spacing", "alike"})
                QTest::newRow(qPrintable(QStringLiteral("%1 rows, %2").arg(count).arg(order)))
                    << count << QString::fromLatin1(order);
        }
    }

    void idsInAnyOrderSortInHalvesAsOnOneThread()
    {
        QFETCH(int, count);
        QFETCH(QString, order);
        std::mt19937 random(static_cast<unsigned>(count));
        std::vector<bool> sampled(static_cast<std::size_t>(count));
        for (int s = 0; s < 255; ++s)
            sampled[static_cast<std::size_t>((count - 1) * s / 254)] = true;
        std::vector<Tqv_record> records;
        for (int i = 0; i < count; ++i) {
            std::string id = "K" + std::to_string(random() % 1000000);
            if (order == QLatin1String("ascending"))
                id = "K" + std::to_string(100000 + i);
            else if (order == QLatin1String("descending"))
                id = "K" + std::to_string(900000 - i);
            else if (order == QLatin1String("sample spacing") && sampled[static_cast<std::size_t>(i)])
                id = "K500000";
            else if (order == QLatin1String("alike"))
                id = "SAMEHEAD" + std::to_string(random() % 50);
            records.push_back(record(id, "", "", ""));
        }
        const auto fill = [&](TRecordListModel &model) {
            model.beginRefill();
            for (const Tqv_record &rec : records)
                model.appendRow(rec);
            model.endRefill();
        };
        TRecordListModel halves;
        halves.setSplitFrom(2);
        fill(halves);
        TRecordListModel whole; // on one thread
        fill(whole);
        for (const int direction : {1, -1, 1}) {
            halves.sortRows(TRecordListModel::TransId, direction);
            whole.sortRows(TRecordListModel::TransId, direction);
            for (int row = 0; row < count; ++row) {
                QCOMPARE(&halves.record(row), &whole.record(row));
                if (row > 0)
                    QVERIFY(halves.compareRows(row - 1, row, TRecordListModel::TransId) * direction <= 0);
            }
        }
    }

    void rowsAreTheRecordsThemselvesThroughSortsAndRefills()
    {
        const std::string longTitle(300, 'x'); // the record keeps its first 127
        std::vector<std::string> ids;
        for (int i = 0; i < 301; ++i)
            ids.push_back("P" + std::to_string(i));
        std::vector<Tqv_record> records;
        for (int i = 0; i < 301; ++i) {
            records.push_back(
                record(ids[i], i % 2 ? "Completed" : "", i % 7 ? "Title" : longTitle, "m@x.example"));
            records.back().gross = 1000 - i;
            records.back().date = {2020, static_cast<std::uint16_t>(1 + i % 12), 1};
        }
        TRecordListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const auto fill = [&] {
            TRecordListModel::Refill refill(model);
            model.reserveRows(records.size());
            for (const Tqv_record &rec : records)
                model.appendRow(rec);
            refill.done();
        };
        fill();
        QCOMPARE(shown(model, 105, TRecordListModel::ItemTitle), std::string(records[105].item_title()));
        QCOMPARE(shown(model, 105, TRecordListModel::ItemTitle).size(), std::size_t{127});
        model.sortRows(TRecordListModel::Gross, 1);
        QCOMPARE(shown(model, 0, TRecordListModel::TransId), std::string("P300"));
        QCOMPARE(shown(model, 300, TRecordListModel::TransId), std::string("P0"));
        // Every row is its record, with the texts the record gives, in whatever order the rows stand.
        for (int row = 0; row < model.rowCount(); ++row) {
            const Tqv_record &rec = records[static_cast<std::size_t>(300 - row)];
            QCOMPARE(&model.record(row), &rec);
            const std::string expected[TRecordListModel::ColumnCount] = {
                std::string(rec.trans_id()), qv_date_text(rec.date),        qv_time_text(rec.time),
                std::string(rec.status()),   std::string(rec.item_title()), qv_amount_text(rec.gross),
                qv_amount_text(rec.fee),     qv_amount_text(rec.balance),   std::string(rec.from_email())};
            for (int column = 0; column < TRecordListModel::ColumnCount; ++column) {
                QCOMPARE(shown(model, row, column), expected[column]);
                QCOMPARE(model.data(model.index(row, column)).toString(),
                         QString::fromStdString(expected[column]));
            }
        }
        // A refill after a sort lists the records in their own order again.
        fill();
        QCOMPARE(model.rowCount(), 301);
        QCOMPARE(&model.record(0), &records[0]);
        QCOMPARE(&model.record(300), &records[300]);
    }

    // A sort cancelled at any point of its work leaves the rows as they stood and tells views nothing,
    // and the sort after it orders as sortRows does. The cancel comes from another thread after a
    // growing pause, so that it meets the sort at many points of its work (or after it: then the sort
    // is whole). Over a list sorted on two threads in several rounds of keys, and a short one.
    void aCancelledSortChangesNothing()
    {
        std::vector<Tqv_record> records;
        for (int i = 0; i < 8000; ++i)
            records.push_back(record("C" + std::to_string(i * 7919 % 8000), "",
                                     std::string(24, 'T') + std::to_string(i % 50),
                                     std::to_string(i % 17) + "@x.example"));
        const auto fill = [&](TRecordListModel &m) {
            TRecordListModel::Refill refill(m);
            for (const Tqv_record &rec : records)
                m.appendRow(rec);
            refill.done();
        };
        for (const std::size_t splitFrom : {std::size_t{1} << 20, std::size_t{64}}) {
            TRecordListModel model;
            model.setSplitFrom(splitFrom);
            fill(model);
            QSignalSpy changes(&model, &QAbstractItemModel::layoutAboutToBeChanged);
            for (const int column : {int(TRecordListModel::ItemTitle), int(TRecordListModel::TransId)}) {
                TRecordListModel twin;
                fill(twin);
                twin.sortRows(column, -1);
                std::atomic<bool> cancel{true};
                QVERIFY(!model.orderRows(column, -1, &cancel)); // cancelled before it begins
                for (int pause = 0; pause < 3000; pause += 200) {
                    cancel.store(false);
                    std::thread canceller([&] {
                        std::this_thread::sleep_for(std::chrono::microseconds(pause));
                        cancel.store(true);
                    });
                    const bool whole = model.orderRows(column, -1, &cancel);
                    canceller.join();
                    QCOMPARE(changes.count(), 0);
                    for (int row = 0; row < model.rowCount(); ++row)
                        QCOMPARE(&model.record(row), &records[static_cast<std::size_t>(row)]);
                    if (whole) {
                        // Done before the cancel came: it shows the order it worked out.
                        model.applyOrder(column, -1);
                        for (int row = 0; row < model.rowCount(); ++row)
                            QCOMPARE(&model.record(row), &twin.record(row));
                        fill(model);
                        changes.clear();
                    }
                }
                model.sortRows(column, -1);
                QCOMPARE(changes.count(), 1);
                for (int row = 0; row < model.rowCount(); ++row)
                    QCOMPARE(&model.record(row), &twin.record(row));
                fill(model);
                changes.clear();
            }
        }
    }

    void aRefillCutShortByAnErrorLeavesTheListEmptyAndItsViewsReset()
    {
        TRecordListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const Tqv_record a = record("A", "", "", "");
        const Tqv_record b = record("B", "", "", "");
        {
            TRecordListModel::Refill refill(model);
            model.appendRow(a);
            refill.done();
        }
        QCOMPARE(model.rowCount(), 1);
        int resets = 0;
        connect(&model, &QAbstractItemModel::modelReset, this, [&resets] { ++resets; });
        try {
            TRecordListModel::Refill refill(model);
            model.appendRow(b);
            throw std::bad_alloc();
        } catch (const std::bad_alloc &) {
        }
        QCOMPARE(resets, 1);
        QCOMPARE(model.rowCount(), 0);
    }

    void amountsCompareByValueAndTextsAsCapitals_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<qint64>("gross1");
        QTest::addColumn<qint64>("gross2");
        QTest::addColumn<QByteArray>("title1");
        QTest::addColumn<QByteArray>("title2");
        QTest::addColumn<int>("order");
        const int gross = TRecordListModel::Gross;
        const int title = TRecordListModel::ItemTitle;
        QTest::newRow("10.00 above 9.00")
            << gross << qint64{1000} << qint64{900} << QByteArray() << QByteArray() << 1;
        QTest::newRow("minus below zero")
            << gross << qint64{-1} << qint64{0} << QByteArray() << QByteArray() << -1;
        QTest::newRow("case does not count")
            << title << qint64{0} << qint64{0} << QByteArray("abc") << QByteArray("ABC") << 0;
        QTest::newRow("underscore after letters")
            << title << qint64{0} << qint64{0} << QByteArray("_") << QByteArray("a") << 1;
        QTest::newRow("high bytes last")
            << title << qint64{0} << qint64{0} << QByteArray("\xE9") << QByteArray("z") << 1;
        QTest::newRow("shorter first")
            << title << qint64{0} << qint64{0} << QByteArray("ab") << QByteArray("abc") << -1;
    }

    void amountsCompareByValueAndTextsAsCapitals()
    {
        QFETCH(int, column);
        QFETCH(qint64, gross1);
        QFETCH(qint64, gross2);
        QFETCH(QByteArray, title1);
        QFETCH(QByteArray, title2);
        QFETCH(int, order);
        TRecordListModel model;
        model.beginRefill();
        Tqv_record a = record("A", "", title1.toStdString(), "");
        a.gross = gross1;
        Tqv_record b = record("B", "", title2.toStdString(), "");
        b.gross = gross2;
        model.appendRow(a);
        model.appendRow(b);
        model.endRefill();
        const int c = model.compareRows(0, 1, column);
        QCOMPARE(c < 0 ? -1 : (c > 0 ? 1 : 0), order);
        // Descending: the greater first; equal rows stay as they were.
        model.sortRows(column, -1);
        QCOMPARE(shown(model, 0, 0), std::string(order < 0 ? "B" : "A"));
    }

    // Amounts are sorted by the bits in which they differ: their spread, past the low bits that all
    // share, beside the row's position where both fit in 64 bits, apart from it where not.
    void amountsOfAnySpreadSortByValue_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("spread");
        QTest::newRow("one row") << 1 << int(widest);
        QTest::newRow("all the same") << 300 << int(same);
        QTest::newRow("a few cents either side of zero") << 300 << int(cents);
        QTest::newRow("the least and greatest amounts") << 300 << int(widest);
        QTest::newRow("any 64 bits") << 300 << int(anyBits);
        QTest::newRow("the low 20 bits zero in all") << 300 << int(sharedLowBits);
    }

    void amountsOfAnySpreadSortByValue()
    {
        QFETCH(int, rows);
        QFETCH(int, spread);
        std::mt19937_64 random(11);
        constexpr qint64 least = std::numeric_limits<qint64>::min();
        constexpr qint64 greatest = std::numeric_limits<qint64>::max();
        const qint64 extremes[] = {least, least + 1, -1, 0, 1, greatest - 1, greatest};
        std::vector<Tqv_record> records;
        for (int i = 0; i < rows; ++i) {
            Tqv_record rec = record("R" + std::to_string(i), "", "", "");
            switch (static_cast<Spread>(spread)) {
            case same:
                rec.gross = 5;
                break;
            case cents:
                rec.gross = static_cast<amount>(random() % 7) - 3;
                break;
            case widest:
                rec.gross = extremes[random() % 7];
                break;
            case anyBits:
                rec.gross = static_cast<amount>(random());
                break;
            case sharedLowBits:
                rec.gross = (static_cast<amount>(random() % 64) - 32) * (amount{1} << 20);
                break;
            }
            records.push_back(std::move(rec));
        }
        for (const std::size_t splitFrom : {std::size_t{1} << 20, std::size_t{64}}) {
            for (const int direction : {1, -1}) {
                TRecordListModel model;
                model.setSplitFrom(splitFrom);
                {
                    TRecordListModel::Refill refill(model);
                    for (const Tqv_record &rec : records)
                        model.appendRow(rec);
                    refill.done();
                }
                model.sortRows(TRecordListModel::Gross, direction);
                std::vector<std::size_t> expected(records.size());
                for (std::size_t i = 0; i < expected.size(); ++i)
                    expected[i] = i;
                std::stable_sort(expected.begin(), expected.end(), [&](std::size_t a, std::size_t b) {
                    return direction > 0 ? records[a].gross < records[b].gross
                                         : records[a].gross > records[b].gross;
                });
                for (int row = 0; row < model.rowCount(); ++row)
                    QCOMPARE(&model.record(row), &records[expected[static_cast<std::size_t>(row)]]);
            }
        }
    }

    void theSelectionFollowsItsRowThroughASort()
    {
        const Tqv_record records[] = {record("A", "", "", ""), record("B", "", "", ""),
                                      record("C", "", "", ""), record("D", "", "", "")};
        TRecordListModel model;
        model.beginRefill();
        for (const Tqv_record &rec : records)
            model.appendRow(rec);
        model.endRefill();
        QItemSelectionModel selection(&model);
        selection.select(model.index(1, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        model.sortRows(TRecordListModel::TransId, -1);
        const QModelIndexList rows = selection.selectedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().row(), 2);
        QCOMPARE(shown(model, rows.first().row(), 0), std::string("B"));
    }

    // Type-ahead finds the same row whether it halves rows sorted by the column or walks them: the first
    // from the given row on (round the end) whose text begins with the prefix, in either case.
    void typeAheadFindsTheFirstRowBeginningWithTheText_data()
    {
        QTest::addColumn<int>("sort"); // 0: as added, +1 / -1: sorted by the column
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("from");  // the ID of the row to start at
        QTest::addColumn<QString>("found"); // the ID found, or empty for none
        for (const int sort : {0, 1, -1}) {
            const QByteArray how = sort == 0 ? "as added" : sort > 0 ? "ascending" : "descending";
            QTest::newRow(how + ": a title, any case") << sort << int(TRecordListModel::ItemTitle) << "BL"
                                                       << "A1" << (sort < 0 ? "A7" : "A2");
            QTest::newRow(how + ": from a row that begins so")
                << sort << int(TRecordListModel::ItemTitle) << "bl"
                << "A5"
                << "A5";
            QTest::newRow(how + ": a longer text") << sort << int(TRecordListModel::ItemTitle) << "blues r"
                                                   << "A1"
                                                   << "A7";
            QTest::newRow(how + ": none") << sort << int(TRecordListModel::ItemTitle) << "zz"
                                          << "A1"
                                          << "";
            QTest::newRow(how + ": an e-mail address") << sort << int(TRecordListModel::FromEmail) << "c@"
                                                       << "A1"
                                                       << "A3";
            QTest::newRow(how + ": an amount, by its text") << sort << int(TRecordListModel::Gross) << "-1"
                                                            << "A1"
                                                            << "A6";
        }
        // Rows as added: the first match after the starting row, round the end.
        QTest::newRow("as added: round the end") << 0 << int(TRecordListModel::ItemTitle) << "bl"
                                                 << "A8"
                                                 << "A2";
    }
    void typeAheadFindsTheFirstRowBeginningWithTheText()
    {
        QFETCH(int, sort);
        QFETCH(int, column);
        QFETCH(QString, prefix);
        QFETCH(QString, from);
        QFETCH(QString, found);
        std::vector<Tqv_record> records = {
            record("A1", "", "Abbey Road", "a@x"),   record("A2", "", "Blue Train", "b@x"),
            record("A3", "", "Kind of Blue", "c@x"), record("A4", "", "", "d@x"),
            record("A5", "", "blue train", "e@x"),   record("A6", "", "Zen", "f@x"),
            record("A7", "", "Blues Run", "g@x"),    record("A8", "", "Abbey", "h@x"),
        };
        for (std::size_t i = 0; i < records.size(); ++i)
            records[i].gross = static_cast<amount>(i + 1) * 100; // 1.00 to 8.00, but A6: -1.00
        records[5].gross = -100;
        TRecordListModel model;
        model.beginRefill();
        for (const Tqv_record &rec : records)
            model.appendRow(rec);
        model.endRefill();
        if (sort != 0)
            model.sortRows(column, sort);
        int start = -1;
        for (int row = 0; row < model.rowCount(); ++row)
            start = shown(model, row, TRecordListModel::TransId) == from.toStdString() ? row : start;
        QVERIFY(start >= 0);
        const int row = model.findRow(column, prefix.toStdString(), start);
        QCOMPARE(row < 0 ? QString() : QString::fromStdString(shown(model, row, TRecordListModel::TransId)),
                 found);
    }
};

QTEST_MAIN(TestListModel)
#include "test_list_model.moc"
