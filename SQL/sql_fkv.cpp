// Foreign keys on the live server: added to tables that already exist, each
// under a write lock of its two tables and with foreign-key checks off, so
// rows already in the tables do not stop it. One that fails is reported and
// the next one is made.
#include "SQL/sql_db.hpp"

#include "SQL/sql_engi.hpp"
#include "SQL/sql_exc.hpp"
#include "SQL/sql_fkb.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_rprt.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_vali.hpp"
#include "platform/text/pl_format.hpp"
#include "TK/tk_mail.hpp"

namespace {

const char source_file[] = "sql_db";
constexpr uint32_t mode_append = 8;  // how existing databases are opened to be added to
const std::string fk_failure_text = std::string("Cannot create foreign key. If the problem persists, please write to ") +
                                    tk_support_mailbox + " and attach the log file.";

// Holds the write locks of one relationship's tables and lets them go when
// the relationship is done, whatever happened: a lock left in force would
// refuse every later statement on any other table of the connection.
class table_lock {
public:
    table_lock(sql_database& database, const std::wstring& statement) : database(database)
    {
        tk_logger::wlog(3, L"Locking query: '%s'", statement.c_str());
        database.query(statement);
    }
    ~table_lock()
    {
        try {
            database.query(L"UNLOCK TABLES");
        } catch (const tk_exception& e) {
            tk_logger::log(2, "Cannot unlock tables: %s", e.what());
        }
    }
    table_lock(const table_lock&) = delete;
    table_lock& operator=(const table_lock&) = delete;

private:
    sql_database& database;
};

} // namespace

void sql_database::create_relationships(const udb_relationships& relationships)
{
    tk_logger::log(2, "sql_database::create_relationships");
    tk_logger::log(3, "Converting foreign keys");
    if (sql_engine::instance().get_version() < sql_version_3_23_44) {
        tk_logger::log(3, "This version of MySQL doesn't support Foreign Keys");
        return;
    }
    if (mode == mode_append) {
        tk_logger::log(3, "Foreign keys are not converted in append mode");
        return;
    }
    const fk_checks_off unchecked(*this);
    const std::unique_ptr<udb_validator> validator = sql_engine::instance().create_in_validator(udb_indexes());
    for (const udb_relationship& relationship : relationships) {
        try {
            create_relationship(relationship, *validator);
        } catch (const tk_exception& e) {
            tk_logger::log(3, "Error while creating FK:\n%s\n", e.what());
            tk_reporter& handler = tk_reporter::current();
            handler.set_context(relationship.name.empty() ? relationship.child_table
                                                          : L"Foreign key '" + relationship.name + L"'");
            handler.handle(tk_exception(fk_failure_text, 0), false);
        }
    }
}

void sql_database::create_relationship(const udb_relationship& relationship, udb_validator& validator)
{
    tk_logger::wlog(3, L"Processing '%s'", relationship.name.c_str());
    const std::wstring child = existing_table(relationship.child_table, "fk_table_name=%s");
    const std::wstring parent = existing_table(relationship.parent_table, "pk_table_name=%s");
    // The rule text is written into the statement as it stands.
    if (!sql_fk_is_rule(relationship.properties))
        throw tk_exception(platform::format("Foreign key rule '%S' is not a referential action",
                                            relationship.properties.c_str()),
                           0);
    const table_lock lock(*this, sql_fk_lock_statement(parent, child));
    create_fk_index_if(child, relationship.fk_flds);
    create_fk_index_if(parent, relationship.pk_flds);
    const std::wstring constraint = sql_fk_constraint_name(validator, relationship.name);
    const std::wstring statement = sql_fk_constraint_statement(names_map, relationship, child, parent, constraint);
    tk_logger::wlog(3, L"Foreign key query: '%s'", statement.c_str());
    query(statement);
}

std::wstring sql_database::existing_table(const std::wstring& source, const char* log_format)
{
    const std::wstring table = names_map.get_tn_mapped_name(source, false);
    tk_logger::log(1, log_format, tk_to_utf8(table).c_str());
    if (!is_table_exist(table))
        throw tk_exception(platform::format("Table '%s' not exists", tk_to_utf8(table).c_str()), 0);
    return listed_name(table);
}

void sql_database::create_fk_index_if(const std::wstring& table, const std::vector<std::wstring>& fields)
{
    tk_logger::wlog(2, L"sql_database::create_fk_index_if(%s)", table.c_str());
    const std::unique_ptr<udb_recordset> opened = get_table(table, 0x61);
    if (!opened)
        throw tk_mail_assertion(source_file, 292);
    // The server lists an index by its columns, the names the fields got.
    std::vector<std::wstring> columns;
    for (const std::wstring& field : fields)
        columns.push_back(names_map.get_fn_mapped_name(table, field, true));
    if (opened->indexes.has_index_on_fields(columns, false)) {
        tk_logger::wlog(2, L"Index for table '%s' exists", table.c_str());
        return;
    }
    tk_logger::wlog(2, L"Index for table '%s' does NOT exist", table.c_str());
    try {
        query(sql_fk_index_statement(names_map, table, fields));
    } catch (const sql_exception& e) {
        tk_logger::log(2, "Error while creating index for FK:\n%s\n", e.what());
    }
}

void sql_database::delete_fk(const udb_relationship& relationship)
{
    tk_logger::wlog(2, L"sql_database::delete_fk(%s)", relationship.name.c_str());
    query(sql_fk_drop_statement(listed_name(names_map.get_tn_mapped_name(relationship.child_table, false)),
                                relationship.name));
}

sql_database::fk_checks_off::fk_checks_off(sql_database& database_) : database(database_)
{
    database.query_logged(L"SET FOREIGN_KEY_CHECKS = 0", "Cannot turn OFF foreign key check: %s");
}

sql_database::fk_checks_off::~fk_checks_off()
{
    database.query_logged(L"SET FOREIGN_KEY_CHECKS = 1", "Cannot turn ON foreign key check: %s");
}

void sql_database::query_logged(const std::wstring& statement, const char* failure_format)
{
    try {
        query(statement);
    } catch (const tk_exception& e) {
        tk_logger::log(2, failure_format, e.what());
    }
}
