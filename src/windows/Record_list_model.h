// The transaction list's model (see Record_list_model.cpp, and Record_list_sort.cpp for the sort): the
// rows shown, their texts and their sort.
#pragma once

#include "Bcl.h"
#include "Qv_file.h"

#include <QAbstractTableModel>
#include <QString>

#include <atomic>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

// Shows record bytes: as UTF-8 where they are valid UTF-8 (a last character cut short is dropped),
// otherwise as Windows-1252.
QString qv_display_text(std::string_view bytes);

// Eight bytes of a row's text in a column of the records' own texts, as the list orders them, in a
// number that compares like them; where the row stood before the sort, which decides between equals;
// and the whole text. Made without values: the sort writes every field of its keys before it reads one.
struct TListSortKey {
    std::uint64_t prefix;
    const char *text;
    std::uint32_t position;
    std::uint16_t size;  // of text (a record's text has 127 bytes at most)
    std::uint8_t length; // of the text's rest that prefix begins; 9: longer than prefix holds
};

// The room of the list's rows and of its sort's arrays: from 2 MiB on in large pages that go back to
// the system the moment they are let go, and made without writing their items, which are all written
// before they are read (a sort's new order and its keys, the rows of a refill). A long list's fresh
// pages are then first touched by the threads that fill them, both at once and beside their waits on
// the records, where writing zeros in them first took one thread up to most of a second for ten
// million keys.
template <class T> struct TListRoom : Tbcl_large_pages<T> {
    static_assert(std::is_trivially_destructible_v<T> && std::is_trivially_copyable_v<T>);
    TListRoom() = default;
    template <class U> TListRoom(const TListRoom<U> &) {}
    template <class U> void construct(U *p) noexcept { ::new (static_cast<void *>(p)) U; }
    template <class U, class... Args> void construct(U *p, Args &&...args)
    {
        ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
    }
};

// The transaction list: one row per record, in the order shown. A row holds no text of its own. The
// store never changes or removes a record while the program runs, so a row is the record's address and
// its texts are made when a view asks for them; a sort or a search permutes addresses. A million rows
// take 8 MB.
class TRecordListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { TransId, Date, Time, Status, ItemTitle, Gross, Fee, Balance, FromEmail, ColumnCount };
    // The rows' addresses, in large pages: a sort reads them in its new order, all over the list.
    using Rows = std::vector<const Tqv_record *, TListRoom<const Tqv_record *>>;

    explicit TRecordListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Amounts (Gross, Fee, Balance) and their captions right-aligned, the other columns left-aligned.
    static QVariant columnAlignment(int column);

    // A refill for as long as it lives: it begins by emptying the list and ends when it goes, so that
    // views see one reset whatever happens. Unless done() was called, the list ends empty: a refill
    // cut short by an error shows no rows rather than some of them.
    class Refill {
    public:
        explicit Refill(TRecordListModel &model);
        ~Refill();
        Refill(const Refill &) = delete;
        Refill &operator=(const Refill &) = delete;
        void done() { done_ = true; }

    private:
        TRecordListModel &model_;
        bool done_ = false;
    };

    // Refills go between begin and end, so that views see one reset.
    void beginRefill();
    // Empties the list; the room its rows took stays for the next fill.
    void clearRows();
    void reserveRows(std::size_t rows);
    // Appends a row for rec, which must outlive the row (a record of the store does).
    void appendRow(const Tqv_record &rec)
    {
        rows_.push_back(&rec);
        sortedBy_ = -1;
    }
    void endRefill();

    const Tqv_record &record(int row) const { return *rows_[static_cast<std::size_t>(row)]; }
    // The text of a row in a column, as the bytes the record holds or, for dates, times and amounts,
    // as their list texts.
    std::string text(int row, int column) const;
    // Orders the rows by a column: amounts by value, the rest by their text with ASCII letters compared
    // as capitals; direction +1 or -1. Rows that compare equal keep their order.
    void sortRows(int column, int direction);
    // sortRows in two steps, so that the long one can run on another thread while views read the rows:
    // orderRows works out the new order (it changes nothing that views see, and gives up with false
    // once cancel is set), applyOrder then shows it. Nothing else may change the rows in between.
    bool orderRows(int column, int direction, const std::atomic<bool> *cancel = nullptr);
    void applyOrder(int column, int direction);

    // The ascending order of two shown rows in a column, as sortRows orders them: negative, 0, positive.
    int compareRows(int row1, int row2, int column) const;
    // The row that type-ahead goes to: the first row from row from on (wrapping round) whose text in
    // column begins with prefix, ASCII letters in either case; -1 when there is none. Over rows sorted by
    // that column's text the first such row is found by halving, from itself when from is one of them.
    int findRow(int column, std::string_view prefix, int from) const;
    // From how many rows on a sort makes their keys and sorts them on two threads (tests lower it).
    void setSplitFrom(std::size_t rows) { splitFrom_ = rows; }

private:
    Rows rows_;
    std::size_t splitFrom_ = 65536;
    int sortedBy_ = -1; // the column the rows were last sorted by, until they change
    int sortedDirection_ = 1;
    // What orderRows leaves for applyOrder: the rows in their new order, and for each the row it was.
    // The keys the sort works with are let go as soon as it ends; the room of both stays for the next
    // (the rows' addresses and their positions, a seventeenth of the store).
    Rows sorted_;
    std::vector<std::uint32_t, TListRoom<std::uint32_t>> formerRows_;
};

// The text of a record in a list column: a view of the record's bytes, or of its date, time or amount
// text made into room (32 bytes hold any of them).
std::string_view qv_list_text(const Tqv_record &rec, int column, char (&room)[32]);

// Compares two list texts as the list sorts them: byte by byte, ASCII a to z as capitals.
int qv_list_text_compare(std::string_view a, std::string_view b);
