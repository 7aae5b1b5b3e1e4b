// The statements of a dump's table structure: DROP TABLE and CREATE TABLE
// with their comment blocks and the table's LOCK TABLES, and the small
// structure statements on indexes, foreign keys and tables.
#include "SQL/sql_dump.hpp"

#include "SQL/dmp_recs.hpp"
#include "SQL/sql_engi.hpp"
#include "SQL/sql_fkb.hpp"
#include "SQL/sql_init.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"

std::unique_ptr<udb_recordset> dmp_database::create_table(const std::wstring& table, const udb_schema& schema,
                                                          const udb_indexes& indexes)
{
    tk_logger::wlog(2, L"dmp_database::create_table(%s)", table.c_str());
    if (is_table_exist(table))
        throw tk_mail_assertion("sql_dump", 428);
    sql_check_column_count(table, schema);
    std::wstring auto_increment_name;
    sql_schema_initializer columns(table, schema, indexes, auto_increment_name);
    const std::optional<sql_table_options> chosen = sql_user_table_options(table, schema);
    const std::wstring statement =
        build_create_table(table, columns, indexes, auto_increment_name, chosen ? &*chosen : nullptr);

    unlock_tables("dmp_database::create_table - right before unlock tables");
    if (options.b_ins_tables) {
        if (options.b_ins_comments)
            write_comment_block("Table structure for table", table);
        if (!options.b_keep_existing)
            delete_tab(table);
        tk_logger::log(1, "Right before inserting CREATE TABLE statement");
        write_line(tk_to_utf8(statement) + ";");
    }
    if (options.b_ins_comments)
        write_comment_block("Dumping data for table", table);
    if (options.b_lock_write) {
        write_wline(L"LOCK TABLES " + backquoted_name(table) + L" WRITE;");
        note_lock({table});
    }
    tables.push_back(table);
    tk_logger::wlog(2, L"udb_names_map::add_fn_map(%s)", table.c_str());
    if (names_map.field_map.find(table) == names_map.field_map.end())
        names_map.add_fn_map(table, columns.get_names_map());
    table_indexes.emplace(table, indexes);
    return std::make_unique<dmp_recordset>(out, this, table, columns.get_schema());
}

std::wstring dmp_database::build_create_table(const std::wstring& table, sql_schema_initializer& columns,
                                              const udb_indexes& indexes,
                                              const std::wstring& auto_increment_name,
                                              const sql_table_options* chosen) const
{
    const std::wstring eol = get_weol();
    const wchar_t* create = options.b_keep_existing ? L"CREATE TABLE IF NOT EXISTS " : L"CREATE TABLE ";
    std::wstring text = create + dialect_name(table) + L" (" + eol;
    std::vector<std::wstring> chunks;
    columns.get_init_chunks(chunks, chosen);
    for (size_t i = 0; i < chunks.size(); ++i)
        text += (i > 0 ? L"," + eol : std::wstring()) + L"  " + chunks[i];
    if (!columns.get_schema().empty()) {
        std::vector<std::wstring> index_chunks;
        sql_indexes_initializer index_clauses(columns.get_schema(), indexes, auto_increment_name,
                                              columns.get_names_map());
        index_clauses.get_init_chunks(index_chunks);
        for (const std::wstring& chunk : index_chunks)
            text += L"," + eol + L"  " + chunk;
    }
    return text + eol + L")" + get_engine_clause(chosen);
}

// The table's own engine when the user chose one, else MyISAM for old
// servers and the dialect's engine for new ones; then the table's own
// character set when it has one.
std::wstring dmp_database::get_engine_clause(const sql_table_options* chosen) const
{
    std::wstring engine = chosen != nullptr ? chosen->engine : std::wstring();
    if (engine.empty())
        engine = options.b_new_ver ? sql_engine::instance().get_tab_type() : L"MyISAM";
    std::wstring clause = (options.b_new_ver ? L" ENGINE=" : L" TYPE=") + engine;
    if (chosen != nullptr && !chosen->char_set.empty())
        clause += L" character set " + chosen->char_set;
    return clause;
}

bool dmp_database::delete_tab(const std::wstring& table)
{
    tk_logger::wlog(2, L"dmp_database::delete_tab(%s)", table.c_str());
    // Under LOCK TABLES the server refuses to drop a table it does not hold.
    unlock_tables("dmp_database::delete_tab - right before unlock tables");
    write_wline(L"DROP TABLE IF EXISTS " + dialect_name(table) + L" CASCADE;");
    return is_table_exist(table) && udb_database::delete_tab(table);
}

void dmp_database::create_index(const std::wstring& table, const std::wstring&, const udb_index& index)
{
    tk_logger::log(2, "dmp_database::create_index");
    const std::wstring quoted_table = sql_engine::get_safe_name(table);
    if (options.b_lock_write) {
        write_wline(L"LOCK TABLES " + quoted_table + L" WRITE;");
        note_lock({table});
    } else {
        unlock_unless_locked(table, "dmp_database::create_index - right before unlock tables");
    }
    std::wstring statement;
    if (index.primary)
        statement = L"ALTER TABLE " + quoted_table + L" ADD PRIMARY KEY " + sql_engine::get_safe_name(index.name) + L" (";
    else
        statement = std::wstring(L"CREATE ") + (index.unique ? L"UNIQUE " : L"") + L"INDEX " +
                    sql_engine::get_safe_name(index.name) + L" ON " + quoted_table + L"(";
    for (size_t i = 0; i < index.fields.size(); ++i)
        statement += (i > 0 ? L", " : L"") + sql_engine::get_safe_name(index.fields[i]);
    // The statement's own bare LF, whatever the dump's line ends.
    write(tk_to_utf8(statement + L");\n"));
    out.mark_whole();
}

void dmp_database::delete_idx(const std::wstring& table, const udb_index& index)
{
    tk_logger::wlog(2, L"dmp_database::delete_idx(%s.%s)", table.c_str(), index.name.c_str());
    query(L"ALTER TABLE " + enclose(table) + L" DROP " + (index.primary ? L"PRIMARY KEY" : L"INDEX " + enclose(index.name)));
}

void dmp_database::delete_fk(const udb_relationship& relationship)
{
    tk_logger::wlog(2, L"dmp_database::delete_fk(%s)", relationship.name.c_str());
    // The constraint belongs to the child table, as the dump created it.
    query(sql_fk_drop_statement(names_map.get_tn_mapped_name(relationship.child_table, false), relationship.name));
}
