#include "platform/dao/pl_table.hpp"

#include "platform/dao/pl_rderr.hpp"

#include "platform/text/pl_format.hpp"
#include "platform/text/pl_names.hpp"
#include "platform/text/pl_utf8.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>

namespace platform::dao {

namespace {

uint64_t bits(double v) { return std::bit_cast<uint64_t>(v); }
double number_of(uint64_t v) { return std::bit_cast<double>(v); }

// UTF-16 units, as the engine measures a text's length.
size_t text_length(std::string_view s)
{
    size_t n = 0;
    for (unsigned char c : s)
        n += (c & 0xC0) != 0x80 ? (c >= 0xF0 ? 2 : 1) : 0;
    return n;
}

// A currency column keeps four decimals in a signed 64-bit count of
// ten-thousandths: an amount with more decimals would be cut, one beyond
// the count's range would wrap round.
bool fits_currency(double v)
{
    constexpr double count_limit = 9223372036854775808.0;  // 2^63
    const double scaled = std::nearbyint(v * 10000.0);
    return std::abs(scaled) < count_limit && scaled / 10000.0 == v;
}

// An OLE date on day zero is a time of day without a date.
bool is_time_of_day(double ole) { return ole >= 0 && ole < 1; }

// The OLE date of a date, time or ISO date cell's stored value.
double ole_of(cell_kind kind, uint64_t value, bool date1904)
{
    return kind == cell_kind::iso_date ? number_of(value) : serial_to_ole_date(number_of(value), date1904, kind);
}

} // namespace

cell sheet_table::get(size_t col, size_t row) const
{
    const column& c = columns[col];
    size_t i;
    if (!c.sparse) {
        const int64_t at = static_cast<int64_t>(row) - c.first;
        if (at < 0 || at >= static_cast<int64_t>(c.kinds.size()))
            return {};
        i = static_cast<size_t>(at);
    } else {
        const auto it = std::lower_bound(c.row_numbers.begin(), c.row_numbers.end(), row);
        if (it == c.row_numbers.end() || *it != row)
            return {};
        i = static_cast<size_t>(it - c.row_numbers.begin());
    }
    cell out;
    out.kind = c.kinds[i];
    switch (out.kind) {
    case cell_kind::null:
        break;
    case cell_kind::error:
        out.kind = cell_kind::null;
        break;
    case cell_kind::date:
    case cell_kind::time:
    case cell_kind::iso_date:
        out.number = ole_of(out.kind, c.values[i], date1904);
        if (out.kind == cell_kind::iso_date)
            out.kind = is_time_of_day(out.number) ? cell_kind::time : cell_kind::date;
        break;
    case cell_kind::boolean:
        out.boolean = c.values[i] != 0;
        break;
    case cell_kind::text:
        out.text = pool->get(c.values[i]);
        break;
    default:
        out.number = number_of(c.values[i]);
        break;
    }
    return out;
}

void table_builder::stage::make_sparse()
{
    size_t n = 0;
    row_numbers.clear();
    for (size_t i = 0; i < kinds.size(); ++i) {
        if (kinds[i] == cell_kind::null)
            continue;
        row_numbers.push_back(first + static_cast<uint32_t>(i));
        kinds[n] = kinds[i];
        values[n++] = values[i];
    }
    kinds.resize(n);
    values.resize(n);
    kinds.shrink_to_fit();
    values.shrink_to_fit();
    sparse = true;
}

void table_builder::stage::add(uint32_t row, cell_kind kind, uint64_t value)
{
    if (kinds.empty() && !sparse)
        first = row;
    if (!sparse) {
        const uint64_t next = uint64_t(first) + kinds.size();
        if (row >= first && row < next) {  // a cell given again
            const size_t i = row - first;
            if (kinds[i] != cell_kind::null)
                note_repeated(row);
            count += kinds[i] == cell_kind::null;
            kinds[i] = kind;
            values[i] = value;
            return;
        }
        // Empty cells are filled in while the column stays at least half full.
        if (row > next && (count + 1) * 2 >= uint64_t(row) - first + 1) {
            kinds.resize(row - first, cell_kind::null);
            values.resize(row - first, 0);
        } else if (row != next) {
            make_sparse();
        }
    }
    if (sparse) {
        unsorted = unsorted || (!row_numbers.empty() && row <= row_numbers.back());
        row_numbers.push_back(row);
    }
    kinds.push_back(kind);
    values.push_back(value);
    ++count;
}

// An empty shared string is known empty only once the strings are in: the
// cells it leaves without a value above the column's first value go, so the
// box, and the header with it, begins where the values do.
void table_builder::stage::drop_leading_nulls()
{
    const auto first_value = std::find_if(kinds.begin(), kinds.end(), [](cell_kind k) { return k != cell_kind::null; });
    const auto n = first_value - kinds.begin();
    if (n == 0)
        return;
    kinds.erase(kinds.begin(), first_value);
    values.erase(values.begin(), values.begin() + n);
    if (sparse)
        row_numbers.erase(row_numbers.begin(), row_numbers.begin() + n);
    else
        first += static_cast<uint32_t>(n);
}

void table_builder::stage::note_repeated(uint32_t row)
{
    ++repeated;
    repeated_row = std::min(repeated_row, row);
}

// Orders a sparse column by row; of two cells at one row the later one stays,
// and the row is noted as given twice.
void table_builder::stage::sort_rows()
{
    std::vector<uint32_t> order(row_numbers.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return row_numbers[a] < row_numbers[b]; });
    large_vector<uint32_t> rows;
    large_vector<cell_kind> k;
    large_vector<uint64_t> v;
    for (uint32_t i : order) {
        if (!rows.empty() && rows.back() == row_numbers[i]) {
            if (k.back() != cell_kind::null && kinds[i] != cell_kind::null)
                note_repeated(row_numbers[i]);
            k.back() = kinds[i];
            v.back() = values[i];
            continue;
        }
        rows.push_back(row_numbers[i]);
        k.push_back(kinds[i]);
        v.push_back(values[i]);
    }
    row_numbers = std::move(rows);
    kinds = std::move(k);
    values = std::move(v);
    count = size_t(std::count_if(kinds.begin(), kinds.end(), [](cell_kind k) { return k != cell_kind::null; }));
    unsorted = false;
}

void table_builder::add(uint32_t row, uint32_t col, cell_kind kind, uint64_t value)
{
    if (row >= max_rows || col >= max_columns)
        return;  // the readers refuse such places before they get here
    if (col >= stages.size())
        stages.resize(col + 1);
    stage& s = stages[col];
    if (s.kinds.capacity() == 0 && row < expected_rows) {
        s.kinds.reserve(expected_rows - row);
        s.values.reserve(expected_rows - row);
    }
    s.add(row, kind, value);
}

namespace {

// A claim of more cells than this is no size a sheet has.
bool sane_claim(uint32_t rows, uint64_t columns)
{
    constexpr uint64_t most_cells = uint64_t(1) << 25;
    return rows <= table_builder::max_rows && columns <= table_builder::max_columns && rows * columns <= most_cells;
}

} // namespace

void table_builder::expect(uint32_t rows, uint32_t columns)
{
    if (sane_claim(rows, columns))
        expected_rows = rows;
}

// Only the columns begun get room: one that comes later grows as it must,
// so a guess never claims more than the cells it was made from.
void table_builder::guess_rows(uint32_t rows)
{
    if (expected_rows != 0 || !sane_claim(rows, stages.size()))
        return;
    for (stage& s : stages)
        if (!s.sparse && !s.kinds.empty() && s.first < rows && s.kinds.capacity() < rows - s.first) {
            s.kinds.reserve(rows - s.first);
            s.values.reserve(rows - s.first);
        }
}

void table_builder::add_number(uint32_t row, uint32_t col, double value, cell_kind kind)
{
    add(row, col, kind, bits(value));
}

void table_builder::add_boolean(uint32_t row, uint32_t col, bool value)
{
    add(row, col, cell_kind::boolean, value ? 1 : 0);
}

void table_builder::add_error(uint32_t row, uint32_t col)
{
    if (row >= max_rows || col >= max_columns)
        return;
    if (errors++ == 0 || row < first_error_row || (row == first_error_row && col < first_error_col)) {
        first_error_row = row;
        first_error_col = col;
    }
    add(row, col, cell_kind::error, 0);
}

std::string cell_name(uint32_t row, uint32_t col)
{
    std::string letters;
    for (uint32_t n = col + 1; n > 0; n = (n - 1) / 26)
        letters.insert(letters.begin(), char('A' + (n - 1) % 26));
    return "cell " + letters + std::to_string(uint64_t(row) + 1);
}

void table_builder::add_text(uint32_t row, uint32_t col, std::string_view text)
{
    if (text.size() > text_pool::max_length)
        text_pool::refuse_long(cell_name(row, col));
    if (!text.empty())
        add(row, col, cell_kind::text, pool.add(text));
}

void table_builder::add_text(uint32_t row, uint32_t col, text_ref ref)
{
    if (text_pool::length(ref) != 0)
        add(row, col, cell_kind::text, ref);
}

namespace {

// A text cell whose reference has no length (no text in the pool has none)
// holds the index of a shared string not yet in place.
constexpr unsigned shared_index_shift = 32;

bool is_pending(cell_kind kind, uint64_t value) { return kind == cell_kind::text && text_pool::length(value) == 0; }

} // namespace

void table_builder::add_shared(uint32_t row, uint32_t col, uint32_t index)
{
    add(row, col, cell_kind::text, uint64_t(index) << shared_index_shift);
    shared_pending = true;
}

void table_builder::resolve_shared(const std::vector<text_ref>& strings)
{
    if (!shared_pending)
        return;
    for (stage& s : stages)
        for (size_t i = 0; i < s.kinds.size(); ++i) {
            if (!is_pending(s.kinds[i], s.values[i]))
                continue;
            const uint64_t index = s.values[i] >> shared_index_shift;
            if (index >= strings.size())
                throw format_fault("shared string index beyond the table");
            s.values[i] = strings[index];
            if (text_pool::length(strings[index]) == 0) {
                s.kinds[i] = cell_kind::null;
                --s.count;
            }
        }
    shared_pending = false;
}

namespace {

// A cell's text as the sheet shows it: a date or time with its fraction of a
// second, a duration as its elapsed time, a number as General format shows
// it; a date no date column holds reads as the number it is.
std::string cell_text(const text_pool& pool, cell_kind kind, uint64_t value, bool date1904)
{
    switch (kind) {
    case cell_kind::boolean:
        return value ? "TRUE" : "FALSE";
    case cell_kind::text:
        return std::string(pool.get(value));
    case cell_kind::date:
    case cell_kind::time:
    case cell_kind::iso_date: {
        const double ole = ole_of(kind, value, date1904);
        return fits_datetime(ole) ? format_ole_date(ole) : general_number(ole_date_to_serial(ole, date1904));
    }
    case cell_kind::duration: {
        std::string elapsed = format_elapsed(number_of(value));
        return elapsed.empty() ? general_number(number_of(value)) : elapsed;
    }
    case cell_kind::null:
    case cell_kind::error:
        return "";
    default:
        return general_number(number_of(value));
    }
}

// F1, F2... for the column at that index of the box.
std::string default_name(size_t index) { return "F" + std::to_string(index + 1); }

// "Name", "Name1", "Name2"...
std::wstring numbered(const std::wstring& wanted, unsigned number)
{
    return wanted + std::to_wstring(number);
}

} // namespace

// Types the column from its data cells (those from index begin on) and turns
// a mixed column's cells into texts. Returns the index of the first date (or
// duration) that no date (or time) column holds, or npos, and its kind.
size_t table_builder::decide_type(sheet_table::column& col, size_t begin, cell_kind& far_kind)
{
    bool booleans = false, dates = false, durations = false, currencies = false, plain = false, texts = false;
    bool fits = true, times = true;
    size_t far_date = std::string::npos;
    for (size_t i = begin; i < col.kinds.size(); ++i) {
        switch (col.kinds[i]) {
        case cell_kind::null:
        case cell_kind::error:
            break;
        case cell_kind::boolean: booleans = true; break;
        case cell_kind::date:
        case cell_kind::time:
        case cell_kind::iso_date: {
            dates = true;
            const double ole = ole_of(col.kinds[i], col.values[i], date1904);
            times = times && is_time_of_day(ole);
            if (far_date == std::string::npos && !fits_datetime(ole))
                far_date = i;
            break;
        }
        case cell_kind::duration:
            durations = true;
            if (far_date == std::string::npos && !fits_time(number_of(col.values[i])))
                far_date = i;
            break;
        case cell_kind::number: plain = true; break;
        case cell_kind::text: texts = true; break;
        case cell_kind::currency:
            currencies = true;
            fits = fits && fits_currency(number_of(col.values[i]));
            break;
        }
    }
    // A date among numbers is neither: the cells keep the texts they read as.
    const bool numbers = currencies || plain;
    const bool others = booleans || texts;
    // Durations go with times of day alone, in a TIME column.
    if (booleans && !numbers && !dates && !durations && !texts)
        col.type = field_type::boolean;
    else if ((dates || durations) && !numbers && !others && far_date == std::string::npos && (times || !durations))
        col.type = times ? field_type::time : field_type::date;
    else if (numbers && !dates && !durations && !others)
        col.type = currencies && fits && !plain ? field_type::currency : field_type::number;
    else
        col.type = field_type::text;
    if (far_date != std::string::npos)
        far_kind = col.kinds[far_date];
    if (col.type != field_type::text)
        return far_date;
    for (size_t i = begin; i < col.kinds.size(); ++i) {
        if (col.kinds[i] == cell_kind::null)
            continue;
        if (col.kinds[i] == cell_kind::error) {
            col.kinds[i] = cell_kind::null;
            continue;
        }
        if (col.kinds[i] != cell_kind::text) {
            col.values[i] = pool.add(cell_text(pool, col.kinds[i], col.values[i], date1904));
            col.kinds[i] = cell_kind::text;
        }
        const std::string_view text = pool.get(col.values[i]);
        if (text.size() > 255 && text_length(text) > 255)
            col.type = field_type::memo;
    }
    return far_date;
}

void table_builder::finish_column(stage& s, sheet_table::column& out, uint32_t data_top, bool header_row,
                                  uint32_t sheet_col, std::vector<std::string>& notes)
{
    if (s.unsorted)
        s.sort_rows();
    out.sparse = s.sparse;
    out.kinds = std::move(s.kinds);
    out.values = std::move(s.values);
    cell_kind header_kind = cell_kind::null;
    uint64_t header_value = 0;
    size_t begin = 0;
    if (!out.sparse) {
        out.first = int64_t(s.first) - data_top;
        if (header_row && out.first == -1 && !out.kinds.empty()) {
            header_kind = out.kinds[0];
            header_value = out.values[0];
            begin = 1;
        }
    } else {
        out.row_numbers = std::move(s.row_numbers);
        if (header_row && !out.row_numbers.empty() && out.row_numbers[0] + 1 == data_top) {
            header_kind = out.kinds[0];
            header_value = out.values[0];
            out.row_numbers.erase(out.row_numbers.begin());
            out.kinds.erase(out.kinds.begin());
            out.values.erase(out.values.begin());
        }
        for (uint32_t& r : out.row_numbers)
            r -= data_top;
    }
    std::string name = cell_text(pool, header_kind, header_value, date1904);
    cell_kind far_kind = cell_kind::null;
    const size_t far_date = decide_type(out, begin, far_kind);
    if (far_date != std::string::npos) {
        const uint32_t row = uint32_t((out.sparse ? int64_t(out.row_numbers[far_date]) : out.first + int64_t(far_date)) + data_top);
        notes.push_back(cell_name(row, sheet_col) + " holds " + std::string(pool.get(out.values[far_date])) +
                        (far_kind == cell_kind::duration
                             ? " as a duration, which no time column holds: its column is text and its durations are written as texts"
                             : " as a date, which no date column holds: its column is text and its dates are written as texts"));
    }
    s = stage();
    out.name = std::move(name);
}

// The places given two values, counted, the first of them named.
void table_builder::note_repeated_places(std::vector<std::string>& lost) const
{
    size_t repeated = 0;
    uint32_t first_row = UINT32_MAX, first_col = 0;
    for (size_t c = 0; c < stages.size(); ++c) {
        repeated += stages[c].repeated;
        if (stages[c].repeated_row < first_row) {
            first_row = stages[c].repeated_row;
            first_col = uint32_t(c);
        }
    }
    if (repeated == 0)
        return;
    const std::string place = cell_name(first_row, first_col);
    lost.push_back(repeated == 1 ? place + " is given two values: the later one is kept"
                                 : std::to_string(repeated) + " cells are given two values (the first: " + place +
                                       "): the later ones are kept");
}

sheet_table table_builder::finish(bool header_row)
{
    sheet_table table;
    table.pool = &pool;
    table.date1904 = date1904;
    table.notes = std::move(reader_notes);
    table.lost = std::move(reader_losses);
    if (errors != 0) {
        const char* counted = errors == 1 ? " cell holds an error value (" : " cells hold an error value (the first: ";
        table.notes.push_back(std::to_string(errors) + counted + cell_name(first_error_row, first_error_col) +
                              "), written as NULL");
    }
    uint32_t top = UINT32_MAX, bottom = 0;
    size_t left = SIZE_MAX, right = 0;
    for (size_t c = 0; c < stages.size(); ++c) {
        stage& s = stages[c];
        if (s.unsorted)
            s.sort_rows();
        s.drop_leading_nulls();
        if (s.count == 0)
            continue;
        left = std::min(left, c);
        right = c;
        const auto last_value = std::find_if(s.kinds.rbegin(), s.kinds.rend(), [](cell_kind k) { return k != cell_kind::null; });
        const size_t li = s.kinds.size() - 1 - size_t(last_value - s.kinds.rbegin());
        top = std::min(top, s.sparse ? s.row_numbers[0] : s.first);
        bottom = std::max(bottom, s.sparse ? s.row_numbers[li] : s.first + uint32_t(li));
    }
    note_repeated_places(table.lost);
    if (left == SIZE_MAX) {  // no value at all: one empty column
        table.columns.resize(1);
        table.columns[0].name = "F1";
        // A table of a column nobody named is no table the user would expect.
        table.notes.push_back("it holds no value: its table is made with one empty text column F1 and no rows");
        stages.clear();
        return table;
    }
    const uint32_t data_top = top + (header_row ? 1 : 0);
    table.rows = bottom >= data_top ? bottom - data_top + 1 : 0;
    table.columns.reserve(right - left + 1);
    std::vector<std::wstring> names;
    std::vector<bool> generated;
    for (size_t c = left; c <= right; ++c) {
        sheet_table::column col;
        finish_column(stages[c], col, data_top, header_row, uint32_t(c), table.notes);
        generated.push_back(col.name.empty());
        names.push_back(from_utf8(col.name.empty() ? default_name(c - left) : col.name));
        table.columns.push_back(std::move(col));
    }
    make_names_unique(names, generated, numbered);
    for (size_t i = 0; i < names.size(); ++i)
        table.columns[i].name = to_utf8(names[i]);
    stages.clear();
    return table;
}

} // namespace platform::dao
