#include "rvl_conv/rvl_xstat.hpp"

#include "DAO/dao_rec.hpp"
#include "DAO/dao_recs.hpp"
#include "OLE/ole_var.hpp"
#include "TK/tk_threa.hpp"
#include "common/type_map.hpp"
#include "platform/ole/pl_vdate.hpp"

#include <algorithm>

using platform::dao::cell;
using platform::dao::cell_kind;
using platform::dao::field_type;
using platform::dao::sheet_table;

namespace {

bool readable_date(DATE value)
{
    SYSTEMTIME st{};
    return VariantTimeToSystemTime(value, &st);
}

bool is_date_column(field_type type) { return type == field_type::date || type == field_type::time; }

// A row whose every value prints as nothing: cells without a value and dates
// that cannot be read.
bool is_empty_row(const sheet_table& table, size_t row)
{
    for (size_t c = 0; c < table.column_count(); ++c) {
        const cell value = table.get(c, row);
        if (value.kind != cell_kind::null && !(is_date_column(table.column_type(c)) &&
                                               value.kind != cell_kind::duration && !readable_date(value.number)))
            return false;
    }
    return true;
}

// The maps' entries are the sheet's columns, in its order, of the types
// whose values this reading makes itself.
bool readable_columns(const sheet_table& table, const dates_map& dates, const num_map* numbers)
{
    const size_t n = table.column_count();
    if (dates.get_entries().size() != n || (numbers != nullptr && numbers->get_entries().size() != n))
        return false;
    for (size_t c = 0; c < n; ++c) {
        const field_type type = table.column_type(c);
        const bool made_here = type == field_type::text || type == field_type::memo || type == field_type::number ||
                               is_date_column(type);
        if (!made_here || dates.get_entries()[c].n_field != c ||
            (numbers != nullptr && numbers->get_entries()[c].n_field != c))
            return false;
    }
    return true;
}

// No numbers asked for: there is nothing to note.
bool settled(const num_map* numbers, size_t c) { return numbers == nullptr || numbers->is_settled(c); }

// One value of column c, as its field would hold it. A value of a row the
// copy skips as empty is left out: only an unreadable date, which prints as
// nothing, may stand in such a row.
void note_value(const sheet_table& table, size_t c, size_t row, const cell& value, bool skip_empty_rows,
                dates_map& dates, num_map* numbers)
{
    switch (table.column_type(c)) {
    case field_type::number:
        if (!dates.is_settled(c))
            dates.add_text(c, ole_variant(value.number).to_string());
        if (!settled(numbers, c))
            numbers->add_number(c, value.number);
        break;
    case field_type::date:
    case field_type::time: {
        if (value.kind == cell_kind::duration) {  // in the column only while a TIME holds it
            dates.add_kind(c, dates_map::time_only);
            if (!settled(numbers, c))
                numbers->add_text(c, platform::dao::format_duration(value.number));
            break;
        }
        bool fraction = false;
        const int32_t kind = sheet_date_kind(value.number, &fraction);
        if (kind == dates_map::no_date && skip_empty_rows && !readable_date(value.number) && is_empty_row(table, row))
            return;
        dates.add_kind(c, kind, fraction);
        if (!settled(numbers, c))
            numbers->add_text(c, dao_field::date_text(value.number));
        break;
    }
    default:
        if (!dates.is_settled(c))
            dates.add_text(c, value.text);
        if (!settled(numbers, c))
            numbers->add_text(c, value.text);
        break;
    }
}

void note_column(const sheet_table& table, size_t c, bool skip_empty_rows, dates_map& dates, num_map* numbers)
{
    for (size_t row = 0; row < table.row_count() && !(dates.is_settled(c) && settled(numbers, c)); ++row) {
        const cell value = table.get(c, row);
        if (value.kind != cell_kind::null)
            note_value(table, c, row, value, skip_empty_rows, dates, numbers);
    }
}

} // namespace

// Years 1000 to 9999, as the date types take them and dates print them; a
// day zero prints as a time alone, a midnight (without a fraction of a
// second) as a date alone.
int32_t sheet_date_kind(DATE value, bool* fraction)
{
    static const int64_t first_day = pl_ole::day_of(1000, 1, 1), last_day = pl_ole::day_of(9999, 12, 31);
    int64_t day = 0, second = 0;
    int millisecond = 0;
    const bool read = pl_ole::date_parts_ms(value, day, second, millisecond);
    if (fraction != nullptr)
        *fraction = millisecond != 0;
    if (!read || day < first_day || day > last_day)
        return dates_map::no_date;
    if (day == 0)
        return dates_map::time_only;
    return second == 0 && millisecond == 0 ? dates_map::date_only : dates_map::date_time;
}

bool sheet_statistics(udb_recordset& source, bool skip_empty_rows, const tk_thread_functor& run, dates_map& dates,
                      num_map* numbers)
{
    const auto* records = dynamic_cast<const dao_recordset*>(&source);
    const sheet_table* table = records != nullptr ? records->sheet() : nullptr;
    if (table == nullptr || !readable_columns(*table, dates, numbers))
        return false;
    for (size_t c = 0; c < table->column_count(); ++c) {
        run.throw_if_stop_requested();
        note_column(*table, c, skip_empty_rows, dates, numbers);
    }
    return true;
}
