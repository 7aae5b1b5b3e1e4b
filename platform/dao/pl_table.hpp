// One worksheet as a table: the bounding box of the cells that hold a value,
// stored column by column. A column keeps one kind byte and one 8-byte value
// a cell (a double, a boolean or a text reference into the workbook's text
// pool); a column whose cells are scattered far apart also keeps their row
// numbers instead of the empty cells between them, so memory follows the
// cells that exist, never the size of the box.
//
// The column types follow every data row, not a sample: all booleans make a
// boolean column, all dates a date column (a time column when every one is a
// time of day alone or a duration), all numbers a double column (a currency
// column when every one has a currency format and fits that type's four
// decimals), anything else a text column whose values are the cells' texts
// as the sheet shows them (a memo column once a text is longer than 255
// characters): dates mixed with numbers included, and dates no date column
// can hold, which keep the text of the number they are. Empty and error
// cells are NULL and do not decide a type; an error cell still makes its row
// a row.
//
// Dates, times and numbers are kept as the numbers the workbook stores; the
// workbook's date system turns a date or time cell into a date as it is
// read.
#pragma once

#include "platform/dao/pl_cellf.hpp"
#include "platform/dao/pl_pool.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::dao {

// The column types, numbered as the database engine's field types.
enum class field_type : int16_t { boolean = 1, currency = 5, number = 7, date = 8, text = 10, memo = 12, time = 22 };

// One cell as the table hands it out. kind is null, boolean, number, date,
// time, duration, currency or text (an error cell is null); for a column of
// type number a currency cell is still a number of that column, and a
// duration is its count of days in a column of type time.
struct cell {
    cell_kind kind = cell_kind::null;
    double number = 0;        // number, date or time (OLE date), duration (days) or currency
    bool boolean = false;
    std::string_view text;    // UTF-8; valid while the workbook lives
};

class sheet_table {
public:
    size_t column_count() const { return columns.size(); }
    size_t row_count() const { return rows; }
    const std::string& column_name(size_t col) const { return columns[col].name; }
    field_type column_type(size_t col) const { return columns[col].type; }
    cell get(size_t col, size_t row) const;
    // What the user should know of how cells were read (error cells, dates
    // no date column holds), each naming its cell; the worksheet is the
    // caller's to name.
    const std::vector<std::string>& notices() const { return notes; }
    // The same for what lost a value (a place given two values, of which
    // the later is kept): the sheet was not carried whole.
    const std::vector<std::string>& losses() const { return lost; }

    // Built by table_builder only.
    struct column {
        std::string name;
        field_type type = field_type::text;
        bool sparse = false;
        int64_t first = 0;                 // dense: data row of kinds[0] (-1: the header cell)
        large_vector<uint32_t> row_numbers; // sparse: data row of each cell, ascending
        large_vector<cell_kind> kinds;
        large_vector<uint64_t> values;
    };

private:
    friend class table_builder;
    const text_pool* pool = nullptr;
    std::vector<column> columns;
    size_t rows = 0;
    bool date1904 = false;
    std::vector<std::string> notes;
    std::vector<std::string> lost;
};

// "cell B12" for row 11, column 1 (zero-based), as messages name a cell.
std::string cell_name(uint32_t row, uint32_t col);

// Collects a sheet's cells in any order, then builds its table. Rows and
// columns are zero-based; of two values at one place the later one is kept,
// as other readers keep it, and the table's losses name the place.
class table_builder {
public:
    static constexpr uint32_t max_rows = 1048576;
    static constexpr uint32_t max_columns = 16384;

    explicit table_builder(text_pool& pool) : pool(pool) {}

    // The workbook's date system, for the serials of its dates and times.
    void set_date1904(bool on) { date1904 = on; }
    // kind is number, date, time, currency or iso_date; a date or time is the
    // serial the workbook stores, an ISO date the OLE date it names.
    void add_number(uint32_t row, uint32_t col, double value, cell_kind kind);
    void add_boolean(uint32_t row, uint32_t col, bool value);
    // A cell holding an error value: no value, but a cell of its row.
    void add_error(uint32_t row, uint32_t col);
    // An empty text holds no value; one longer than text_pool::max_length is
    // refused, naming the cell.
    void add_text(uint32_t row, uint32_t col, std::string_view text);
    void add_text(uint32_t row, uint32_t col, text_ref ref);
    // The shared string at index, while the strings are still being read:
    // resolve_shared puts it in place.
    void add_shared(uint32_t row, uint32_t col, uint32_t index);
    // Puts every shared string added by its index in its place; an empty one
    // leaves its cell without a value. format_fault for an index beyond the
    // strings.
    void resolve_shared(const std::vector<text_ref>& strings);

    // The sheet says how many rows and columns it has: a column gets room for
    // its rows with its first cell instead of growing again and again, and a
    // column without cells gets none. Claims beyond a sane size are ignored;
    // a wrong claim costs address space, not memory.
    void expect(uint32_t rows, uint32_t columns);
    // A guess of the rows made while reading a sheet that did not say its
    // size: the columns begun get room for that many, as for a claim.
    void guess_rows(uint32_t rows);

    // What the file's reader met that the cells do not show: a notice is
    // told with the sheet, a loss also says the sheet was not carried whole.
    void add_notice(std::string line) { reader_notes.push_back(std::move(line)); }
    void add_loss(std::string line) { reader_losses.push_back(std::move(line)); }

    // With header_row the first row of the box names the columns.
    sheet_table finish(bool header_row);

private:
    struct stage {
        bool sparse = false;
        bool unsorted = false;
        uint32_t first = 0;          // absolute row of kinds[0] while dense
        size_t count = 0;            // cells holding a value
        size_t repeated = 0;                 // values given at a place that held one
        uint32_t repeated_row = UINT32_MAX;  // the first row given two values
        large_vector<uint32_t> row_numbers;
        large_vector<cell_kind> kinds;
        large_vector<uint64_t> values;
        void make_sparse();
        void note_repeated(uint32_t row);
        void drop_leading_nulls();
        void sort_rows();
        void add(uint32_t row, cell_kind kind, uint64_t value);
    };
    void add(uint32_t row, uint32_t col, cell_kind kind, uint64_t value);
    void finish_column(stage& s, sheet_table::column& out, uint32_t data_top, bool header_row, uint32_t sheet_col,
                       std::vector<std::string>& notes);
    size_t decide_type(sheet_table::column& col, size_t begin, cell_kind& far_kind);
    void note_repeated_places(std::vector<std::string>& lost) const;

    text_pool& pool;
    std::vector<stage> stages;
    uint32_t expected_rows = 0;
    bool shared_pending = false;
    bool date1904 = false;
    size_t errors = 0;
    uint32_t first_error_row = 0, first_error_col = 0;
    std::vector<std::string> reader_notes, reader_losses;
};

} // namespace platform::dao
