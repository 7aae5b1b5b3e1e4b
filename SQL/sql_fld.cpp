#include "SQL/sql_fld.hpp"

#include "SQL/sql_util.hpp"
#include "TK/tk_log.hpp"
#include "UDB/udb_ftd.hpp"

#include <mysql.h>

namespace {

constexpr uint32_t binary_flag = 0x80;

ole_variant column_value(const t_ftd& column, uint32_t size, const char* data)
{
    const VARTYPE vt = column.vartype;
    if (vt == VT_BLOB || vt == VT_BLOB_OBJECT || vt == ole_vt_bytes)
        return get_variant(MYSQL_TYPE_BLOB, size, binary_flag, data);
    return get_variant(vt, data);
}

} // namespace

sql_field::sql_field(const std::wstring& name_, int mysql_type, uint32_t length, uint32_t flags, const char* data)
    : udb_field(name_, length, ::get_variant(mysql_type, length, flags, data), false, false)
{
    tk_logger::wlog(1, L"sql_field::ctor2(%s,%d,%d)", name.c_str(), mysql_type, length);
}

sql_field::sql_field(const std::wstring& name_, int mysql_type, uint32_t length, uint32_t flags, const wchar_t* data)
    : udb_field(name_, length, ::get_variant(mysql_type, length, flags, data), false, false)
{
    tk_logger::wlog(1, L"sql_field::ctor1(%s,%d,%d)", name.c_str(), mysql_type, length);
}

sql_field::sql_field(const udb_field& field) : udb_field(field) {}

sql_field::sql_field(const t_ftd& column, uint32_t size_, const char* data)
    : udb_field(column.name, size_, column_value(column, size_, data), false, false)
{
    tk_logger::wlog(1, L"sql_field::ctor3(%s,%d,%d)", name.c_str(), column.vartype, size_);
}
