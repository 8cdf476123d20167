// The transaction list's model. TRecordListModel's rows are the addresses of the records shown; it
// makes their texts when a view asks for them (qv_list_text, shown by qv_display_text), finds a row by
// the beginning of its text (findRow) and compares rows as a sort orders them; the sort itself is in
// Record_list_sort.cpp. It calls the data layer for the records and nothing of the windows.
#include "Record_list_model.h"

#include "Qv_export.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

QString qv_display_text(std::string_view bytes)
{
    // The shown text is the one an export writes.
    const std::string utf8 = qv_utf8_text(bytes);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

int qv_list_text_compare(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(a[i]);
        auto y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z')
            x = static_cast<unsigned char>(x - ('a' - 'A'));
        if (y >= 'a' && y <= 'z')
            y = static_cast<unsigned char>(y - ('a' - 'A'));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

namespace {

// The amount of the column, for columns that show one.
const amount *amountOf(const Tqv_record &rec, int column)
{
    switch (column) {
    case TRecordListModel::Gross:
        return &rec.gross;
    case TRecordListModel::Fee:
        return &rec.fee;
    case TRecordListModel::Balance:
        return &rec.balance;
    default:
        return nullptr;
    }
}

} // namespace

std::string_view qv_list_text(const Tqv_record &rec, int column, char (&room)[32])
{
    // Dates carry 16-bit parts and amounts 64-bit ones: 32 bytes hold any of their texts.
    switch (column) {
    case TRecordListModel::TransId:
        return rec.trans_id();
    case TRecordListModel::Date:
        return {room, static_cast<std::size_t>(qv_date_put(room, rec.date) - room)};
    case TRecordListModel::Time:
        return {room, static_cast<std::size_t>(qv_time_put(room, rec.time) - room)};
    case TRecordListModel::Status:
        return rec.status();
    case TRecordListModel::ItemTitle:
        return rec.item_title();
    case TRecordListModel::Gross:
        return {room, static_cast<std::size_t>(qv_amount_put(room, rec.gross) - room)};
    case TRecordListModel::Fee:
        return {room, static_cast<std::size_t>(qv_amount_put(room, rec.fee) - room)};
    case TRecordListModel::Balance:
        return {room, static_cast<std::size_t>(qv_amount_put(room, rec.balance) - room)};
    case TRecordListModel::FromEmail:
        return rec.from_email();
    default:
        return {};
    }
}

TRecordListModel::TRecordListModel(QObject *parent) : QAbstractTableModel(parent)
{
}

int TRecordListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TRecordListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TRecordListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::TextAlignmentRole)
        return columnAlignment(index.column());
    if (role != Qt::DisplayRole)
        return {};
    char room[32];
    return qv_display_text(qv_list_text(record(index.row()), index.column(), room));
}

QVariant TRecordListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const captions[ColumnCount] = {"Transaction ID",    "Date",  "Time", "Status",
                                                      "Item title",        "Gross", "Fee",  "Balance",
                                                      "From Email address"};
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    // The captions of the amounts stand over them, at the right.
    if (role == Qt::TextAlignmentRole)
        return columnAlignment(section);
    if (role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromLatin1(captions[section]);
}

QVariant TRecordListModel::columnAlignment(int column)
{
    const bool money = column == Gross || column == Fee || column == Balance;
    return QVariant::fromValue(Qt::Alignment((money ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
}

TRecordListModel::Refill::Refill(TRecordListModel &model) : model_(model)
{
    model_.beginRefill();
    model_.clearRows();
}

TRecordListModel::Refill::~Refill()
{
    if (!done_)
        model_.clearRows();
    model_.endRefill();
}

void TRecordListModel::beginRefill()
{
    beginResetModel();
}

void TRecordListModel::clearRows()
{
    rows_.clear();
    sortedBy_ = -1;
}

void TRecordListModel::reserveRows(std::size_t rows)
{
    rows_.reserve(rows_.size() + rows);
}

void TRecordListModel::endRefill()
{
    endResetModel();
}

std::string TRecordListModel::text(int row, int column) const
{
    char room[32];
    return std::string(qv_list_text(record(row), column, room));
}

int TRecordListModel::compareRows(int row1, int row2, int column) const
{
    const Tqv_record &a = record(row1);
    const Tqv_record &b = record(row2);
    if (const amount *x = amountOf(a, column)) {
        const amount y = *amountOf(b, column);
        return *x < y ? -1 : (*x > y ? 1 : 0);
    }
    char room1[32], room2[32];
    return qv_list_text_compare(qv_list_text(a, column, room1), qv_list_text(b, column, room2));
}

namespace {

// Whether text begins with prefix, ASCII letters in either case.
bool beginsWith(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && qv_list_text_compare(text.substr(0, prefix.size()), prefix) == 0;
}

} // namespace

int TRecordListModel::findRow(int column, std::string_view prefix, int from) const
{
    const auto n = static_cast<int>(rows_.size());
    if (n == 0 || prefix.empty() || column < 0 || column >= ColumnCount)
        return -1;
    from = from < 0 || from >= n ? 0 : from;
    char room[32];
    const auto textOf = [&](int row) { return qv_list_text(record(row), column, room); };
    const bool byText = column != Gross && column != Fee && column != Balance; // amounts sort by value
    if (sortedBy_ == column && byText) {
        // The rows whose text begins with prefix stand together: the first of them is found by halving.
        int low = 0;
        int high = n;
        while (low < high) {
            const int mid = low + (high - low) / 2;
            const std::string_view text = textOf(mid);
            const int c = qv_list_text_compare(text.substr(0, std::min(text.size(), prefix.size())), prefix);
            if (c * sortedDirection_ < 0)
                low = mid + 1;
            else
                high = mid;
        }
        if (low == n || !beginsWith(textOf(low), prefix))
            return -1;
        return beginsWith(textOf(from), prefix) ? from : low;
    }
    for (int i = 0; i < n; ++i) {
        const int row = (from + i) % n;
        if (beginsWith(textOf(row), prefix))
            return row;
    }
    return -1;
}
