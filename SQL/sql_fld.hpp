// A field of a record on the MySQL side: one value of a server result column,
// or a text read as the value of a destination column. It adds nothing to
// udb_field but the ways to build one from the client library's raw data.
#pragma once

#include "UDB/udb_fld.hpp"

#include <cstdint>
#include <string>

struct t_ftd;

class sql_field : public udb_field {
public:
    // A result column's value: data as the client library gives it (null for
    // SQL NULL), of the given MySQL field type, length in bytes and flags.
    sql_field(const std::wstring& name, int mysql_type, uint32_t length, uint32_t flags, const char* data);
    sql_field(const std::wstring& name, int mysql_type, uint32_t length, uint32_t flags, const wchar_t* data);
    explicit sql_field(const udb_field& field);
    // A value for a column: the column's binary types take size bytes of
    // data, every other type reads data as its text.
    sql_field(const t_ftd& column, uint32_t size, const char* data);
};
