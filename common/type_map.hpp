// Per-column statistics of the values of a table, from which type refinement
// decides whether a column may take a stricter type: dates_map for date and
// time types, num_map for numbers.
//
// A column is refined only when every value it holds keeps its number or
// date under the new type: integers without a sign of their own or a leading
// zero, decimals (in exponent form too) that a DOUBLE keeps digit for digit,
// and the ISO and compact date and time forms. An empty text, like a missing
// value (NULL), says nothing: a column typed so takes it as NULL, and a column
// of nothing else stays a text.
#pragma once

#include "UDB/udb_rec.hpp"
#include "UDB/udb_sch.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class types_map {
public:
    struct entry {
        uint32_t n_field;   // the column's position in the schema and records
        std::wstring name;  // the column's name
        int32_t state = 0;  // the type the values seen so far allow
        int32_t declared;   // the code of the column's declared type
        bool seen = false;  // a value has been met
        bool fits_double = true;  // every number so far is exact as a DOUBLE
        bool fraction = false;    // a date or time with a fraction of a second was met
    };

    explicit types_map(const std::wstring& table_name);
    virtual ~types_map() = default;

    virtual void add_rec_stat(const udb_record& record) = 0;
    // The same for a record read as UTF-8 texts, one for each column from
    // the first; the columns beyond them are missing values.
    virtual void add_text_stat(const std::vector<std::string_view>& values) = 0;

    // Whether the column of the entry at that index met a value none of the
    // map's types takes: no value after it changes the column.
    bool is_settled(size_t index) const { return entries[index].seen && entries[index].state == 0; }

    const std::wstring& get_table_name() const { return table_name; }
    const std::vector<entry>& get_entries() const { return entries; }

protected:
    std::wstring table_name;
    std::vector<entry> entries;
};

// States: 0 "CHAR(19)" (no date type), 1 "DATETIME", 2 "DATE", 3 "TIME".
class dates_map : public types_map {
public:
    enum : int32_t { no_date = 0, date_time = 1, date_only = 2, time_only = 3 };
    // Marks of a date column's t_ftd::reserved: a default of now, of today.
    enum : uint32_t { now_default = 9, date_default = 10 };

    // only_dates: watch only the columns declared as dates.
    dates_map(const std::wstring& table_name, const udb_schema& schema, bool only_dates);
    void add_rec_stat(const udb_record& record) override;
    void add_text_stat(const std::vector<std::string_view>& values) override;
    // One value of the column of the entry at that index: its UTF-8 text, or
    // the state its text is, when that is known from the value itself.
    void add_text(size_t index, std::string_view text);
    // fraction: the value has a fraction of a second.
    void add_kind(size_t index, int32_t kind, bool fraction = false);

    // The state the column's type already is: its MySQL type decides, so a
    // TIME column is time_only and a DATE column date_only.
    static int32_t declared_state(const t_ftd& column);
    // Which of the states a text is: "YYYY-MM-DD HH:MM:SS" or 14 digits a
    // date with time, "YYYY-MM-DD" or 8 digits a date, "HH:MM:SS" or
    // "0000-00-00 HH:MM:SS" a time, all within the calendar; anything else
    // no_date.
    static int32_t get_kind(std::wstring_view text);
    static int32_t get_kind(std::string_view text);
    // The state of a date value as its field prints it, which may end in a
    // fraction of a second of up to three digits ("2004-08-01 12:30:45.123",
    // "0000-00-00 12:30:45.5"): the state of the text without it, and
    // whether there was one.
    static int32_t held_date_kind(std::string_view text, bool& fraction);
    static const wchar_t* type_name(int32_t state);
    // Makes the column of the entry's type, with milliseconds where its
    // dates or times have fractions of a second; no date type is a text
    // wide enough for any date's text.
    static void set_type(t_ftd& column, const entry& e);
};

// States: 0 "VARCHAR (255)" (not numeric), 1 "DOUBLE", 2 "BIGINT", 3 "INT".
class num_map : public types_map {
public:
    enum : int32_t { not_numeric = 0, is_double_state = 1, is_bigint = 2, is_integer = 3 };

    num_map(const std::wstring& table_name, const udb_schema& schema);
    void add_rec_stat(const udb_record& record) override;
    void add_text_stat(const std::vector<std::string_view>& values) override;
    // One value of the column of the entry at that index: its UTF-8 text, or
    // a floating number, which is judged by the number itself.
    void add_text(size_t index, std::string_view text);
    void add_number(size_t index, double value);

    // A plain integer (an optional "-", no leading zero, not "-0") outside the
    // 32-bit range that fits 64 bits.
    static bool is_i8(const std::string& text);
    // A plain integer within the 32-bit range.
    static bool is_int(const std::string& text);
    // A decimal with a fraction or an exponent ("-12.5", "19.90", ".5",
    // "1e5", "1.23E-05"): no leading zero but "0.", at most 15 significant
    // digits (zeros ending the fraction are none), or 16 and 17 where they
    // are the digits the double reads back as, within the double's range.
    static bool is_double(const std::string& text);
    // A plain integer of at most 15 digits, which a DOUBLE holds exactly.
    static bool fits_double(const std::string& text);
    static const wchar_t* type_name(int32_t state);
    static void set_type(t_ftd& column, const entry& e);
};
