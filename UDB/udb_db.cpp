#include "UDB/udb_db.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "platform/text/pl_case.hpp"

#include <algorithm>

udb_database::udb_database(const std::wstring& name_, uint32_t mode_, bool case_sensitive_)
    : mode(mode_), name(name_), case_sensitive(case_sensitive_)
{
    tk_logger::wlog(2, L"udb_database::ctor(%s,%d)", name.c_str(), mode);
}

udb_database::~udb_database()
{
    tk_logger::log(2, "udb_database::dtor");
}

std::vector<std::wstring>::const_iterator udb_database::find_table(const std::wstring& wanted) const
{
    auto found = std::find(tables.begin(), tables.end(), wanted);
    if (found == tables.end() && !case_sensitive)
        found = std::find_if(tables.begin(), tables.end(),
                             [&](const std::wstring& listed) { return platform::equal_table_names(listed, wanted); });
    return found;
}

void udb_database::create_indexes(const std::wstring& table, const std::wstring& context, const udb_indexes& indexes)
{
    tk_logger::wlog(2, L"udb_database::create_indexes(%s)", table.c_str());
    tk_logger::log(1, "idxs.size=%d", static_cast<int>(indexes.size()));
    for (const udb_index& index : indexes)
        create_index(table, context, index);
    tk_logger::wlog(1, L"udb_database::create_indexes - at the END");
}

bool udb_database::delete_tab(const std::wstring& table)
{
    tk_logger::wlog(2, L"udb_database::delete_tab(%s)", table.c_str());
    const auto found = find_table(table);
    if (found == tables.end()) {
        tk_logger::log(2, "Table not found!");
        return false;
    }
    tables.erase(found);
    return true;
}

void udb_database::empty_table(const std::wstring& table)
{
    tk_logger::wlog(2, L"udb_database::empty_table(%s)", table.c_str());
    query(L"delete from " + table);
}

void udb_database::clear_names(std::vector<std::wstring>& names)
{
    names.clear();
}

std::unique_ptr<udb_recordset> udb_database::query(const std::wstring&)
{
    throw tk_mail_assertion("udb_db", 111);
}

std::vector<std::wstring>& udb_database::get_tables()
{
    return tables;
}

bool udb_database::is_table_exist(const std::wstring& table)
{
    tk_logger::wlog(2, L"udb_database::is_table_exist(%s,case_sensitive=%d)", table.c_str(),
                    static_cast<int>(case_sensitive));
    if (tables.empty())
        tk_logger::log(2, "Tables list is EMPTY!");
    if (find_table(table) != tables.end()) {
        tk_logger::log(1, "table exists");
        return true;
    }
    tk_logger::log(1, "table not found");
    return false;
}
