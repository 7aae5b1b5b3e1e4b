// CREATE TABLE as the live server sends it, from the clause builders.
#include "SQL/sql_init.hpp"

#include "SQL/sql_engi.hpp"
#include "UDB/udb_ftd.hpp"
#include "UDB/udb_prop.hpp"

namespace {

constexpr uint32_t version_3_23_35 = 0x031723;  // from here the default engine is the user's
constexpr uint32_t version_4_0_23 = 0x040017;   // from here ENGINE=, before it TYPE=

std::wstring property(udb_properties& settings, const wchar_t* name)
{
    const auto& map = settings.get_properties();
    const auto found = map.find(name);
    return found == map.end() ? std::wstring() : found->second;
}

} // namespace

std::optional<sql_table_options> sql_user_table_options(const std::wstring& table_name, const udb_schema& schema)
{
    udb_properties* settings = tk_singleton<sql_engine>::instance().get_properties();
    udb_properties* table = settings != nullptr ? settings->find_mutator2(table_name) : nullptr;
    if (table == nullptr)
        return std::nullopt;
    sql_table_options options;
    options.engine = property(*table, L"engine");
    options.char_set = property(*table, L"character set");
    for (size_t i = 0; i < schema.size(); ++i)
        if (udb_properties* column = table->find_mutator2(schema[i]->name))
            options.column_char_sets[schema[i]->name] = property(*column, L"character_set");
    return options;
}

sql_table_clauses sql_make_table_clauses(const std::wstring& table_name, const udb_schema& schema,
                                         const udb_indexes& indexes, const sql_table_options* options)
{
    sql_check_column_count(table_name, schema);
    sql_table_clauses clauses;
    std::wstring auto_increment_name;
    sql_schema_initializer columns(table_name, schema, indexes, auto_increment_name);
    columns.get_init_chunks(clauses.columns, options);
    clauses.column_names = columns.get_names_map();
    if (!indexes.empty() || !auto_increment_name.empty()) {
        sql_indexes_initializer index_clauses(columns.get_schema(), indexes, auto_increment_name,
                                              columns.get_names_map());
        index_clauses.get_init_chunks(clauses.indexes);
    }
    return clauses;
}

std::wstring sql_make_create_table(const std::wstring& table_name, const sql_table_clauses& clauses,
                                   const sql_table_options* options)
{
    const sql_engine& engine = tk_singleton<sql_engine>::instance();
    std::wstring statement = L"CREATE TABLE " + sql_engine::get_safe_name(table_name) + L" (";
    for (size_t i = 0; i < clauses.columns.size(); ++i)
        statement += (i > 0 ? L", " : L"") + clauses.columns[i];
    for (const std::wstring& index : clauses.indexes)
        statement += L", " + index;
    statement += L")";
    if (options != nullptr && !options->char_set.empty())
        statement += L" character set " + options->char_set;
    std::wstring storage = options != nullptr ? options->engine : std::wstring();
    if (storage.empty())
        storage = engine.get_version() < version_3_23_35 ? L"MyISAM" : engine.get_tab_type();
    statement += (engine.get_version() < version_4_0_23 ? L" TYPE=" : L" ENGINE=") + storage;
    return statement;
}
