// A CSV file as a recordset of one table. The first line gives the columns
// (their names when the file has a header, else F1, F2, ...), every column
// is a text of 255 characters, and each further logical line is one record
// (csv_line.hpp tells how lines are cut into fields).
// The file is read forward once, in memory bounded by a few of its longest
// lines, while another thread may watch the progress through get_position and
// get_file_size. Once the columns are known, the lines are cut on a thread of
// their own ahead of the records (csv_ahead.hpp).
//
// The same class writes records as CSV lines when built for writing.
#pragma once

#include "UDB/udb_recs.hpp"
#include "common/csv_ahead.hpp"
#include "common/csv_line.hpp"
#include "common/csv_text.hpp"

#include <atomic>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A CSV value: a text, its size the text's length; NULL for a column the
// line has no field for. A text read from a UTF-8 line also keeps the line's
// bytes of it for get_utf8, valid until the next line is read.
class csv_field : public udb_field {
public:
    explicit csv_field(const std::wstring& name, const std::wstring& text = std::wstring());
    void set_text(const std::wstring& text);
    // A text and the UTF-8 bytes it was decoded from.
    void set_text(const std::wstring& text, std::string_view utf8);
    // ASCII text, each byte a character, widened straight into the value.
    void set_ascii(std::string_view text);
    void set_null();
    bool get_utf8(std::string_view& text) const override;

private:
    std::string_view source_utf8;
    bool has_utf8 = false;
};

// One line's fields, named after the columns of the file's schema: a field
// for every column, those the line lacks NULL.
class csv_record : public udb_record {
public:
    explicit csv_record(const udb_schema* schema) : schema(schema) {}
    // Replaces the fields by those of the line; fields of the previous line
    // are reused, so reading a file costs no allocation per field.
    void do_create(const csv_line& line, const csv_decoder& decoder);
    // The sizes summed as the fields were filled, unless the log traces the
    // sum field by field.
    int64_t get_total_size() const override;

    const udb_schema* schema;  // not owned

private:
    std::wstring token;
    int64_t total_size = 0;
};

class csv_file : public udb_recordset {
public:
    // Opens the file for reading and builds the schema from its first line;
    // with has_header that line is the header, else also the first record.
    // delimiter: not owned; one of tab, ";", "," and a space. A file that
    // cannot be opened, a line longer than line_limit bytes and a first line
    // with more fields than any table can hold raise a level-1 tk_exception
    // naming the file. read_limit: read no more of the file than that many
    // bytes (csv_line_reader::open). shown_name: the name messages give the
    // file (a copy of it read in its place), else its path.
    csv_file(const std::wstring& path, const wchar_t* delimiter, bool has_header,
             int64_t line_limit = csv_line_reader::default_line_limit, int64_t read_limit = -1,
             const std::wstring& shown_name = std::wstring());
    // Creates (or empties) the file for writing with append_record; nothing
    // is read. Raises a level-1 tk_exception when it cannot.
    csv_file(const std::wstring& path, const wchar_t* delimiter);
    ~csv_file() override;

    // Writes the record as one line; a file not built for writing raises
    // "Error opening CSV file".
    void append_record(const udb_record& record) override;
    udb_record* get_item() override;
    // True once every record was read.
    bool is_eof() override;
    // The next record. A blank line of a file of several columns holds no
    // data and is passed over.
    void next() override;
    // The current line's values as UTF-8 texts, one for each field the line
    // has, without building its record; false for a line read as
    // Windows-1252, whose texts only its record gives. Valid until next().
    bool get_texts(std::vector<std::string_view>& values) const;
    // Reading goes forward only: an internal error.
    void prev() override;
    // Back to the start of the file; the current line is kept.
    void reset() override;

    // Bytes of the file read so far and the file's size; safe to read from
    // any thread while another reads the file.
    int64_t get_position() const { return position.load(std::memory_order_relaxed); }
    int64_t get_file_size() const { return file_size.load(std::memory_order_relaxed); }

    // What the reading met that the user must hear of, each 0 when nothing:
    // the line where a quoted field opened that the end of the file closed;
    // records whose fields beyond the columns held text, which was left
    // out, and the line of the first; the first line that was not UTF-8
    // and was read as Windows-1252.
    int64_t unclosed_quote_line() const
    {
        return ahead != nullptr ? ahead->unclosed_quote_line() : input.unclosed_quote_line();
    }
    // The line that the end of a file cut short during the reading cut
    // (csv_line_reader::cut_short_line); it was not handed out.
    int64_t cut_short_line() const { return ahead != nullptr ? ahead->cut_short_line() : input.cut_short_line(); }
    int64_t long_records() const { return long_record_count; }
    int64_t first_long_record() const { return first_long_line; }
    int64_t first_ansi_line() const { return first_ansi; }

    // The most fields a first line may have: far more columns than any table
    // can hold.
    static constexpr size_t max_columns = 65536;

private:
    void get_line();
    void init_schema(bool has_header);
    void write_number(const udb_field& field);
    void write_csv_field(const std::wstring& text);

    std::wstring source;  // the path, for messages
    csv_line_reader input;
    std::unique_ptr<csv_read_ahead> ahead;  // uses input while it lives
    csv_line current;
    bool has_current = false;
    csv_decoder decoder;
    std::ofstream output;
    const wchar_t* delimiter;
    std::atomic<int64_t> file_size{0};
    std::atomic<int64_t> position{0};
    std::unique_ptr<csv_record> last_record;
    int64_t long_record_count = 0;
    int64_t first_long_line = 0;
    int64_t first_ansi = 0;
};
