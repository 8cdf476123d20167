// The form's code names its window FrmMain too: it comes before the global of that name.
#include "ui_Frm_main.h"

#include "Bcl.h"
#include "Frm_main.h"
#include "Qv_export.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <future>

TFrmMain *FrmMain = nullptr;

namespace {

// The list's sort state: the column last clicked and the direction, flipped on every click.
int SortColumn = 0;
int SortDirection = 1;

// The product web site, kept scrambled with one key byte.
constexpr unsigned char websiteKey = 0x5A;
constexpr std::array<char, 32> scrambled(const char (&text)[32])
{
    std::array<char, 32> out{};
    for (std::size_t i = 0; i < 32; ++i)
        out[i] = static_cast<char>(static_cast<unsigned char>(text[i]) ^ websiteKey);
    return out;
}
constexpr std::array<char, 32> websiteScrambled = scrambled("https://quorvex.example/history");

QString cString(std::string_view bytes)
{
    return bytes.empty() ? QStringLiteral("(null)") : qv_display_text(bytes);
}

// Prints one detail line: the format with the values as UTF-8, into a buffer of 1024.
template <class... Args> QString detailLine(Cbcl_str &line, const char *format, Args... values)
{
    line.clear();
    std::snprintf(line.buffer(), 1024, format, values...);
    return QString::fromUtf8(line.buffer());
}

const char *const appTitle = "Quorvex history tool";

} // namespace

QIcon qv_application_icon()
{
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/images/icons/quorvex-history-%1.png").arg(size), QSize(size, size));
    return icon;
}

QString qv_display_text(std::string_view bytes)
{
    // The shown text is the one an export writes.
    const std::string utf8 = qv_utf8_text(bytes);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QStringList qv_detail_lines(const Tqv_record &r)
{
    Cbcl_str line(1024);
    QStringList lines;
    const auto s = [](std::string_view text) { return cString(text).toUtf8(); };
    lines << detailLine(line, "Transaction ID: %s (%s - %s)", s(r.trans_id()).constData(),
                        s(r.status()).constData(), s(r.status_note()).constData());
    if (!r.ref_trans_id().empty())
        lines << detailLine(line, "Reference Transaction ID: %s", s(r.ref_trans_id()).constData());
    lines << detailLine(line, "Date Time (%s): %u-%02u-%02u %02u:%02u:%02u", s(r.time_zone()).constData(),
                        unsigned{r.date.year}, unsigned{r.date.month}, unsigned{r.date.day},
                        unsigned{r.time.hour}, unsigned{r.time.minute}, unsigned{r.time.second});
    lines << QString();
    lines << detailLine(line, "Item Title: %s", s(r.item_title()).constData());
    lines << detailLine(line, "Item ID: %s", s(r.item_id()).constData());
    lines << detailLine(line, "Quantity: %d", r.quantity);
    lines << detailLine(line, "From Email Address: %s", s(r.from_email()).constData());
    if (!r.to_email().empty())
        lines << detailLine(line, "To Email Address: %s", s(r.to_email()).constData());
    lines << QString();
    const auto amountLine = [&line](const char *format, amount value) {
        return detailLine(line, format, qv_amount_text(value).c_str());
    };
    lines << amountLine("Gross: %s", r.gross) << amountLine("Fee: %s", r.fee) << amountLine("Net: %s", r.net)
          << amountLine("Shipping and Handling Amount: %s", r.shipping)
          << amountLine("Sales Tax: %s", r.sales_tax) << amountLine("Balance: %s", r.balance);
    lines << QString();
    lines << detailLine(line, "Buyer Name: %s (%s)", s(r.name()).constData(), s(r.name_note()).constData());
    // The parenthesis of the buyer ID and phone lines names the buyer they belong to.
    if (!r.buyer_id().empty())
        lines << detailLine(line, "Buyer ID: %s (%s)", s(r.buyer_id()).constData(), s(r.name()).constData());
    if (!r.phone().empty())
        lines << detailLine(line, "Contact Phone Number: %s (%s)", s(r.phone()).constData(),
                            s(r.name()).constData());
    if (!r.address1().empty()) {
        line.clear();
        char *buf = line.buffer();
        std::snprintf(buf, 1024, "Address: %s ", s(r.address1()).constData());
        if (!r.address2().empty()) {
            const std::size_t used = std::strlen(buf);
            std::snprintf(buf + used, 1024 - used, "%s ", s(r.address2()).constData());
        }
        const std::size_t used = std::strlen(buf);
        std::snprintf(buf + used, 1024 - used, "(%s)", s(r.address_note()).constData());
        lines << QString::fromUtf8(buf);
    }
    if (!r.city().empty())
        lines << detailLine(line, "City: %s ", s(r.city()).constData());
    if (!r.province().empty())
        lines << detailLine(line, "Province: %s ", s(r.province()).constData());
    if (!r.zip_code().empty())
        lines << detailLine(line, "ZIP Code: %s ", s(r.zip_code()).constData());
    if (!r.country().empty())
        lines << detailLine(line, "Country: %s ", s(r.country()).constData());
    return lines;
}

namespace {

// The problems of one file that was read: the notes on how it writes its values, and how many of its
// lines could not be loaded and how many values were left out of records that loaded, with those kept
// in the report (notes first, in the report's order).
struct FileProblems {
    std::string file;
    std::vector<const qv_load_problem *> listed;
    std::size_t unlisted = 0;
    std::size_t unlisted_values = 0;
    std::size_t count(qv_problem_kind kind) const
    {
        return static_cast<std::size_t>(std::count_if(
            listed.begin(), listed.end(), [kind](const qv_load_problem *p) { return p->kind == kind; }));
    }
    std::size_t lines() const { return count(qv_problem_kind::not_loaded) + unlisted; }
    std::size_t values() const { return count(qv_problem_kind::value_left_out) + unlisted_values; }
};

// The files that could not be read (in the order met), and the files read with problems (in the order
// their first problem was met).
void sortProblems(const qv_load_report &report, std::vector<const qv_load_problem *> &unreadable,
                  std::vector<FileProblems> &files)
{
    const auto entry = [&files](const std::string &file) -> FileProblems & {
        for (FileProblems &f : files)
            if (f.file == file)
                return f;
        files.push_back({file, {}, 0, 0});
        return files.back();
    };
    for (const qv_load_problem &p : report.problems) {
        if (p.line == 0 && p.kind != qv_problem_kind::file_form)
            unreadable.push_back(&p);
        else
            entry(p.file).listed.push_back(&p);
    }
    for (const qv_load_unlisted &u : report.unlisted) {
        entry(u.file).unlisted += u.lines;
        entry(u.file).unlisted_values += u.values;
    }
}

QString counted(std::size_t n, const char *one, const char *many)
{
    return QLocale().toString(static_cast<qulonglong>(n)) + QLatin1Char(' ') +
           QString::fromLatin1(n == 1 ? one : many);
}

// A file as the summary names it: its name without the folder unless another file of the summary has
// the same name, and at most 60 characters (the middle left out).
QString summaryName(const std::string &file, const std::vector<std::string> &all)
{
    const QString full = qv_display_text(qv_escaped_name(file));
    const QString name = QFileInfo(full).fileName();
    const bool shared = std::any_of(all.begin(), all.end(), [&](const std::string &other) {
        return other != file && QFileInfo(qv_display_text(qv_escaped_name(other))).fileName() == name;
    });
    QString shown = shared || name.isEmpty() ? full : name;
    constexpr qsizetype most = 60;
    if (shown.size() > most)
        shown = shown.left(most / 2 - 1) + QChar(0x2026) + shown.right(most / 2);
    return shown;
}

} // namespace

QString qv_load_problems_text(const qv_load_report &report)
{
    constexpr std::size_t shown = 10; // files named in each part; the details hold them all
    std::vector<const qv_load_problem *> unreadable;
    std::vector<FileProblems> files;
    sortProblems(report, unreadable, files);
    std::vector<std::string> all;
    for (const qv_load_problem *p : unreadable)
        all.push_back(p->file);
    for (const FileProblems &f : files)
        all.push_back(f.file);
    const QString indent = QStringLiteral("    ");

    QStringList out;
    if (report.cancelled)
        out << QStringLiteral("The load was cancelled.");
    if (!unreadable.empty()) {
        out << counted(unreadable.size(), "file", "files") + QStringLiteral(" could not be read:");
        for (std::size_t i = 0; i < unreadable.size() && i < shown; ++i)
            out << indent + summaryName(unreadable[i]->file, all) + QStringLiteral(": ") +
                       qv_display_text(unreadable[i]->message);
        if (unreadable.size() > shown)
            out << indent + QStringLiteral("and ") +
                       counted(unreadable.size() - shown, "more file", "more files");
    }
    std::vector<const qv_load_problem *> notes;
    for (const FileProblems &f : files)
        for (const qv_load_problem *p : f.listed)
            if (p->kind == qv_problem_kind::file_form)
                notes.push_back(p);
    if (!notes.empty()) {
        out << QStringLiteral("Values written in another form:");
        for (std::size_t i = 0; i < notes.size() && i < shown; ++i)
            out << indent + summaryName(notes[i]->file, all) + QStringLiteral(": ") +
                       qv_display_text(notes[i]->message);
        if (notes.size() > shown)
            out << indent + QStringLiteral("and ") + counted(notes.size() - shown, "more", "more");
    }
    // The files with some of the kind, as many as the summary names, and how many there are of it.
    const auto part = [&](std::size_t (FileProblems::*of)() const, const char *one, const char *many,
                          const QString &what) {
        std::size_t total = 0;
        std::vector<const FileProblems *> with;
        for (const FileProblems &f : files) {
            if ((f.*of)() > 0) {
                total += (f.*of)();
                with.push_back(&f);
            }
        }
        if (total == 0)
            return;
        out << counted(total, one, many) + what;
        for (std::size_t i = 0; i < with.size() && i < shown; ++i)
            out << indent + summaryName(with[i]->file, all) + QStringLiteral(": ") +
                       counted((with[i]->*of)(), one, many);
        if (with.size() > shown)
            out << indent + QStringLiteral("and ") + counted(with.size() - shown, "more file", "more files");
    };
    part(&FileProblems::lines, "line", "lines", QStringLiteral(" could not be loaded:"));
    part(&FileProblems::values, "value", "values",
         QStringLiteral(" could not be read; their records loaded without them:"));
    if (!out.isEmpty())
        out << QString() << QStringLiteral("The details list every problem.");
    return out.join(QLatin1Char('\n'));
}

QString qv_load_problems_details(const qv_load_report &report)
{
    std::vector<const qv_load_problem *> unreadable;
    std::vector<FileProblems> files;
    sortProblems(report, unreadable, files);
    QStringList out;
    // One problem a line, the file's name escaped so that nothing in it can break the line.
    for (const qv_load_problem *p : unreadable)
        out << qv_display_text(qv_problem_text(*p));
    for (const FileProblems &f : files) {
        for (const qv_load_problem *p : f.listed)
            out << qv_display_text(qv_problem_text(*p));
        if (f.unlisted > 0)
            out << qv_display_text(qv_escaped_name(f.file)) + QStringLiteral(": ") +
                       counted(f.unlisted, "more line", "more lines") +
                       QStringLiteral(" could not be loaded (not listed)");
        if (f.unlisted_values > 0)
            out << qv_display_text(qv_escaped_name(f.file)) + QStringLiteral(": ") +
                       counted(f.unlisted_values, "more value", "more values") +
                       QStringLiteral(" could not be read (not listed)");
    }
    return out.join(QLatin1Char('\n'));
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

int qv_list_column_width(int design, const QFontMetrics &metrics, std::string_view sample, int margin)
{
    // "MS Sans Serif" at a character height of 13 pixels, the font the widths were laid out for.
    constexpr double designAverage = 6.5;
    const QString average = QStringLiteral("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const double scale = metrics.horizontalAdvance(average) / double(average.size()) / designAverage;
    int width = std::max(design, static_cast<int>(std::ceil(design * scale)));
    if (!sample.empty())
        width = std::max(width, metrics.horizontalAdvance(QString::fromLatin1(sample)) + margin);
    return width;
}

// ---- The list model ------------------------------------------------------------------------------------

namespace {

// The list's texts of numbers, written into room: the same characters as qv_date_text
// ("%4d-%02d-%02d"), qv_time_text ("%02d:%02d:%02d") and qv_amount_text, without a string each.
char *putNumber(char *out, std::uint64_t value, int width, char pad)
{
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = n; i < width; ++i)
        *out++ = pad;
    while (n > 0)
        *out++ = digits[--n];
    return out;
}

std::size_t dateText(char *out, const qv_date &d)
{
    char *p = putNumber(out, d.year, 4, ' ');
    *p++ = '-';
    p = putNumber(p, d.month, 2, '0');
    *p++ = '-';
    return static_cast<std::size_t>(putNumber(p, d.day, 2, '0') - out);
}

std::size_t timeText(char *out, const qv_time &t)
{
    char *p = putNumber(out, t.hour, 2, '0');
    *p++ = ':';
    p = putNumber(p, t.minute, 2, '0');
    *p++ = ':';
    return static_cast<std::size_t>(putNumber(p, t.second, 2, '0') - out);
}

std::size_t amountText(char *out, amount value)
{
    const std::uint64_t magnitude =
        value < 0 ? 0u - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    char *p = out;
    if (value < 0)
        *p++ = '-';
    p = putNumber(p, magnitude / 100, 1, '0');
    *p++ = '.';
    return static_cast<std::size_t>(putNumber(p, magnitude % 100, 2, '0') - out);
}

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
        return {room, dateText(room, rec.date)};
    case TRecordListModel::Time:
        return {room, timeText(room, rec.time)};
    case TRecordListModel::Status:
        return rec.status();
    case TRecordListModel::ItemTitle:
        return rec.item_title();
    case TRecordListModel::Gross:
        return {room, amountText(room, rec.gross)};
    case TRecordListModel::Fee:
        return {room, amountText(room, rec.fee)};
    case TRecordListModel::Balance:
        return {room, amountText(room, rec.balance)};
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
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    char room[32];
    return qv_display_text(qv_list_text(record(index.row()), index.column(), room));
}

QVariant TRecordListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const captions[ColumnCount] = {"Transaction ID",    "Date",  "Time", "Status",
                                                      "Item title",        "Gross", "Fee",  "Balance",
                                                      "From Email address"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromLatin1(captions[section]);
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

using SortKey = TListSortKey;

// Eight bytes of a text from offset on, ASCII letters as capitals; a shorter rest is padded with zero
// bytes. Equal keys with padding mean that the shorter text begins the longer one.
void textKey(SortKey &key, std::string_view text, std::size_t offset)
{
    std::uint64_t prefix = 0;
    const std::size_t rest = text.size() > offset ? text.size() - offset : 0;
    const std::size_t n = std::min<std::size_t>(rest, 8);
    for (std::size_t i = 0; i < n; ++i) {
        auto c = static_cast<unsigned char>(text[offset + i]);
        if (c >= 'a' && c <= 'z')
            c = static_cast<unsigned char>(c - ('a' - 'A'));
        prefix |= std::uint64_t{c} << (8 * (7 - i));
    }
    key.prefix = prefix;
    key.length = static_cast<std::uint8_t>(std::min<std::size_t>(rest, 9));
}

// A date or time text whole, in four bits a character: blank, '-', ':' and the digits keep their byte
// order, and 0 pads, so that a shorter text that begins a longer one comes first. The texts of dates
// (13 characters at most) and times (11) always fit in 16.
void numberTextKey(SortKey &key, std::string_view text)
{
    std::uint64_t prefix = 0;
    for (std::size_t i = 0; i < text.size() && i < 16; ++i) {
        const char c = text[i];
        const std::uint64_t nibble =
            c == ' ' ? 1 : (c == '-' ? 2 : (c == ':' ? 13 : 3 + std::uint64_t(c - '0')));
        prefix |= nibble << (4 * (15 - i));
    }
    key.prefix = prefix;
    key.length = 0;
}

int keyCompare(const SortKey &a, const SortKey &b)
{
    if (a.prefix != b.prefix)
        return a.prefix < b.prefix ? -1 : 1;
    return a.length == b.length ? 0 : (a.length < b.length ? -1 : 1);
}

std::string_view keyText(const SortKey &key)
{
    return {key.text, key.size};
}

// Fetches ahead the record whose key is made 16 rows on.
void fetchRecord(const std::vector<const Tqv_record *> &rows, std::size_t i, std::size_t end)
{
    if (i + 16 < end)
        qv_record_fetch(*rows[i + 16]);
}

// The first keys of rows [begin, end) in column.
void firstKeys(const std::vector<const Tqv_record *> &rows, std::vector<SortKey> &keys, std::size_t begin,
               std::size_t end, int column)
{
    for (std::size_t i = begin; i < end; ++i) {
        fetchRecord(rows, i, end);
        SortKey &key = keys[i];
        key.position = static_cast<std::uint32_t>(i);
        char room[32];
        if (const amount *value = amountOf(*rows[i], column)) {
            // The sign bit flipped makes the numbers order as unsigned ones.
            key.prefix = static_cast<std::uint64_t>(*value) ^ (std::uint64_t{1} << 63);
            key.length = 0;
        } else if (column == TRecordListModel::Date || column == TRecordListModel::Time) {
            numberTextKey(key, qv_list_text(*rows[i], column, room));
        } else {
            // The columns left show the record's own bytes, which outlive the sort.
            const std::string_view text = qv_list_text(*rows[i], column, room);
            key.text = text.data();
            key.size = static_cast<std::uint16_t>(text.size());
            textKey(key, text, 0);
        }
    }
}

// Fetches the text of the key ahead.
void fetchText(const std::vector<SortKey> &keys, std::size_t i, std::size_t end)
{
    if (i + 16 < end)
        __builtin_prefetch(keys[i + 16].text);
}

// Runs there on another thread and here on this one, and returns when both are done.
template <class Here, class There> void onTwoThreads(Here &&here, There &&there)
{
    std::future<void> other = std::async(std::launch::async, std::forward<There>(there));
    here();
    other.get();
}

} // namespace

void TRecordListModel::sortRows(int column, int direction)
{
    if (column < 0 || column >= ColumnCount)
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<SortKey> &keys = keys_;
    keys.resize(rows_.size());
    // Most of the time goes into waiting on the records' memory: a second thread reads half of them.
    if (rows_.size() >= splitFrom_) {
        const std::size_t half = rows_.size() / 2;
        onTwoThreads([&] { firstKeys(rows_, keys, 0, half, column); },
                     [&] { firstKeys(rows_, keys, half, rows_.size(), column); });
    } else {
        firstKeys(rows_, keys, 0, rows_.size(), column);
    }
    const auto before = [direction](const SortKey &a, const SortKey &b) {
        const int c = keyCompare(a, b) * direction;
        return c != 0 ? c < 0 : a.position < b.position;
    };
    // Eight bytes at a time: the rows that still agree after them are sorted again by the next eight,
    // so that a comparison never has to leave the keys. Rows whose texts are all the same
    // (item titles and addresses repeat) are in order once they agree: their positions decide. A text
    // that the store holds once for many records is the same text wherever it is met.
    const auto sameTexts = [&](std::size_t begin, std::size_t end) {
        const SortKey &first = keys[begin];
        for (std::size_t i = begin + 1; i < end; ++i) {
            if (keys[i].text == first.text && keys[i].size == first.size)
                continue;
            fetchText(keys, i, end);
            if (qv_list_text_compare(keyText(first), keyText(keys[i])) != 0)
                return false;
        }
        return true;
    };
    const auto sortWhole = [&](std::size_t begin, std::size_t end) {
        std::sort(keys.begin() + std::ptrdiff_t(begin), keys.begin() + std::ptrdiff_t(end),
                  [&](const SortKey &a, const SortKey &b) {
                      const int c = qv_list_text_compare(keyText(a), keyText(b)) * direction;
                      return c != 0 ? c < 0 : a.position < b.position;
                  });
    };
    using Ranges = std::vector<std::pair<std::size_t, std::size_t>>;
    // The groups of sorted keys [begin, end) that agree on their keys: a group of the same texts is in
    // order, a few rows are sorted by their whole texts, and more go into longer for the next round.
    const auto group = [&](std::size_t begin, std::size_t end, Ranges &longer) {
        for (std::size_t i = begin; i < end;) {
            std::size_t j = i + 1;
            while (j < end && keyCompare(keys[i], keys[j]) == 0)
                ++j;
            if (keys[i].length == 9 && j - i > 1 && !sameTexts(i, j)) {
                if (j - i <= 64)
                    sortWhole(i, j); // a few rows: their texts are at hand after sameTexts
                else
                    longer.emplace_back(i, j);
            }
            i = j;
        }
    };
    // The next round for ranges [first, last) of rows that agree on their texts' first offset bytes.
    const auto round = [&](const Ranges &ranges, std::size_t first, std::size_t last, std::size_t offset,
                           Ranges &longer) {
        for (std::size_t r = first; r < last; ++r) {
            const auto [begin, end] = ranges[r];
            for (std::size_t i = begin; i < end; ++i) {
                fetchText(keys, i, end);
                textKey(keys[i], keyText(keys[i]), offset);
            }
            std::sort(keys.begin() + std::ptrdiff_t(begin), keys.begin() + std::ptrdiff_t(end), before);
            group(begin, end, longer);
        }
    };

    Ranges longer;
    if (keys.size() >= std::max<std::size_t>(splitFrom_, 2)) {
        // The first sort, of all rows, on both cores: each half apart, then the halves merged; then
        // each half of the groups on a core of its own.
        const auto middle = keys.begin() + std::ptrdiff_t(keys.size() / 2);
        onTwoThreads([&] { std::sort(keys.begin(), middle, before); },
                     [&] { std::sort(middle, keys.end(), before); });
        merged_.resize(keys.size());
        std::merge(keys.begin(), middle, middle, keys.end(), merged_.begin(), before);
        keys.swap(merged_);
        std::size_t split = keys.size() / 2;
        while (split < keys.size() && keyCompare(keys[split - 1], keys[split]) == 0)
            ++split;
        Ranges secondLonger;
        onTwoThreads([&] { group(0, split, longer); }, [&] { group(split, keys.size(), secondLonger); });
        longer.insert(longer.end(), secondLonger.begin(), secondLonger.end());
    } else {
        std::sort(keys.begin(), keys.end(), before);
        group(0, keys.size(), longer);
    }
    for (std::size_t offset = 8; !longer.empty(); offset += 8) {
        const Ranges ranges = std::move(longer);
        longer.clear();
        std::size_t rows = 0;
        for (const auto &[begin, end] : ranges)
            rows += end - begin;
        if (rows < splitFrom_) {
            round(ranges, 0, ranges.size(), offset, longer);
            continue;
        }
        // Many rows left: half of them on another core.
        std::size_t split = 0;
        for (std::size_t taken = 0; taken < rows / 2; ++split)
            taken += ranges[split].second - ranges[split].first;
        Ranges secondLonger;
        onTwoThreads([&] { round(ranges, 0, split, offset, longer); },
                     [&] { round(ranges, split, ranges.size(), offset, secondLonger); });
        longer.insert(longer.end(), secondLonger.begin(), secondLonger.end());
    }
    sorted_.resize(rows_.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        sorted_[i] = rows_[keys[i].position];
    rows_.swap(sorted_);
    // The selection and the current row move with their rows.
    const QModelIndexList persistent = persistentIndexList();
    if (!persistent.isEmpty()) {
        std::vector<std::uint32_t> newRow(keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i)
            newRow[keys[i].position] = static_cast<std::uint32_t>(i);
        QModelIndexList moved;
        for (const QModelIndex &index : persistent)
            moved << index.sibling(static_cast<int>(newRow[static_cast<std::size_t>(index.row())]),
                                   index.column());
        changePersistentIndexList(persistent, moved);
    }
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// ---- The window ----------------------------------------------------------------------------------------

TFrmMain::TFrmMain(QWidget *parent) : QMainWindow(parent), ui(std::make_unique<Ui::TFrmMain>())
{
    ui->setupUi(this);
    // Menus take the 16-pixel drawings, the tool bar the 32-pixel ones; on a screen at 200 % they take
    // the 32- and 64-pixel ones.
    const std::pair<QAction *, const char *> drawings[] = {{ui->actFileImport, "import"},
                                                           {ui->actSearchTransId, "search"},
                                                           {ui->actSearchFromEmailAddr, "search"},
                                                           {ui->actSearchName, "search"},
                                                           {ui->actSearchAll, "all"},
                                                           {ui->actHelpWebsite, "website"}};
    for (const auto &[action, name] : drawings) {
        QIcon icon;
        icon.addFile(QStringLiteral(":/images/") + QLatin1String(name) + QStringLiteral("16.png"),
                     QSize(16, 16));
        icon.addFile(QStringLiteral(":/images/") + QLatin1String(name) + QStringLiteral("32.png"),
                     QSize(32, 32));
        icon.addFile(QStringLiteral(":/images/") + QLatin1String(name) + QStringLiteral("64.png"),
                     QSize(64, 64));
        action->setIcon(icon);
    }
    setAcceptDrops(true);
    model_ = new TRecordListModel(this);
    ui->ListView->setModel(model_);
    ui->ListView->installEventFilter(this);
    ui->ListView->viewport()->installEventFilter(this);
    // Tab goes from the list to the detail pane and back, not from cell to cell.
    ui->ListView->setTabKeyNavigation(false);
    ui->mmDetail->setTabChangesFocus(true);
    setTabOrder(ui->ListView, ui->mmDetail);
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { listRefilled(); });
    // The tool bar shows and hides through View > Toolbar alone.
    ui->ToolBar1->setFloatable(false);
    ui->ToolBar1->toggleViewAction()->setEnabled(false);
    ui->Splitter1->setStretchFactor(0, 1);
    ui->Splitter1->setSizes({666 - 274, 274});

    importDialog_ = new QFileDialog(this, QStringLiteral("Import Quorvex history files"));
    importDialog_->setNameFilter(QStringLiteral("Quorvex history files (.csv) (*.csv)"));
    importDialog_->setDefaultSuffix(QStringLiteral("csv"));
    importDialog_->setFileMode(QFileDialog::ExistingFiles);
    importDialog_->setAcceptMode(QFileDialog::AcceptOpen);
    importDialog_->setSizeGripEnabled(true);

    const auto guarded = [this](void (TFrmMain::*handler)()) {
        return [this, handler] { bcl_guard(this, [this, handler] { (this->*handler)(); }); };
    };
    connect(ui->actFileExit, &QAction::triggered, this, &QWidget::close);
    connect(ui->actFileImport, &QAction::triggered, this, guarded(&TFrmMain::actFileImportExecute));
    connect(ui->actSearchTransId, &QAction::triggered, this, guarded(&TFrmMain::actSearchTransIdExecute));
    connect(ui->actSearchFromEmailAddr, &QAction::triggered, this,
            guarded(&TFrmMain::actSearchFromEmailAddrExecute));
    connect(ui->actSearchName, &QAction::triggered, this, guarded(&TFrmMain::actSearchNameExecute));
    connect(ui->actSearchAll, &QAction::triggered, this, guarded(&TFrmMain::actSearchAllExecute));
    connect(ui->actViewToolbar, &QAction::triggered, this, guarded(&TFrmMain::actViewToolbarExecute));
    connect(ui->actViewDetails, &QAction::triggered, this, guarded(&TFrmMain::actViewDetailsExecute));
    connect(ui->actHelpWebsite, &QAction::triggered, this, guarded(&TFrmMain::actHelpWebsiteExecute));
    // The report actions guard themselves.
    connect(ui->actReportQuantityMonth, &QAction::triggered, this, &TFrmMain::actReportQuantityMonthExecute);
    connect(ui->actReportGrossMonth, &QAction::triggered, this, &TFrmMain::actReportGrossMonthExecute);
    connect(ui->actReportQuantityDay, &QAction::triggered, this, &TFrmMain::actReportQuantityDayExecute);
    connect(ui->actReportQGrossDay, &QAction::triggered, this, &TFrmMain::actReportQGrossDayExecute);
    connect(ui->ListView->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { bcl_guard(this, [this, column] { ListViewColumnClick(column); }); });

    InitDesktopActions();
    bcl_guard(this, [this] { FormCreate(); });
    placeWindow();
}

void TFrmMain::placeWindow()
{
    // Centred on the screen, and never larger than it.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect room = screen->availableGeometry();
        resize(std::min(width(), room.width()), std::min(height(), room.height()));
        move(room.center() - rect().center());
    }
}

TFrmMain::~TFrmMain()
{
    FormClose();
}

void TFrmMain::FormCreate()
{
    std::memcpy(website_, websiteScrambled.data(), sizeof website_);
    for (char &c : website_)
        c = static_cast<char>(static_cast<unsigned char>(c) ^ websiteKey);
    InitListView();
    records = std::make_unique<Tqv_records>();
    LoadHistoryFolder();
    // The files the folder load took, by the listing it used.
    QStringList started;
    for (const std::string &name : qv_history_files(std::string()))
        started << QFile::decodeName(name.c_str());
    rememberLoaded(started);
    ShowAllRecords();
    // The window has its size and place before a problem box is centred on it.
    placeWindow();
    showLoadProblems();
}

void TFrmMain::FormClose()
{
    // The rows are the store's records: the list goes before them.
    if (model_ != nullptr) {
        const TRecordListModel::Refill empty(*model_);
    }
    records.reset();
}

void TFrmMain::closeEvent(QCloseEvent *event)
{
    FormClose();
    event->accept();
}

void TFrmMain::InitListView()
{
    ui->mmDetail->clear();
    QFont font = ui->ListView->font();
    font.setPointSize(10);
    ui->ListView->setFont(font);
    ui->ListView->horizontalHeader()->setFont(font);
    ui->ListView->setShowGrid(true);
    ui->ListView->verticalHeader()->hide();
    ui->ListView->verticalHeader()->setDefaultSectionSize(ui->ListView->fontMetrics().height() + 6);
    ui->ListView->horizontalHeader()->setSortIndicatorShown(false);
    ui->ListView->horizontalHeader()->setSectionsClickable(true);
    resize(747, 666);
    AddColumn("Transaction ID", 150);
    AddColumn("Date", 100);
    AddColumn("Time", 100);
    AddColumn("Status", 100);
    AddColumn("Item title", 200);
    AddColumn("Gross", 80);
    AddColumn("Fee", 80);
    AddColumn("Balance", 80);
    AddColumn("From Email address", 0);
}

void TFrmMain::AddColumn(const char *caption, int width)
{
    // The model holds the captions in this order; each call sizes the next column.
    if (bcl_is_empty(caption) || columnsAdded_ >= TRecordListModel::ColumnCount)
        return;
    const int column = columnsAdded_++;
    QHeaderView *header = ui->ListView->horizontalHeader();
    if (width != 0) {
        // The longest texts that the fixed columns must show whole.
        static const char *const samples[TRecordListModel::ColumnCount] = {
            "00MU32VKYD8F5FXQW", "2009-06-05",   "23:59:59",     "", "",
            "-21474836.48",      "-21474836.48", "-21474836.48", ""};
        // The cell's text margins and a grid line.
        const int margin =
            2 * (ui->ListView->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, ui->ListView) +
                 1) +
            2;
        width = qv_list_column_width(width, ui->ListView->fontMetrics(), samples[column], margin);
        header->resizeSection(column, width);
    } else {
        header->setStretchLastSection(true);
    }
    resize(this->width() + width, height());
}

void TFrmMain::listRefilled()
{
    ui->ListView->horizontalHeader()->setSortIndicatorShown(false);
    ui->ListView->scrollToTop();
}

QMenu *TFrmMain::createPopupMenu()
{
    auto *menu = new QMenu(this);
    menu->addAction(ui->actViewToolbar);
    menu->addAction(ui->actViewDetails);
    return menu;
}

void TFrmMain::LoadHistoryFile(const std::string &path)
{
    qv_load_history_file(*records, path, loadReport_);
}

void TFrmMain::LoadHistoryFolder()
{
    // The current directory by bare names: its own path may be longer than the system takes.
    runLoad([this](const qv_load_progress &progress) {
        qv_load_history_folder(*records, std::string(), loadReport_, progress);
    });
}

void TFrmMain::ImportFiles(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    rememberLoaded(paths);
    std::vector<std::string> names;
    for (const QString &path : paths)
        names.push_back(QFile::encodeName(path).toStdString());
    runLoad([this, &names](const qv_load_progress &progress) {
        qv_load_history_files(*records, names, loadReport_, progress);
    });
    ShowAllRecords();
    showLoadProblems();
}

double qv_load_fraction(const qv_load_state &state)
{
    if (state.file_count == 0)
        return 0;
    const double in_file = state.bytes_total > 0 ? double(state.bytes_read) / double(state.bytes_total) : 0;
    return (double(state.file_number - 1) + std::min(in_file, 1.0)) / double(state.file_count);
}

void TFrmMain::runLoad(const std::function<void(const qv_load_progress &)> &load)
{
    const Tbcl_wait_cursor wait;
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QProgressDialog> dialog;
    constexpr int steps = 1000;
    const qv_load_progress progress = [&](const qv_load_state &state) {
        if (!dialog) {
            if (clock.elapsed() < loadDialogDelay_)
                return true;
            dialog = std::make_unique<QProgressDialog>(this);
            dialog->setObjectName(QStringLiteral("LoadProgress"));
            dialog->setWindowTitle(QString::fromLatin1(appTitle));
            dialog->setCancelButtonText(QStringLiteral("Cancel"));
            dialog->setRange(0, steps);
            dialog->setAutoClose(false);
            dialog->setAutoReset(false);
            dialog->setWindowModality(Qt::ApplicationModal);
            dialog->setMinimumDuration(0);
            dialog->show();
            // Busy, but the Cancel button can be clicked.
            QGuiApplication::changeOverrideCursor(Qt::BusyCursor);
        }
        QString label =
            QStringLiteral("Loading %1").arg(QFileInfo(QFile::decodeName(state.file.c_str())).fileName());
        if (state.file_count > 1)
            label += QStringLiteral(" (%1 of %2)").arg(state.file_number).arg(state.file_count);
        dialog->setLabelText(label + QStringLiteral("\n%1 records").arg(state.records));
        dialog->setValue(static_cast<int>(qv_load_fraction(state) * steps));
        // The dialog is modal: of the user's input only its Cancel button is taken.
        QCoreApplication::processEvents();
        return !dialog->wasCanceled();
    };
    load(progress);
}

void TFrmMain::showLoadProblems()
{
    if (loadReport_.problems.empty() && loadReport_.unlisted.empty())
        return;
    const QString text = qv_load_problems_text(loadReport_);
    const QString details = qv_load_problems_details(loadReport_);
    loadReport_ = {};
    bcl_show_error(this, text.toStdString(), details.toStdString());
}

void TFrmMain::ShowAllRecords()
{
    if (!records || records->count() == 0)
        return;
    const Tbcl_wait_cursor wait;
    TRecordListModel::Refill refill(*model_);
    // A row is the record's address: a million rows are made in milliseconds.
    const Tqv_records &store = *records;
    const std::size_t n = store.count();
    model_->reserveRows(n);
    for (std::size_t i = 0; i < n; ++i)
        AddRecordItem(*store.record_at(i));
    refill.done();
}

void TFrmMain::AddRecordItem(const Tqv_record_object &rec)
{
    model_->appendRow(rec.data);
}

void TFrmMain::ListViewColumnClick(int column)
{
    SortColumn = column;
    SortDirection = -SortDirection;
    {
        const Tbcl_wait_cursor wait;
        model_->sortRows(SortColumn, SortDirection);
    }
    // The arrow shows only over rows that are in the order it claims; the style draws it the way the
    // desktop shows ascending (smallest first) and descending order.
    QHeaderView *header = ui->ListView->horizontalHeader();
    header->setSortIndicatorShown(model_->rowCount() > 0);
    header->setSortIndicator(column, SortDirection > 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

int TFrmMain::ListViewCompare(int row1, int row2) const
{
    return model_->compareRows(row1, row2, SortColumn) * SortDirection;
}

void TFrmMain::ShowDetail()
{
    const QModelIndexList selected = ui->ListView->selectionModel()->selectedRows();
    if (!records || selected.isEmpty()) {
        ui->mmDetail->clear();
        return;
    }
    const Tqv_record_object *rec = records->find(model_->record(selected.first().row()).trans_id());
    if (rec == nullptr)
        return;
    ui->mmDetail->setPlainText(qv_detail_lines(rec->data).join(QLatin1Char('\n')));
    ui->mmDetail->verticalScrollBar()->setValue(0);
}

bool TFrmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->ListView || watched == ui->ListView->viewport()) {
        bool consumed = false;
        bcl_guard(this, [&] { consumed = listInput(event, watched != ui->ListView); });
        if (consumed)
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TFrmMain::listInput(QEvent *event, bool viewport)
{
    bool release = false;
    switch (event->type()) {
    case QEvent::KeyPress: {
        if (viewport)
            break;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (std::find(keysDown_.begin(), keysDown_.end(), key->key()) == keysDown_.end())
            keysDown_.push_back(key->key());
        // With no row selected, the first Up or Down selects the current row (the first one at
        // start-up) instead of moving past it.
        const bool upDown = key->key() == Qt::Key_Down || key->key() == Qt::Key_Up;
        QItemSelectionModel *selection = ui->ListView->selectionModel();
        if (upDown && key->modifiers() == Qt::NoModifier && model_->rowCount() > 0 &&
            !selection->hasSelection()) {
            const QModelIndex current = ui->ListView->currentIndex();
            const QModelIndex row = model_->index(current.isValid() ? current.row() : 0, 0);
            selection->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            ui->ListView->scrollTo(row);
            return true;
        }
        break;
    }
    case QEvent::KeyRelease: {
        if (viewport)
            break;
        const auto *key = static_cast<QKeyEvent *>(event);
        const auto down = std::find(keysDown_.begin(), keysDown_.end(), key->key());
        if (down != keysDown_.end()) {
            if (!key->isAutoRepeat())
                keysDown_.erase(down);
            release = true;
        }
        break;
    }
    case QEvent::FocusOut:
        keysDown_.clear();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (viewport)
            buttonsDown_ |= static_cast<const QMouseEvent *>(event)->button();
        break;
    case QEvent::MouseButtonRelease: {
        const int button = static_cast<const QMouseEvent *>(event)->button();
        if (viewport && (buttonsDown_ & button) != 0) {
            buttonsDown_ &= ~button;
            release = true;
        }
        break;
    }
    default:
        break;
    }
    if (release) {
        // The selection follows the press; the pane follows the release.
        QMetaObject::invokeMethod(
            this, [this] { bcl_guard(this, [this] { ShowDetail(); }); }, Qt::QueuedConnection);
    }
    return false;
}

void TFrmMain::actFileImportExecute()
{
    if (importDialog_->exec() == QDialog::Accepted)
        actFileImportAccept(importDialog_->selectedFiles());
}

void TFrmMain::actFileImportAccept(const QStringList &files)
{
    ImportFiles(files);
}

void TFrmMain::dragEnterEvent(QDragEnterEvent *event)
{
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile() && url.toLocalFile().endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) {
            event->acceptProposedAction();
            return;
        }
    }
}

void TFrmMain::dropEvent(QDropEvent *event)
{
    QStringList files;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile() && url.toLocalFile().endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive))
            files << url.toLocalFile();
    }
    event->acceptProposedAction();
    bcl_guard(this, [this, &files] { ImportFiles(files); });
}

void TFrmMain::SearchRecords(qv_search_field field, const QString &typed)
{
    const qv_lower_fn lower = [](std::string_view name) {
        return qv_display_text(name).toLower().toUtf8().toStdString();
    };
    // The typed text is UTF-8; a field is matched as the list shows it, whichever encoding it came in.
    const qv_lower_fn shown = [](std::string_view bytes) {
        return qv_display_text(bytes).toUtf8().toStdString();
    };
    const std::vector<std::size_t> found =
        qv_search_records(*records, field, typed.toUtf8().toStdString(), lower, shown);
    TRecordListModel::Refill refill(*model_);
    for (const std::size_t pos : found)
        AddRecordItem(*records->record_at(pos));
    refill.done();
}

void TFrmMain::search(qv_search_field field, const char *prompt)
{
    if (!records || records->count() == 0) {
        bcl_show_message(this, "No records to be searched.", "Information");
        return;
    }
    QInputDialog input(this);
    input.setWindowTitle(QStringLiteral("Search"));
    input.setLabelText(QString::fromLatin1(prompt));
    input.setInputMode(QInputDialog::TextInput);
    input.setTextValue(QString());
    if (auto *edit = input.findChild<QLineEdit *>())
        edit->setMaxLength(255);
    if (input.exec() != QDialog::Accepted)
        return;
    const QString typed = input.textValue().left(255);
    if (typed.isEmpty())
        return;
    SearchRecords(field, typed);
}

void TFrmMain::actSearchTransIdExecute()
{
    search(qv_search_field::trans_id, "Please input Transaction ID:");
}

void TFrmMain::actSearchFromEmailAddrExecute()
{
    search(qv_search_field::from_email, "Please input From Email Address:");
}

void TFrmMain::actSearchNameExecute()
{
    search(qv_search_field::name, "Please input Name:");
}

void TFrmMain::actSearchAllExecute()
{
    ShowAllRecords();
}

void TFrmMain::actViewToolbarExecute()
{
    ui->ToolBar1->setVisible(ui->actViewToolbar->isChecked());
}

void TFrmMain::actViewDetailsExecute()
{
    // Hiding the pane hides the splitter's handle with it.
    ui->mmDetail->setVisible(ui->actViewDetails->isChecked());
}

void TFrmMain::actHelpWebsiteExecute()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(website_)));
}

// ---- Export, copy and the detail pane's text ----------------------------------------------------------

void TFrmMain::InitDesktopActions()
{
    auto *actFileExport = new QAction(QStringLiteral("&Export list..."), this);
    actFileExport->setObjectName(QStringLiteral("actFileExport"));
    actFileExport->setStatusTip(
        QStringLiteral("Writes the listed records, in the list's order, as a CSV file"));
    ui->mnuFile->insertAction(ui->actFileExit, actFileExport);
    ui->mnuFile->insertSeparator(ui->actFileExit);
    connect(actFileExport, &QAction::triggered, this,
            [this] { bcl_guard(this, [this] { actFileExportExecute(); }); });

    // Ctrl+C while the list has the focus copies the selected row.
    auto *actEditCopy = new QAction(QStringLiteral("&Copy"), this);
    actEditCopy->setObjectName(QStringLiteral("actEditCopy"));
    actEditCopy->setShortcut(QKeySequence::Copy);
    actEditCopy->setShortcutContext(Qt::WidgetShortcut);
    ui->ListView->addAction(actEditCopy);
    connect(actEditCopy, &QAction::triggered, this,
            [this] { bcl_guard(this, [this] { actEditCopyExecute(); }); });

    // The detail pane stays read-only; its text can be selected with the mouse or the keyboard and copied.
    ui->mmDetail->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    exportDialog_ = new QFileDialog(this, QStringLiteral("Export list"));
    exportDialog_->setObjectName(QStringLiteral("exportDialog"));
    exportDialog_->setNameFilter(QStringLiteral("CSV files (*.csv)"));
    exportDialog_->setDefaultSuffix(QStringLiteral("csv"));
    exportDialog_->setFileMode(QFileDialog::AnyFile);
    exportDialog_->setAcceptMode(QFileDialog::AcceptSave);
    exportDialog_->setSizeGripEnabled(true);
}

void TFrmMain::rememberLoaded(const QStringList &paths)
{
    for (const QString &path : paths)
        loadedFiles_.push_back(QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString());
}

bool TFrmMain::ExportList(const QString &path, QString &error) const
{
    std::vector<const Tqv_record *> shown;
    shown.reserve(static_cast<std::size_t>(model_->rowCount()));
    for (int row = 0; row < model_->rowCount(); ++row)
        shown.push_back(&model_->record(row));
    std::string reason;
    const Tbcl_wait_cursor wait;
    if (qv_export_records(QFile::encodeName(path).toStdString(), shown, loadedFiles_, reason))
        return true;
    error = QString::fromLocal8Bit(reason);
    return false;
}

void TFrmMain::actFileExportExecute()
{
    if (model_->rowCount() == 0) {
        bcl_show_message(this, "No records to be exported.", "Information");
        return;
    }
    if (exportDialog_->directory().path().isEmpty())
        exportDialog_->setDirectory(QDir::current());
    if (exportDialog_->exec() != QDialog::Accepted || exportDialog_->selectedFiles().isEmpty())
        return;
    const QString path = exportDialog_->selectedFiles().first();
    QString error;
    if (!ExportList(path, error))
        bcl_show_error(this, QStringLiteral("Cannot write the list to %1: %2")
                                 .arg(QDir::toNativeSeparators(path), error)
                                 .toStdString());
}

QString TFrmMain::SelectedRowText() const
{
    const QModelIndexList selected = ui->ListView->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return {};
    QStringList texts;
    for (int column = 0; column < TRecordListModel::ColumnCount; ++column) {
        // A tab or line end inside a text would split the row when it is pasted.
        QString text = qv_display_text(model_->text(selected.first().row(), column));
        text.replace(QLatin1Char('\t'), QLatin1Char(' '))
            .replace(QLatin1Char('\n'), QLatin1Char(' '))
            .replace(QLatin1Char('\r'), QLatin1Char(' '));
        texts << text;
    }
    return texts.join(QLatin1Char('\t'));
}

void TFrmMain::actEditCopyExecute()
{
    const QString text = SelectedRowText();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}
