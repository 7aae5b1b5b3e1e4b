// A CSV file as a recordset of one table. The first line gives the columns
// (their names when the file has a header, else F1, F2, ...), every column
// is a text of 255 characters, and each further logical line is one record.
// The file is read forward once, in fixed memory, while another thread may
// watch the progress through get_position and get_file_size.
//
// The same class writes records as CSV lines when built for writing.
#pragma once

#include "UDB/udb_recs.hpp"
#include "common/csv_line.hpp"

#include <atomic>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

// A CSV value: always text, its size the text's length.
class csv_field : public udb_field {
public:
    csv_field(const std::wstring& name, const std::wstring& text);
    void set_text(const std::wstring& text);
};

// One line's fields, named after the columns of the file's schema (F1, F2,
// ... while the schema has none). A line never gives more fields than the
// schema has columns; a shorter line gives a shorter record.
class csv_record : public udb_record {
public:
    explicit csv_record(const udb_schema* schema) : schema(schema) {}
    // Replaces the fields by those of the line; fields of the previous line
    // are reused, so reading a file costs no allocation per field.
    void do_create(const std::wstring& line, const wchar_t* delimiter);

    const udb_schema* schema;  // not owned

private:
    std::wstring field_name(size_t position) const;

    std::wstring token;
};

class csv_file : public udb_recordset {
public:
    // Opens the file for reading and builds the schema from its first line;
    // with has_header that line is the header, else also the first record.
    // delimiter: not owned; one of tab, ";", "," and a space. A file that
    // cannot be opened raises a level-1 tk_exception naming it.
    csv_file(const std::wstring& path, const wchar_t* delimiter, bool has_header);
    // Creates (or empties) the file for writing with append_record; nothing
    // is read. Raises a level-1 tk_exception when it cannot.
    csv_file(const std::wstring& path, const wchar_t* delimiter);
    ~csv_file() override;

    // Writes the record as one line; a file not built for writing raises
    // "Error opening CSV file".
    void append_record(const udb_record& record) override;
    udb_record* get_item() override;
    // True once nothing is left to read and the current line is empty.
    bool is_eof() override;
    void next() override;
    // Reading goes forward only: an internal error.
    void prev() override;
    // Back to the start of the file; the current line is kept.
    void reset() override;

    // Bytes of the file read so far and the file's size; safe to read from
    // any thread while another reads the file.
    int64_t get_position() const { return position.load(std::memory_order_relaxed); }
    int64_t get_file_size() const { return file_size.load(std::memory_order_relaxed); }

private:
    void get_line();
    void init_schema(const std::wstring& line, bool has_header);
    void write_number(const udb_field& field);
    void write_csv_field(const std::wstring& text);

    std::wstring current_line;
    csv_line_reader input;
    std::ofstream output;
    const wchar_t* delimiter;
    std::atomic<int64_t> file_size{0};
    std::atomic<int64_t> position{0};
    std::unique_ptr<csv_record> last_record;
    std::string raw_line;  // the line's bytes, kept to reuse its storage
};
