#include "rvl_conv/rvl_mut.hpp"

#include "TK/tk_log.hpp"

std::wstring sql_db_mutator::modify1(const std::wstring& table, udb_schema& /*schema*/, udb_indexes& /*indexes*/)
{
    tk_logger::wlog(1, L"udb_db_mutator::modify1(%s)", table.c_str());
    return table;
}

const udb_record& sql_db_mutator::modify2(const std::wstring& table, const udb_record& record)
{
    tk_logger::wlog(2, L"Not found: '%s'", table.c_str());
    return record;
}
