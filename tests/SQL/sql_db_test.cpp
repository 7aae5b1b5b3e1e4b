// The server database: its table list, creating, dropping and emptying
// tables, and single statements.
#include "SQL/sql_exc.hpp"
#include "SQL/sql_tab.hpp"
#include "TK/tk_log.hpp"
#include "sql_server.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

namespace {

class SqlDatabase : public server_fixture {};

udb_schema two_columns()
{
    udb_schema schema;
    schema.push_back(make_column(L"id", VT_I4, 4, true));
    schema.push_back(make_column(L"name", VT_BSTR, 40));
    return schema;
}

void expect_internal_error(const std::function<void()>& call, int line)
{
    try {
        call();
        ADD_FAILURE() << "no internal error";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.get_message(), make_err_meggase("sql_db", line));
    }
}

TEST_F(SqlDatabase, ListsBaseTablesOnlyAndFindsThemIgnoringCase)
{
    look().execute("CREATE TABLE Alpha (a INT)");
    look().execute("CREATE TABLE `two words` (a INT)");
    look().execute("CREATE VIEW v AS SELECT a FROM Alpha");
    open();
    std::vector<std::wstring> tables = database->get_tables();
    std::sort(tables.begin(), tables.end());
    EXPECT_EQ(tables, (std::vector<std::wstring>{L"Alpha", L"two words"}));
    EXPECT_TRUE(database->is_table_exist(L"Alpha"));
    // Where the server folds names, as the server does.
    EXPECT_EQ(database->is_table_exist(L"ALPHA"), !database->case_sensitive);
    EXPECT_FALSE(database->is_table_exist(L"v"));
}

// A server that keeps case apart may hold Data and DATA: each name finds its
// own table, and a name in another case finds one by the server's folding
// where the server folds names (never by accents), none where it does not.
TEST_F(SqlDatabase, ATableOfExactlyTheNameIsTheOneMeant)
{
    look().execute("CREATE TABLE `DATA` (a INT)");
    look().execute("CREATE TABLE `Data` (b INT)");
    look().execute("CREATE TABLE `\xC4\xB0l` (c INT)");  // I with dot above
    open();
    EXPECT_EQ(database->get_table(L"Data", 8)->schema.at(0)->name, L"b");
    EXPECT_EQ(database->get_table(L"DATA", 8)->schema.at(0)->name, L"a");
    if (database->case_sensitive)
        EXPECT_FALSE(database->is_table_exist(L"il"));
    else
        EXPECT_EQ(database->get_table(L"il", 8)->schema.at(0)->name, L"c");
    EXPECT_FALSE(database->is_table_exist(L"D\u00c1TA"));
    EXPECT_TRUE(database->delete_tab(L"Data"));
    EXPECT_EQ(look().rows("SELECT table_name FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() "
                          "ORDER BY CAST(table_name AS BINARY)"),
              (std::vector<std::vector<std::string>>{{"DATA"}, {"\xC4\xB0l"}}));
    EXPECT_EQ(database->is_table_exist(L"data"), !database->case_sensitive);
}

TEST_F(SqlDatabase, CreatesTablesAndKeepsItsListItself)
{
    std::unique_ptr<udb_recordset> table = database->create_table(L"People", two_columns(), udb_indexes());
    ASSERT_NE(dynamic_cast<sql_table*>(table.get()), nullptr);
    EXPECT_TRUE(database->is_table_exist(L"People"));
    EXPECT_EQ(database->is_table_exist(L"people"), !database->case_sensitive);
    const auto columns = look().rows("SELECT COLUMN_NAME, DATA_TYPE, IS_NULLABLE FROM information_schema.COLUMNS "
                                     "WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = 'People' ORDER BY "
                                     "ORDINAL_POSITION");
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_EQ(columns[0], (std::vector<std::string>{"id", "int", "NO"}));
    EXPECT_EQ(columns[1][0], "name");
    EXPECT_EQ(scalar("SELECT ENGINE FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() AND "
                     "TABLE_NAME = 'People'"),
              "InnoDB");
    EXPECT_TRUE(database->names_map.field_map.count(L"People"));

    // An existing table is opened as it stands: nothing is sent, and its
    // columns are the server's, not the given ones.
    look().execute("ALTER TABLE People ADD COLUMN extra INT");
    udb_schema other;
    other.push_back(make_column(L"x", VT_I4));
    // In another case where the server folds names.
    const std::wstring same = database->case_sensitive ? L"People" : L"PEOPLE";
    std::unique_ptr<udb_recordset> again = database->create_table(same, other, udb_indexes());
    EXPECT_EQ(again->schema.size(), 3u);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE()"), "1");

    EXPECT_TRUE(database->delete_tab(database->case_sensitive ? L"People" : L"people"));
    EXPECT_FALSE(database->is_table_exist(L"People"));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE()"), "0");
    expect_internal_error([&] { database->delete_tab(L"People"); }, 447);
    expect_internal_error([&] { database->get_table(L"People", 2); }, 75);
}

// A backquote inside a table's name is part of it: every statement on the
// table doubles it, so the name cannot end the identifier early.
TEST_F(SqlDatabase, ATableNameWithABackquoteIsOneIdentifier)
{
    std::unique_ptr<udb_recordset> table = database->create_table(L"odd`name", two_columns(), udb_indexes());
    look().execute("INSERT INTO `odd``name` VALUES (1, 'a'), (2, 'b')");
    std::unique_ptr<udb_recordset> opened = database->get_table(L"odd`name", 2);
    EXPECT_EQ(opened->schema.size(), 2u);
    EXPECT_TRUE(database->delete_tab(L"odd`name"));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE()"), "0");
}

TEST_F(SqlDatabase, AReadOnlyDatabaseRefusesToWrite)
{
    look().execute("CREATE TABLE t (a INT)");
    open(udb_database::mode_read_only);
    expect_internal_error([&] { database->create_table(L"u", two_columns(), udb_indexes()); }, 336);
    expect_internal_error([&] { database->delete_tab(L"t"); }, 446);
}

TEST_F(SqlDatabase, RunsStatements)
{
    EXPECT_EQ(database->query(L"SET @x = 1"), nullptr);
    look().execute("CREATE TABLE `odd name` (a INT)");
    look().execute("INSERT INTO `odd name` VALUES (1), (2), (3)");
    std::unique_ptr<udb_recordset> rows = database->query(L"SELECT a FROM `odd name` ORDER BY a");
    ASSERT_NE(rows, nullptr);
    std::vector<int> values;
    for (; !rows->is_eof(); rows->next())
        values.push_back(rows->get_item()->at(0)->to_long());
    EXPECT_EQ(values, (std::vector<int>{1, 2, 3}));
    rows.reset();

    try {
        database->query(L"SELECT * FROM missing_table");
        FAIL() << "no refusal";
    } catch (const sql_exception& e) {
        EXPECT_EQ(e.get_code(), 0x400000u + 1146u);
        EXPECT_EQ(e.get_level(), 0);
    }
    EXPECT_FALSE(database->test_query(L"SELEC nothing"));
    EXPECT_TRUE(database->test_query(L"SELECT 1"));
    database->empty_table(L"odd name");
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM `odd name`"), "0");
}

TEST_F(SqlDatabase, AskingWhatTheUserMayDoLeavesNoFailedStatementInTheLog)
{
    test_dir dir;
    const std::string log_file = dir.file("run.log");
    tk_logger logger(log_file.c_str(), false, 3, false);
    logger.set_enabled(true);
    EXPECT_TRUE(database->may_drop());
    EXPECT_TRUE(database->may_rename());
    // A failed statement of the run still is logged.
    EXPECT_THROW(database->query(L"SELECT * FROM missing_table"), sql_exception);
    const std::string log = test_dir::read(log_file);
    EXPECT_EQ(log.find("rvl_standin"), std::string::npos) << log;
    EXPECT_NE(log.find("missing_table"), std::string::npos) << log;
}

} // namespace
