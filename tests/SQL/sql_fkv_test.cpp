// Foreign keys and views on the live server: the statements the server
// accepts, what comes back when the tables and the database are read again,
// and the failures that are reported while the next item is still made.
#include "SQL/sql_exc.hpp"
#include "SQL/sql_fkb.hpp"
#include "SQL/sql_view.hpp"
#include "rvl_conv/rvl_errh.hpp"
#include "rvl_conv/rvl_errt.hpp"
#include "sql_server.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace {

// Remembers each report with its context; ends the run when told to, as a
// user's Abort does.
class recording_handler : public error_handler {
public:
    recording_handler() : error_handler(mysql_err_map_size, mysql_err_map) {}
    void handle(const tk_exception& e, bool no_abort) override
    {
        reports.push_back(get_context() + " | " + e.what() + (no_abort ? " [no abort]" : ""));
        if (abort)
            throw tk_final_exception();
    }
    std::vector<std::string> reports;
    bool abort = false;
};

const char fk_report[] = "Cannot create foreign key. If the problem persists, please write to "
                         "tessaline-support@example.invalid and attach the log file.";

class SqlForeignKeys : public server_fixture {
protected:
    void SetUp() override
    {
        server_fixture::SetUp();
        if (IsSkipped())
            return;
        look().execute("CREATE TABLE parent (id INT PRIMARY KEY, code INT, UNIQUE KEY (code))");
        look().execute("CREATE TABLE child (id INT PRIMARY KEY, parent_id INT, note INT)");
        look().execute("CREATE TABLE other (a INT)");
        open(4);
    }

    static udb_relationship to_parent(const std::wstring& name, const std::wstring& rule = L"")
    {
        return udb_relationship(name, L"", L"child", L"parent", {L"parent_id"}, {L"id"}, rule);
    }

    void make_keys(std::initializer_list<udb_relationship> list)
    {
        udb_relationships relationships;
        relationships.insert(relationships.end(), list);
        database->create_relationships(relationships);
    }

    // The foreign keys of a table as the server's SHOW CREATE TABLE gives them.
    udb_relationships read_back(const std::wstring& table)
    {
        database->relationships.clear();
        database->get_table(table, 2);
        return database->relationships;
    }

    std::vector<std::string> constraints(const std::string& table) const
    {
        std::vector<std::string> names;
        for (const auto& row : look().rows("SELECT CONSTRAINT_NAME FROM information_schema.REFERENTIAL_CONSTRAINTS "
                                           "WHERE CONSTRAINT_SCHEMA = DATABASE() AND TABLE_NAME = '" +
                                           table + "' ORDER BY CONSTRAINT_NAME"))
            names.push_back(row.at(0));
        return names;
    }

    std::string index_count(const std::string& table) const
    {
        return scalar("SELECT COUNT(DISTINCT INDEX_NAME) FROM information_schema.STATISTICS WHERE TABLE_SCHEMA = "
                      "DATABASE() AND TABLE_NAME = '" +
                      table + "'");
    }

    recording_handler handler;
};

TEST_F(SqlForeignKeys, CreatesKeysUnderMappedNamesThatReadBackThroughTheParser)
{
    // Source names: the names map says what the tables and fields became.
    database->names_map.add_tn_mapping(L"Kids", L"child");
    database->names_map.add_tn_mapping(L"Parents", L"parent");
    database->names_map.add_fn_map(L"child", t_names_map{{L"Parent Ref", L"parent_id"}, {L"Note", L"note"}});
    database->names_map.add_fn_map(L"parent", t_names_map{{L"Key", L"id"}, {L"Code", L"code"}});
    make_keys(
        {udb_relationship(L"fk_kids", L"", L"Kids", L"Parents", {L"Parent Ref"}, {L"Key"},
                          L"ON DELETE CASCADE ON UPDATE NO ACTION"),
         udb_relationship(L"fk_note", L"", L"Kids", L"Parents", {L"Note"}, {L"Code"}, L"")});
    EXPECT_TRUE(handler.reports.empty()) << handler.reports.front();

    udb_relationships keys = read_back(L"child");
    std::sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].name, L"fk_kids");
    EXPECT_EQ(keys[0].child_table, L"child");
    EXPECT_EQ(keys[0].parent_table, L"parent");
    EXPECT_EQ(keys[0].fk_flds, std::vector<std::wstring>{L"parent_id"});
    EXPECT_EQ(keys[0].pk_flds, std::vector<std::wstring>{L"id"});
    EXPECT_EQ(keys[0].properties, L"ON DELETE CASCADE ON UPDATE NO ACTION");
    EXPECT_EQ(keys[1].name, L"fk_note");
    EXPECT_EQ(keys[1].pk_flds, std::vector<std::wstring>{L"code"});
    EXPECT_EQ(keys[1].properties, L"");

    // The locks of the last key are gone: any other table can be written.
    EXPECT_NO_THROW(database->query(L"INSERT INTO other VALUES (1)"));
    // And the key holds.
    look().execute("INSERT INTO parent VALUES (1, 10)");
    look().execute("INSERT INTO child VALUES (1, 1, 10)");
    EXPECT_THROW(look().execute("INSERT INTO child VALUES (2, 7, NULL)"), std::runtime_error);
}

TEST_F(SqlForeignKeys, AddsAnIndexOnlyWhereNoIndexStartsWithTheKeyColumns)
{
    look().execute("CREATE TABLE kept (id INT PRIMARY KEY, p INT, q INT, KEY lead (p, q))");
    look().execute("CREATE TABLE turned (id INT PRIMARY KEY, p INT, q INT, KEY back (q, p))");
    open(4);
    make_keys({udb_relationship(L"fk_kept", L"", L"kept", L"parent", {L"p"}, {L"id"}, L""),
                                    udb_relationship(L"fk_turned", L"", L"turned", L"parent", {L"p"}, {L"id"}, L"")});
    EXPECT_TRUE(handler.reports.empty());
    EXPECT_EQ(index_count("kept"), "2");    // PRIMARY, lead
    EXPECT_EQ(index_count("turned"), "3");  // PRIMARY, back, the new one on p
    EXPECT_EQ(constraints("kept"), std::vector<std::string>{"fk_kept"});
    EXPECT_EQ(constraints("turned"), std::vector<std::string>{"fk_turned"});
}

TEST_F(SqlForeignKeys, ATableReferringToItselfIsLockedOnce)
{
    look().execute("CREATE TABLE tree (id INT PRIMARY KEY, up INT)");
    open(4);
    // The parent named in another case where the server folds names.
    const std::wstring parent = database->case_sensitive ? L"tree" : L"TREE";
    make_keys({udb_relationship(L"fk_up", L"", L"tree", parent, {L"up"}, {L"id"}, L"")});
    EXPECT_TRUE(handler.reports.empty()) << handler.reports.front();
    EXPECT_EQ(constraints("tree"), std::vector<std::string>{"fk_up"});
}

TEST_F(SqlForeignKeys, AFailedKeyIsReportedAndTheNextOneIsStillMade)
{
    struct failing {
        udb_relationship relationship;
        std::string context;
    };
    const std::vector<failing> cases = {
        {udb_relationship(L"fk_nowhere", L"", L"child", L"missing", {L"parent_id"}, {L"id"}, L""),
         "Foreign key 'fk_nowhere'"},
        {udb_relationship(L"", L"", L"absent", L"parent", {L"parent_id"}, {L"id"}, L""), "absent"},
        // The rule text is written into the statement: anything but
        // referential actions is refused before anything is sent.
        {to_parent(L"fk_injected", L"ON DELETE CASCADE, DROP TABLE other"), "Foreign key 'fk_injected'"},
        {to_parent(L"fk_bad_rule", L"ON DELETE EXPLODE"), "Foreign key 'fk_bad_rule'"},
        // The server refuses it: two columns cannot refer to one.
        {udb_relationship(L"fk_refused", L"", L"child", L"parent", {L"parent_id", L"note"}, {L"id"}, L""),
         "Foreign key 'fk_refused'"},
    };
    for (const failing& c : cases) {
        SCOPED_TRACE(c.context);
        handler.reports.clear();
        make_keys({c.relationship, to_parent(L"fk_after")});
        ASSERT_EQ(handler.reports.size(), 1u);
        EXPECT_EQ(handler.reports[0], c.context + " | " + fk_report);
        EXPECT_EQ(constraints("child"), std::vector<std::string>{"fk_after"});
        database->delete_fk(to_parent(L"fk_after"));
    }
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() AND "
                     "TABLE_NAME = 'other'"),
              "1");
}

TEST_F(SqlForeignKeys, TwoKeysOfOneNameGetTwoConstraintNames)
{
    make_keys({to_parent(L"fk_same"), to_parent(L"fk_same")});
    EXPECT_TRUE(handler.reports.empty()) << handler.reports.front();
    const std::vector<std::string> names = constraints("child");
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "fk_same");
    EXPECT_NE(names[1], "fk_same");
}

TEST_F(SqlForeignKeys, NothingIsSentBefore3_23_44OrInAppendMode)
{
    server.engine.set_server_version(0x03172B);
    make_keys({to_parent(L"fk_old")});
    EXPECT_TRUE(constraints("child").empty());

    server.engine.set_server_version(0x03172C);
    open(8);
    make_keys({to_parent(L"fk_append")});
    EXPECT_TRUE(constraints("child").empty());

    open(4);
    make_keys({to_parent(L"fk_made")});
    EXPECT_EQ(constraints("child"), std::vector<std::string>{"fk_made"});
    // From the same version on, opening a table reads its foreign keys.
    EXPECT_EQ(read_back(L"child").size(), 1u);
}

TEST_F(SqlForeignKeys, AbortLeavesAtOnceAndReleasesTheLocks)
{
    handler.abort = true;
    EXPECT_THROW(make_keys({to_parent(L"fk_bad", L"DROP TABLE other"), to_parent(L"fk_next")}),
                 tk_final_exception);
    EXPECT_TRUE(constraints("child").empty());
    EXPECT_NO_THROW(database->query(L"INSERT INTO other VALUES (1)"));

    // A failure after the lock was taken: the lock goes too.
    handler.reports.clear();
    EXPECT_THROW(make_keys({udb_relationship(L"fk_refused", L"", L"child", L"parent",
                                                                  {L"parent_id", L"note"}, {L"id"}, L"")}),
                 tk_final_exception);
    EXPECT_EQ(handler.reports.size(), 1u);
    EXPECT_NO_THROW(database->query(L"INSERT INTO other VALUES (2)"));
}

TEST_F(SqlForeignKeys, DeletesAKeyFromTheTableThatHoldsIt)
{
    database->names_map.add_tn_mapping(L"Kids", L"child");
    make_keys({to_parent(L"fk_gone")});
    ASSERT_EQ(read_back(L"child").size(), 1u);
    database->delete_fk(udb_relationship(L"fk_gone", L"", L"Kids", L"parent", {L"parent_id"}, {L"id"}, L""));
    EXPECT_TRUE(read_back(L"child").empty());
    // A key that is not there is the server's refusal, not a silent success.
    EXPECT_THROW(database->delete_fk(to_parent(L"fk_gone")), sql_exception);
}

class SqlViews : public SqlForeignKeys {
protected:
    std::vector<std::string> view_names() const
    {
        std::vector<std::string> names;
        for (const auto& row : look().rows("SELECT TABLE_NAME FROM information_schema.VIEWS WHERE TABLE_SCHEMA = "
                                           "DATABASE()"))
            names.push_back(row.at(0));
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(SqlViews, CreatesSelectQueriesInMySqlsDialect)
{
    look().execute("INSERT INTO parent VALUES (1, NULL), (2, 20)");
    database->names_map.add_tn_mapping(L"Parents", L"parent");
    database->create_views({
        {L"Codes", L"SELECT [id],\r\n  isnull([code], 0) AS c, len('a  b') AS l FROM [Parents]"},
        {L"lower", L"select id from parent"},
        {L"blank first", L" SELECT id FROM parent"},
        {L"change", L"UPDATE parent SET code = 1"},
        // A name the server cannot take is made safe; later views name it
        // by its source name.
        {L"Totals ", L"SELECT COUNT(*) AS n FROM parent"},
        {L"Uses totals", L"SELECT n FROM [Totals ]"},
    });
    EXPECT_TRUE(handler.reports.empty()) << handler.reports.front();
    EXPECT_EQ(view_names(), (std::vector<std::string>{"Codes", "Uses totals", "lower", "totals"}));
    EXPECT_EQ(look().rows("SELECT id, c, l FROM Codes ORDER BY id"),
              (std::vector<std::vector<std::string>>{{"1", "0", "4"}, {"2", "20", "4"}}));
    EXPECT_EQ(scalar("SELECT n FROM `Uses totals`"), "2");
    EXPECT_EQ(database->names_map.get_tn_mapped_name(L"Totals ", true), L"totals");
}

TEST_F(SqlViews, AFailedViewIsReportedAndTheNextOneIsStillMade)
{
    database->create_views({{L"broken", L"SELECT x FROM nowhere"}, {L"fine", L"SELECT id FROM parent"}});
    ASSERT_EQ(handler.reports.size(), 1u);
    EXPECT_EQ(handler.reports[0].rfind("View 'broken' | ", 0), 0u) << handler.reports[0];
    EXPECT_NE(handler.reports[0].find("nowhere"), std::string::npos) << handler.reports[0];
    EXPECT_EQ(view_names(), std::vector<std::string>{"fine"});
}

TEST_F(SqlViews, OpeningReadsTheViewsWithoutTheDatabasesName)
{
    look().execute("CREATE VIEW listed AS SELECT id FROM parent WHERE code > 1");
    open(4);
    ASSERT_EQ(database->views.size(), 1u);
    EXPECT_EQ(database->views[0].first, L"listed");
    const std::wstring& sql = database->views[0].second;
    EXPECT_EQ(sql.find(L"`" + wname() + L"`."), std::wstring::npos);
    EXPECT_NE(sql.find(L"from `parent`"), std::wstring::npos);
    // The definition read back is one the server takes again.
    EXPECT_NO_THROW(database->query(L"CREATE VIEW again AS " + sql));

    open(udb_database::mode_no_views | 4);
    EXPECT_TRUE(database->views.empty());
}

// The database's name goes into the view listing as an escaped literal: a
// quote in it neither breaks the statement nor adds to it.
TEST_F(SqlViews, ADatabaseNameWithAQuoteStillListsItsViews)
{
    struct dropper {
        ~dropper() { test_connection().execute("DROP DATABASE IF EXISTS `rvl_it's`"); }
    } drop;
    test_connection admin;
    admin.execute("DROP DATABASE IF EXISTS `rvl_it's`");
    admin.execute("CREATE DATABASE `rvl_it's`");
    admin.execute("CREATE TABLE `rvl_it's`.t (a INT)");
    admin.execute("CREATE VIEW `rvl_it's`.v AS SELECT a FROM `rvl_it's`.t");
    std::unique_ptr<udb_database> quoted = server.engine.open_db(L"rvl_it's", 4, std::wstring());
    ASSERT_EQ(quoted->views.size(), 1u);
    EXPECT_EQ(quoted->views[0].first, L"v");
    EXPECT_EQ(quoted->views[0].second.find(L"rvl_it"), std::wstring::npos);
}

TEST(SqlViewText, RefineViewOutDropsTheFirstCommentAndTheDatabasesName)
{
    const std::vector<std::tuple<std::wstring, std::wstring, std::wstring>> cases = {
        {L"Sales", L"select `SALES`.`t`.`a` AS `a` from `sales`.`t`", L"select `t`.`a` AS `a` from `t`"},
        {L"db", L"/* one */ select 1 /* two */", L" select 1 /* two */"},
        // A comment end before any comment start ends nothing.
        {L"db", L"select '*/' /* open", L"select '*/' /* open"},
        {L"we`ird", L"select `we``ird`.`t`.`a` from `we``ird`.`t`", L"select `t`.`a` from `t`"},
    };
    for (const auto& [database, in, out] : cases)
        EXPECT_EQ(sql_view_converter::refine_view_out(database, in), out);
}

TEST(SqlForeignKeyText, RuleTextsHoldOnlyReferentialActions)
{
    for (const wchar_t* rule : {L"", L" ON DELETE CASCADE", L"on update set null",
                                L"ON DELETE NO ACTION ON UPDATE SET DEFAULT", L"ON UPDATE RESTRICT"})
        EXPECT_TRUE(sql_fk_is_rule(rule));
    for (const wchar_t* rule : {L"ON DELETE", L"ON DELETE CASCADE;", L"ON DELETE CASCADE, DROP TABLE t", L"CASCADE",
                                L"ON INSERT CASCADE", L"ON DELETE SET"})
        EXPECT_FALSE(sql_fk_is_rule(rule));
}

} // namespace
