#include "rvl_conv/rvl_upsz.hpp"

#include "SQL/sql_engi.hpp"
#include "SQL/sql_tab.hpp"
#include "TK/tk_log.hpp"

#include <cstdint>
#include <iterator>

sql_field_upsizer::sql_field_upsizer(udb_database* database_, udb_recordset* recordset_)
    : csv_field_upsizer(database_, recordset_)
{
    tk_logger::log(1, "sql_field_upsizer::ctor");
}

namespace {

// The text types by the characters each takes for sure: a UTF-16 unit of a
// value is at most three bytes in the server's UTF-8.
struct text_type {
    uint32_t characters;
    const wchar_t* name;
};
constexpr text_type text_types[] = {
    {65535 / 3, L"TEXT"},
    {16777215 / 3, L"MEDIUMTEXT"},
    {UINT32_MAX, L"LONGTEXT"},
};

const text_type& text_type_for(uint32_t size)
{
    for (const text_type& type : text_types)
        if (size <= type.characters)
            return type;
    return text_types[std::size(text_types) - 1];
}

} // namespace

uint32_t sql_field_upsizer::do_upsize(const t_ftd& column, const udb_field& value)
{
    tk_logger::log(1, "sql_field_upsizer::do_upsize");
    // A server table says what its column is; a dump's table is the one the
    // dump creates, each of whose columns is a text of 255 characters.
    if (auto* table = dynamic_cast<sql_table*>(recordset))
        return table->widen_for(column, value);
    const sql_engine& engine = sql_engine::instance();
    tk_logger::log(1, "is_old_version(%08X)", engine.get_version());
    // Names with blanks or reserved words only pass quoted; servers before
    // 4.1.0 take their plain names bare.
    auto name = [&](const std::wstring& n) {
        return engine.is_old_version() ? sql_engine::old_dialect_name(n) : sql_engine::get_safe_name(n);
    };
    const std::wstring column_name = name(column.name);
    const text_type& type = text_type_for(value.get_size());
    database->query(L"ALTER TABLE " + name(recordset->name) + L" CHANGE " + column_name + L" " + column_name +
                    L" " + type.name);
    return type.characters;
}

void sql_settle_widths(udb_schema& columns, const std::vector<uint32_t>& longest)
{
    for (size_t i = 0; i < columns.size() && i < longest.size(); ++i) {
        if (longest[i] <= csv_field_upsizer::text_size)
            continue;
        const text_type& type = text_type_for(longest[i]);
        auto column = std::make_shared<t_ftd>(*columns[i]);  // schemas share their descriptors
        column->native_type = type.name;
        column->size = type.characters;
        column->b_not_null = false;
        column->default_value = ole_variant();
        columns[i] = column;
    }
}
