// The converter: the record loop with its widening, statistics and per-record
// failures, the stored refinement statements, the run's reports, progress and
// the registry settings of both forms.
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_conv/rvl_upsz.hpp"
#include "platform/dao/pl_daoco.hpp"
#include "rvl_fake.hpp"

#include "TK/tk_regk.hpp"
#include "config_home.hpp"

#include <gtest/gtest.h>

namespace {

std::vector<std::wstring> with_prefix(const std::vector<std::wstring>& all, const std::wstring& prefix)
{
    std::vector<std::wstring> out;
    for (const std::wstring& s : all)
        if (s.rfind(prefix, 0) == 0)
            out.push_back(s);
    return out;
}

// A CSV-like copy of rows into a fake destination.
struct ConverterCopy : ::testing::Test {
    config_home home;
    recording_hooks hooks;
    recording_handler errors;
    ravelin_converter conv{converter_form::console, hooks};
    fake_database db;

    ConverterCopy()
    {
        conv.from_xls = false;
        conv.engine.set_server_version(sql_version_4_1_0);
    }

    std::unique_ptr<udb_recordset> copy(fake_source& source, bool keep_stats = true,
                                        std::function<void(const udb_record&)> fail = {})
    {
        std::unique_ptr<udb_recordset> table = db.create_table(L"t", source.schema, source.indexes);
        static_cast<fake_table&>(*table).fail = std::move(fail);
        conv.convert_step(&source, table.get(), &db, source.schema, keep_stats);
        return table;
    }
};

} // namespace

TEST_F(ConverterCopy, WidensALongColumnOnceBeforeItsRecord)
{
    fake_source source({L"id", L"long note", L"order"},
                       {{L"1", L"a", L"b"}, {L"2", std::wstring(256, L'x'), L"c"}, {L"3", std::wstring(300, L'y'), L"d"}});
    auto table = copy(source, false);
    EXPECT_EQ(db.statements,
              std::vector<std::wstring>{L"ALTER TABLE `t` CHANGE `long note` `long note` TEXT"});
    EXPECT_EQ(static_cast<fake_table&>(*table).appended, (std::vector<std::wstring>{L"1", L"2", L"3"}));
    EXPECT_EQ(conv.rows_done.load(), 0u);  // every table's count starts at 0
}

TEST_F(ConverterCopy, AValueLongerThanTextTakesWidensTheColumnAgain)
{
    fake_source source({L"note"}, {{std::wstring(300, L'a')}, {std::wstring(21845, L'b')},
                                   {std::wstring(21846, L'c')}, {std::wstring(5592406, L'd')}});
    copy(source, false);
    EXPECT_EQ(db.statements, (std::vector<std::wstring>{L"ALTER TABLE `t` CHANGE `note` `note` TEXT",
                                                         L"ALTER TABLE `t` CHANGE `note` `note` MEDIUMTEXT",
                                                         L"ALTER TABLE `t` CHANGE `note` `note` LONGTEXT"}));
}

TEST_F(ConverterCopy, BeforeVersion410NamesAreBare)
{
    conv.engine.set_server_version(0x040018);
    fake_source source({L"id", L"note"}, {{L"1", std::wstring(256, L'x')}});
    copy(source, false);
    EXPECT_EQ(db.statements, std::vector<std::wstring>{L"ALTER TABLE t CHANGE note note TEXT"});
}

TEST_F(ConverterCopy, StoresRefinementAndRunsItOnce)
{
    fake_source source({L"n", L"d", L"s", L"e"}, {{L"1", L"2024-01-01", L"x", L""}, {L"2", L"2024-01-02", L"y", L""}});
    copy(source);
    EXPECT_EQ(conv.refine_queries, (std::vector<std::wstring>{L"ALTER TABLE `t` MODIFY `d` DATE",
                                                              L"ALTER TABLE `t` MODIFY `n` INT"}));
    conv.mysql_refine_types(db);
    EXPECT_EQ(db.statements.size(), 2u);
    EXPECT_TRUE(conv.refine_queries.empty());
    conv.mysql_refine_types(db);
    EXPECT_EQ(db.statements.size(), 2u);
}

TEST_F(ConverterCopy, AFailedRefinementIsOnlyLogged)
{
    conv.refine_queries = {L"refuse this", L"ALTER TABLE `t` MODIFY `n` INT"};
    conv.mysql_refine_types(db);
    EXPECT_EQ(db.statements, std::vector<std::wstring>{L"ALTER TABLE `t` MODIFY `n` INT"});
    EXPECT_TRUE(errors.reports.empty());
}

TEST_F(ConverterCopy, AColumnWithoutAnyValueKeepsItsType)
{
    fake_source source({L"n", L"missing"}, {{L"1"}, {L"2"}});
    copy(source);
    EXPECT_EQ(conv.refine_queries, std::vector<std::wstring>{L"ALTER TABLE `t` MODIFY `n` INT"});
}

TEST_F(ConverterCopy, PricesWithZerosEndingTheirFractionBecomeDouble)
{
    fake_source source({L"price", L"code"}, {{L"19.90", L"1.10"}, {L"5.00", L"1.1.0"}});
    copy(source);
    EXPECT_EQ(conv.refine_queries, std::vector<std::wstring>{L"ALTER TABLE `t` MODIFY `price` DOUBLE"});
}

TEST_F(ConverterCopy, NoStatisticsWithoutRefinementInMergeModeOrForAnExistingTable)
{
    conv.set_mode(0);
    EXPECT_TRUE(conv.keeps_statistics(db, L"new"));
    db.tables.push_back(L"Old");
    EXPECT_FALSE(conv.keeps_statistics(db, L"old"));
    conv.set_mode(3);
    EXPECT_FALSE(conv.keeps_statistics(db, L"new"));
    conv.set_mode(1);
    conv.refine_types = false;
    EXPECT_FALSE(conv.keeps_statistics(db, L"new"));
}

TEST_F(ConverterCopy, OnlyServerErrorsAreCaughtPerRecord)
{
    struct server_error : tk_exception {
        server_error() : tk_exception("Duplicate entry '2' for key 'PRIMARY'", 0) { code = 0x400426; }
    };
    fake_source source({L"id"}, {{L"1"}, {L"2"}, {L"3"}});
    auto table = copy(source, true, [](const udb_record& r) {
        if (r[0]->to_wstring() == L"2")
            throw server_error();
    });
    EXPECT_EQ(static_cast<fake_table&>(*table).appended, (std::vector<std::wstring>{L"1", L"3"}));
    ASSERT_EQ(errors.reports.size(), 1u);
    EXPECT_EQ(errors.reports[0].substr(0, 18), "Duplicate field va");

    fake_source again({L"id"}, {{L"1"}, {L"2"}});
    EXPECT_THROW(copy(again, true, [](const udb_record&) { throw tk_exception("structure", 0); }), tk_exception);
    EXPECT_EQ(conv.rows_done.load(), 0u);
}

TEST_F(ConverterCopy, AStopRequestEndsTheCopyBeforeTheNextRecord)
{
    fake_source source({L"id"}, {{L"1"}, {L"2"}});
    conv.request_stop();
    EXPECT_THROW(copy(source), tk_final_exception);
    conv.clear_stop_request();
}

TEST_F(ConverterCopy, StructureOnlyCopiesNoRecord)
{
    conv.tab_def = true;
    fake_source source({L"id"}, {{L"1"}});
    auto table = copy(source);
    EXPECT_TRUE(static_cast<fake_table&>(*table).appended.empty());
    EXPECT_TRUE(conv.refine_queries.empty());
}

// Both DAO engine classes unavailable, as on a machine without the engine.
struct engine_classes_withdrawn {
    engine_classes_withdrawn() { set(false); }
    ~engine_classes_withdrawn() { set(true); }
    static void set(bool available)
    {
        platform::dao::set_engine_class_available(CLSID_DAODBEngine120, available);
        platform::dao::set_engine_class_available(CLSID_DAODBEngine36, available);
    }
};

TEST(RavelinConverter, TheRunReportsWhatEndsItAndAlwaysSetsDone)
{
    config_home home;
    recording_hooks hooks;
    recording_handler errors;
    ravelin_converter conv(converter_form::console, hooks);
    conv.set_cur_table(L"");
    EXPECT_EQ(conv.get_progress(), 0);  // a workbook run that has not begun
    {
        engine_classes_withdrawn no_engine;
        EXPECT_EQ(conv(), 1u);
    }
    EXPECT_TRUE(conv.done.load());
    EXPECT_EQ(hooks.timers, 1);
    ASSERT_EQ(errors.reports.size(), 1u);
    EXPECT_EQ(errors.reports[0].substr(0, 41), "Failed to load Data Access Objects (DAO) ");
    EXPECT_NE(errors.reports[0].find("[no abort]"), std::string::npos);

    conv.from_xls = false;
    conv.set_src(L"/nonexistent/file.csv");
    EXPECT_EQ(conv(), 1u);
    EXPECT_EQ(errors.reports.size(), 2u);
    EXPECT_EQ(conv.get_progress(), 0);  // once done, the worksheet counters
}

TEST(RavelinConverter, ProgressOfACsvRunWithoutReaderIsComplete)
{
    config_home home;
    recording_hooks hooks;
    ravelin_converter conv(converter_form::console, hooks);
    conv.from_xls = false;
    EXPECT_EQ(conv.get_progress(), 100);
}

TEST(RavelinConverterSettings, AFirstStartAppliesEveryDefaultAndTheWizardStoresThem)
{
    config_home home;
    recording_hooks hooks;
    {
        ravelin_converter conv(converter_form::wizard, hooks);
        EXPECT_TRUE(conv.direct);
        EXPECT_TRUE(conv.from_xls);
        EXPECT_TRUE(conv.x_fnames);
        EXPECT_TRUE(conv.skip_empty_rows);
        EXPECT_TRUE(conv.refine_types);
        EXPECT_FALSE(conv.tab_def);
        EXPECT_EQ(conv.n_comma, 1);
        EXPECT_EQ(conv.port, "3306");
        EXPECT_EQ(conv.dump_opts.n_line_break, 0u);
        EXPECT_TRUE(conv.dump_opts.b_new_ver && conv.dump_opts.b_lock_write && conv.dump_opts.b_ins_comments);
        EXPECT_FALSE(conv.dump_opts.b_ins_db);
        EXPECT_TRUE(conv.dump_opts.b_ins_tables);
        conv.direct = false;
        conv.n_comma = 2;
        conv.pswd = "plain secret";
        conv.tab_name = L"t\u00e4b";
    }
    ravelin_converter again(converter_form::wizard, hooks);
    EXPECT_FALSE(again.direct);
    EXPECT_EQ(again.n_comma, 2);
    EXPECT_EQ(again.pswd, "plain secret");
    EXPECT_EQ(again.tab_name, L"t\u00e4b");
    EXPECT_TRUE(again.serialize(false));
}

TEST(RavelinConverterSettings, StoredValuesAreReadByTheirRules)
{
    config_home home;
    {
        tk_reg_key key;
        ASSERT_EQ(key.create(tk_hkey_current_user, "Software\\Brenvault\\Tessaline"), 0u);
        key.set_value(7u, "direct");
        key.set_value(0u, "refine_types");
        key.set_value(9u, "n_comma");  // outside the delimiter table
        key.set_value(L"latin1", L"char_set");
        key.set_value(1u, "dmp_ins_db");
        key.set_value(L"/tmp/elsewhere.csv", L"src");
    }
    recording_hooks hooks;
    {
        ravelin_converter wizard(converter_form::wizard, hooks);
        EXPECT_TRUE(wizard.direct);
        EXPECT_FALSE(wizard.refine_types);
        EXPECT_EQ(wizard.n_comma, 1);
        EXPECT_EQ(wizard.get_delimiter(), std::wstring(L";"));
        EXPECT_EQ(wizard.get_src(), L"/tmp/elsewhere.csv");
        EXPECT_EQ(wizard.engine.get_char_set(), L"latin1");
    }
    // The console reads only the character set, the engine and the dump
    // options, and keeps its own start values for the rest.
    {
        tk_reg_key key;
        ASSERT_EQ(key.create(tk_hkey_current_user, "Software\\Brenvault\\Tessaline"), 0u);
        key.set_value(0u, "refine_types");
        key.set_value(0u, "direct");
    }
    ravelin_converter console(converter_form::console, hooks);
    EXPECT_EQ(console.engine.get_char_set(), L"latin1");
    EXPECT_TRUE(console.dump_opts.b_ins_db);
    EXPECT_TRUE(console.get_src().empty());
    EXPECT_TRUE(console.refine_types);
    EXPECT_TRUE(console.direct);
    EXPECT_EQ(console.n_comma, -1);
    EXPECT_FALSE(console.x_fnames);
}

TEST_F(ConverterCopy, ChangedColumnsKeepTheUsersTypeAndOthersAreStillRefined)
{
    // n holds integers but the user made it VARCHAR(10); m is left to refinement.
    sql_field_type text;
    text.type = L"VARCHAR";
    text.length = 10;
    conv.get_table_mutator2(L"t", L"t")->update_field(L"n", L"n", text);
    conv.set_cur_table(L"t");
    fake_source source({L"n", L"m"}, {{L"1", L"5"}, {L"2", L"6"}});
    udb_schema columns = source.schema;
    udb_indexes indexes;
    conv.modify1(L"t", columns, indexes);
    std::unique_ptr<udb_recordset> table = db.create_table(L"t", columns, indexes);
    conv.convert_step(&source, table.get(), &db, columns, true);
    EXPECT_EQ(with_prefix(conv.refine_queries, L"ALTER TABLE `t` MODIFY `n`"), std::vector<std::wstring>{});
    EXPECT_EQ(with_prefix(conv.refine_queries, L"ALTER TABLE `t` MODIFY `m`"),
              std::vector<std::wstring>{L"ALTER TABLE `t` MODIFY `m` INT"});
}

TEST_F(ConverterCopy, AValueTheUsersTypeCannotTakeEndsTheTablesCopy)
{
    sql_field_type number;
    number.type = L"INT";
    conv.get_table_mutator2(L"t", L"t")->update_field(L"n", L"n", number);
    conv.set_cur_table(L"t");
    fake_source source({L"n"}, {{L"1"}, {L"abc"}, {L"3"}});
    try {
        copy(source);
        FAIL() << "copied";
    } catch (const tk_exception& e) {
        EXPECT_STREQ(e.what(), "Data conversion is not supported for given type mapping");
    }
    EXPECT_EQ(conv.rows_done.load(), 0u);
}
