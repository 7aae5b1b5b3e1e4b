#include "SQL/sql_fkb.hpp"

#include "SQL/sql_engi.hpp"
#include "TK/tk_log.hpp"
#include "UDB/udb_nmap.hpp"
#include "UDB/udb_rel.hpp"
#include "UDB/udb_vali.hpp"
#include "platform/text/pl_case.hpp"

#include <sstream>

std::wstring sql_fk_columns(const udb_names_map& names, const std::wstring& table,
                            const std::vector<std::wstring>& fields)
{
    std::wstring columns;
    for (const std::wstring& field : fields) {
        if (!columns.empty())
            columns += L", ";
        columns += sql_engine::get_safe_name(names.get_fn_mapped_name(table, field, true));
    }
    return columns;
}

std::wstring sql_fk_index_statement(const udb_names_map& names, const std::wstring& table,
                                    const std::vector<std::wstring>& fields)
{
    return L"ALTER TABLE " + sql_engine::get_safe_name(table) + L" ADD INDEX (" +
           sql_fk_columns(names, table, fields) + L")";
}

std::wstring sql_fk_lock_statement(const std::wstring& first, const std::wstring& second)
{
    std::wstring statement = L"LOCK TABLES " + sql_engine::get_safe_name(first) + L" WRITE";
    if (!platform::equal_no_case(first, second))
        statement += L", " + sql_engine::get_safe_name(second) + L" WRITE";
    return statement;
}

std::wstring sql_fk_constraint_name(udb_validator& validator, const std::wstring& name)
{
    std::wstring constraint = name;
    if (!validator.is_acceptable(constraint)) {
        constraint = validator.get_safe_name(constraint);
        tk_logger::wlog(2, L"Store generated index name '%s'", constraint.c_str());
        tk_logger::wlog(1, L"udb_validator::add_existing_name(%s)", constraint.c_str());
        validator.add_existing_name(constraint);
    }
    validator.restricted_names.push_back(constraint);
    return constraint;
}

std::wstring sql_fk_constraint_statement(const udb_names_map& names, const udb_relationship& relationship,
                                         const std::wstring& child, const std::wstring& parent,
                                         const std::wstring& constraint)
{
    std::wstring statement = L"ALTER TABLE " + sql_engine::get_safe_name(child) + L" ADD CONSTRAINT " +
                             sql_engine::get_safe_name(constraint) + L" FOREIGN KEY(" +
                             sql_fk_columns(names, child, relationship.fk_flds) + L") REFERENCES " +
                             sql_engine::get_safe_name(parent) + L"(" +
                             sql_fk_columns(names, parent, relationship.pk_flds) + L")";
    if (!relationship.properties.empty())
        statement += L" " + relationship.properties;
    return statement;
}

std::wstring sql_fk_drop_statement(const std::wstring& table, const std::wstring& constraint)
{
    return L"ALTER TABLE " + sql_engine::get_safe_name(table) + L" DROP FOREIGN KEY " +
           sql_engine::get_safe_name(constraint);
}

namespace {

bool word_is(const std::wstring& word, const wchar_t* expected)
{
    return platform::equal_no_case(word, expected);
}

// One action after ON DELETE or ON UPDATE; advances past it.
bool read_action(const std::vector<std::wstring>& words, size_t& i)
{
    if (i >= words.size())
        return false;
    if (word_is(words[i], L"RESTRICT") || word_is(words[i], L"CASCADE")) {
        ++i;
        return true;
    }
    if (i + 1 < words.size() && ((word_is(words[i], L"SET") && (word_is(words[i + 1], L"NULL") ||
                                                                  word_is(words[i + 1], L"DEFAULT"))) ||
                                 (word_is(words[i], L"NO") && word_is(words[i + 1], L"ACTION")))) {
        i += 2;
        return true;
    }
    return false;
}

} // namespace

bool sql_fk_is_rule(const std::wstring& rule)
{
    std::wistringstream stream(rule);
    std::vector<std::wstring> words;
    for (std::wstring word; stream >> word;)
        words.push_back(word);
    size_t i = 0;
    while (i < words.size()) {
        if (i + 1 >= words.size() || !word_is(words[i], L"ON") ||
            !(word_is(words[i + 1], L"DELETE") || word_is(words[i + 1], L"UPDATE")))
            return false;
        i += 2;
        if (!read_action(words, i))
            return false;
    }
    return true;
}
