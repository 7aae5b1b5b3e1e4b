#include "rvl_conv/rvl_upsz.hpp"

#include "SQL/sql_engi.hpp"
#include "TK/tk_log.hpp"

sql_field_upsizer::sql_field_upsizer(udb_database* database_, udb_recordset* recordset_)
    : csv_field_upsizer(database_, recordset_)
{
    tk_logger::log(1, "sql_field_upsizer::ctor");
}

void sql_field_upsizer::do_upsize(t_ftd& column)
{
    tk_logger::log(1, "sql_field_upsizer::do_upsize");
    const sql_engine& engine = sql_engine::instance();
    tk_logger::log(1, "is_old_version(%08X)", engine.get_version());
    // Names with blanks or reserved words only pass quoted; servers before
    // 4.1.0 take their plain names bare.
    auto name = [&](const std::wstring& n) {
        return engine.is_old_version() ? sql_engine::old_dialect_name(n) : sql_engine::get_safe_name(n);
    };
    const std::wstring column_name = name(column.name);
    database->query(L"ALTER TABLE " + name(recordset->name) + L" CHANGE " + column_name + L" " + column_name +
                    L" TEXT");
}
