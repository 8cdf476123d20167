// The transaction record and its value types: dates, times and amounts with their parse from a
// history file's texts, the texts they are written as and how dates compare; the record's text
// fields, the numbers and packed texts it holds, and its parse from the column texts of one line.
// Uses the reader's column texts.
#pragma once

#include "Qv_reader.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// ---- Value types ----------------------------------------------------------------------------------

// year, month, day; all zero means no date. Month and day keep the low 8 bits of what was read.
struct qv_date {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t day = 0;
    friend bool operator==(const qv_date &, const qv_date &) = default;
};

struct qv_time {
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
    friend bool operator==(const qv_time &, const qv_time &) = default;
};

// A signed count of hundredths of the currency unit. 64 bits, so that large balances load.
using amount = std::int64_t;

// ---- Record ---------------------------------------------------------------------------------------

// The text fields of a record, in declared order.
enum qv_text_field : std::uint8_t {
    qv_f_time_zone,
    qv_f_name,
    qv_f_status_note,
    qv_f_status,
    qv_f_from_email,
    qv_f_to_email,
    qv_f_trans_id,
    qv_f_name_note,
    qv_f_address_note,
    qv_f_item_title,
    qv_f_item_id,
    qv_f_column17,
    qv_f_column19,
    qv_f_column20,
    qv_f_column21,
    qv_f_column22,
    qv_f_column23,
    qv_f_buyer_id,
    qv_f_column25,
    qv_f_column26,
    qv_f_column27,
    qv_f_column28,
    qv_f_ref_trans_id,
    qv_f_column30,
    qv_f_column31,
    qv_f_column33,
    qv_f_address1,
    qv_f_address2,
    qv_f_city,
    qv_f_province,
    qv_f_zip_code,
    qv_f_country,
    qv_f_phone,
    qv_text_field_count
};

// The numbers of one transaction: the members of a record besides its texts, and what a load carries
// from its parse to its store.
struct Tqv_numbers {
    qv_date date;
    qv_time time;

protected:
    // Tqv_record's own: its texts were allocated for it alone. It lies in the room that the numbers
    // leave after the time, so that a record takes no more memory than its numbers and its texts.
    bool owned_ = false;

public:
    std::int32_t quantity = 0;
    amount gross = 0;
    amount fee = 0;
    amount net = 0;
    amount shipping = 0;
    amount sales_tax = 0;
    amount balance = 0;
};

// The fields of one transaction. Numbers are plain members; the texts are packed into one block of
// bytes, read through the method of the field's name. A record made by itself owns its block; a record
// of a store lives in the store's memory, where texts that many records share are held once. Texts are
// bytes as the file holds them (at most 127 each); from_email and to_email have their ASCII capitals
// made small. A view of a text stays valid as long as the record (for a record of a store: the store).
class Tqv_record : public Tqv_numbers {
public:
    Tqv_record() = default;
    Tqv_record(const Tqv_record &other);
    Tqv_record &operator=(const Tqv_record &other);
    Tqv_record(Tqv_record &&other) noexcept;
    Tqv_record &operator=(Tqv_record &&other) noexcept;
    ~Tqv_record();

    std::string_view text(qv_text_field f) const;
    // Every text at once, indexed by field, in one pass over the record's texts (text() passes over the
    // fields before the one it gives).
    void texts(std::array<std::string_view, qv_text_field_count> &out) const;
    // Replaces all text fields at once (one allocation).
    void set_texts(const std::array<std::string_view, qv_text_field_count> &texts);
    // Empties every field.
    void clear();

    std::string_view time_zone() const { return text(qv_f_time_zone); }
    std::string_view name() const { return text(qv_f_name); }
    std::string_view status_note() const { return text(qv_f_status_note); }
    std::string_view status() const { return text(qv_f_status); }
    std::string_view from_email() const { return text(qv_f_from_email); }
    std::string_view to_email() const { return text(qv_f_to_email); }
    std::string_view trans_id() const { return text(qv_f_trans_id); }
    std::string_view name_note() const { return text(qv_f_name_note); }
    std::string_view address_note() const { return text(qv_f_address_note); }
    std::string_view item_title() const { return text(qv_f_item_title); }
    std::string_view item_id() const { return text(qv_f_item_id); }
    std::string_view buyer_id() const { return text(qv_f_buyer_id); }
    std::string_view ref_trans_id() const { return text(qv_f_ref_trans_id); }
    std::string_view address1() const { return text(qv_f_address1); }
    std::string_view address2() const { return text(qv_f_address2); }
    std::string_view city() const { return text(qv_f_city); }
    std::string_view province() const { return text(qv_f_province); }
    std::string_view zip_code() const { return text(qv_f_zip_code); }
    std::string_view country() const { return text(qv_f_country); }
    std::string_view phone() const { return text(qv_f_phone); }

private:
    friend class Tstore_access;
    void release();

    const unsigned char *texts_ = nullptr; // null when every text is empty
};

class Tqv_record_object {
public:
    Tqv_record data;
    std::uint8_t report_mark = 0;
};

// Asks for the first lines of a record's memory ahead of their use: its numbers and, for a record of a
// store, the start of its texts, which a walk to a text steps through. Records of a store lie in memory
// in the order they were loaded: a walk in another order (by ID, or a sorted list) waits on memory
// without it.
[[gnu::always_inline]] inline void qv_record_fetch(const Tqv_record &rec)
{
    const char *const at = reinterpret_cast<const char *>(&rec);
    __builtin_prefetch(at);
    __builtin_prefetch(at + 64);
    __builtin_prefetch(at + 128);
}

// The captions of the 42 columns as a history file's header line has them ("Date", "Time", "Time Zone",
// ...), and the record's names of the same fields ("date", "time", "time_zone", ...), in column order.
extern const std::array<std::string_view, qv_column_count> qv_column_names;
extern const std::array<std::string_view, qv_column_count> qv_field_names;

void qv_record_clear(Tqv_record &rec);
// Clears rec and fills it from the 42 column texts. Returns 1, or -1 (rec cleared) when fields is null.
// Throws Ebcl_conversion_error for an amount or quantity that is not a number; a date or time text
// that is not one leaves the field empty.
int qv_record_parse(Tqv_record &rec, const qv_line_fields *fields);

// ---- Value parse and text forms -------------------------------------------------------------------

// A date is read only when it is a real calendar date (year 1 to 9999) in one of two forms, leading
// blanks aside and nothing after it: month/day/year (1 in return) or year-month-day (2). -1 for a text
// with neither '/' nor '-', -2 for an empty text, -3 for a text in neither form or no real date; the
// date is then empty.
int qv_date_parse(qv_date &date, std::string_view text);
// hour:minute or hour:minute:second, in range, leading blanks aside; a trailing " AM" or " PM" (any
// case) makes it 12-hour time (hours 1 to 12; 12 AM is 00, 12 PM is 12). 1 when read, -1 without ':',
// -2 for an empty text, -3 for any other text; the time is then 00:00:00.
int qv_time_parse(qv_time &time, std::string_view text);
// An amount in the history format's own form: leading blanks, an optional '-', decimal digits with
// commas only between groups of three (1,234,567), and optionally a point with one or two decimals
// (one is tenths), as far as 64 bits of hundredths hold. 1 when read, -2 for an empty text (0).
// Throws Ebcl_conversion_error, with the whole text, for any other text.
int qv_amount_parse(amount &value, std::string_view text);
// A quantity: leading blanks, an optional sign and decimal digits, within 32 bits. 1 when read, -2 for
// an empty text (0). Throws Ebcl_conversion_error for any other text.
int qv_quantity_parse(std::int32_t &value, std::string_view text);

std::string qv_date_text(const qv_date &date); // "%4d-%02d-%02d"
std::string qv_time_text(const qv_time &time); // "%02d:%02d:%02d"
std::string qv_amount_text(amount value);      // -1234.56, 0.05

bool qv_date_is_valid(const qv_date &date); // year != 0, month 1..12, day 1..31
bool qv_date_same_month(const qv_date &date, const qv_date &other);
std::int64_t qv_date_key(const qv_date &date); // year * 65536 + month * 256 + day
bool qv_date_in_range(const qv_date &date, const qv_date &from, const qv_date &to);
std::int64_t qv_date_diff(const qv_date &date, const qv_date &other);
// True when the date is a real calendar date (leap years counted).
bool qv_date_exists(const qv_date &date);

// The same text forms written into out, without a string each: the characters of qv_date_text,
// qv_time_text and qv_amount_text (32 bytes hold any of them). Each returns the end of what it wrote.
// year_pad fills a date's year to four digits: ' ' as in qv_date_text, '0' for the standard
// YYYY-MM-DD of an export.
char *qv_date_put(char *out, const qv_date &date, char year_pad = ' ');
char *qv_time_put(char *out, const qv_time &time);
char *qv_amount_put(char *out, amount value);
// value in decimal, filled with pad to width characters.
char *qv_number_put(char *out, std::uint64_t value, int width, char pad);
