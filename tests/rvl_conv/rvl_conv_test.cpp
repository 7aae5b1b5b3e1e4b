// The converter: the record loop with its widening and per-record failures,
// the types settled from a table's values before it is created, the run's
// reports, progress and the registry settings of both forms.
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_conv/rvl_upsz.hpp"
#include "common/csv_util.hpp"
#include "SQL/sql_util.hpp"
#include "platform/dao/pl_daoco.hpp"
#include "rvl_fake.hpp"

#include "TK/tk_regk.hpp"
#include "TK/tk_utils.hpp"
#include "config_home.hpp"
#include "platform/text/pl_utf8.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace {

// Each column as CREATE TABLE gives it: "name TYPE", with " NOT NULL" when so.
std::vector<std::wstring> created(const udb_schema& columns)
{
    std::vector<std::wstring> out;
    for (const std::shared_ptr<t_ftd>& c : columns)
        out.push_back(c->name + L" " +
                      (c->native_type.empty() ? get_sql_native_type2(c.get(), false, L"utf8mb4") : c->native_type) +
                      (c->b_not_null ? L" NOT NULL" : L""));
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

    std::unique_ptr<udb_recordset> copy(fake_source& source, std::function<void(const udb_record&)> fail = {})
    {
        std::unique_ptr<udb_recordset> table = db.create_table(L"t", source.schema, source.indexes);
        static_cast<fake_table&>(*table).fail = std::move(fail);
        conv.convert_step(&source, table.get(), &db, true);
        return table;
    }

    // The source's columns as its table would be created after reading it,
    // through the user's changes of table t.
    std::vector<std::wstring> settle(fake_source& source)
    {
        udb_schema columns = source.schema;
        udb_indexes indexes;
        conv.modify1(L"t", columns, indexes);
        conv.settle_types(source, columns, nullptr);
        return created(columns);
    }

    // The user gives column n of table t a type.
    void user_types_n(const wchar_t* type, uint32_t length = 0)
    {
        sql_field_type chosen;
        chosen.type = type;
        chosen.length = length;
        conv.get_table_mutator2(L"t", L"t")->update_field(L"n", L"n", chosen);
        conv.set_cur_table(L"t");
    }
};

} // namespace

TEST_F(ConverterCopy, WidensALongColumnOnceBeforeItsRecord)
{
    fake_source source({L"id", L"long note", L"order"},
                       {{L"1", L"a", L"b"}, {L"2", std::wstring(256, L'x'), L"c"}, {L"3", std::wstring(300, L'y'), L"d"}});
    auto table = copy(source);
    EXPECT_EQ(db.statements,
              std::vector<std::wstring>{L"ALTER TABLE `t` CHANGE `long note` `long note` TEXT"});
    EXPECT_EQ(static_cast<fake_table&>(*table).appended, (std::vector<std::wstring>{L"1", L"2", L"3"}));
    EXPECT_EQ(conv.rows_done.load(), 0u);  // every table's count starts at 0
}

TEST_F(ConverterCopy, AValueLongerThanTextTakesWidensTheColumnAgain)
{
    fake_source source({L"note"}, {{std::wstring(300, L'a')}, {std::wstring(21845, L'b')},
                                   {std::wstring(21846, L'c')}, {std::wstring(5592406, L'd')}});
    copy(source);
    EXPECT_EQ(db.statements, (std::vector<std::wstring>{L"ALTER TABLE `t` CHANGE `note` `note` TEXT",
                                                         L"ALTER TABLE `t` CHANGE `note` `note` MEDIUMTEXT",
                                                         L"ALTER TABLE `t` CHANGE `note` `note` LONGTEXT"}));
}

TEST_F(ConverterCopy, BeforeVersion410NamesAreBare)
{
    conv.engine.set_server_version(0x040018);
    fake_source source({L"id", L"note"}, {{L"1", std::wstring(256, L'x')}});
    copy(source);
    EXPECT_EQ(db.statements, std::vector<std::wstring>{L"ALTER TABLE t CHANGE note note TEXT"});
}

TEST_F(ConverterCopy, TypesAreSettledFromAllValuesBeforeTheTableIsCreated)
{
    // n integers, b one beyond 32 bits, p prices, d dates and a date with a
    // time, t times of day, e8 eight digits (a date and a number: the number
    // wins), s text, e empty texts, z a leading zero, missing no value at all.
    fake_source source({L"n", L"b", L"p", L"d", L"t", L"e8", L"s", L"e", L"z", L"missing"},
                       {{L"1", L"1", L"19.90", L"2024-01-01", L"10:00:00", L"20240101", L"x", L"", L"1"},
                        {L"2", L"4294967296", L"5.00", L"2024-01-02 10:30:00", L"23:59:59", L"20240102", L"y", L"",
                         L"01"}});
    EXPECT_EQ(settle(source), (std::vector<std::wstring>{L"n INT", L"b BIGINT", L"p DOUBLE", L"d DATETIME",
                                                         L"t TIME", L"e8 INT", L"s VARCHAR(255)", L"e VARCHAR(255)",
                                                         L"z VARCHAR(255)", L"missing VARCHAR(255)"}));
    // The source's own descriptors are not touched: schemas share them.
    EXPECT_EQ(source.schema[0]->vartype, VT_BSTR);
    EXPECT_TRUE(db.statements.empty());
}

TEST_F(ConverterCopy, LongValuesSettleTheTextTypeTheCopyWouldWidenTo)
{
    fake_source source({L"a", L"b", L"c", L"d"}, {{L"1", std::wstring(300, L'x'), std::wstring(21846, L'y'), L"z"},
                                                  {L"2", L"x", L"y", std::wstring(255, L'z')}});
    source.schema[1]->b_not_null = true;
    EXPECT_EQ(settle(source),
              (std::vector<std::wstring>{L"a INT", L"b TEXT", L"c MEDIUMTEXT", L"d VARCHAR(255)"}));
    // Settled widths leave nothing to widen in the copy.
    fake_source again({L"b"}, {{std::wstring(300, L'x')}});
    udb_schema columns = again.schema;
    conv.settle_types(again, columns, nullptr);
    std::unique_ptr<udb_recordset> table = db.create_table(L"t", columns, {});
    fake_source rows({L"b"}, {{std::wstring(300, L'x')}});
    conv.convert_step(&rows, table.get(), &db, false);
    EXPECT_TRUE(db.statements.empty());
}

TEST_F(ConverterCopy, ANumberColumnThatIsToBecomeTextIsAlteredAfterTheCopy)
{
    // A text in a number column: the server writes each value's text when the
    // column becomes text. Dates of two kinds in a date column make it text
    // from the start, for the copy to write each as the sheet shows it.
    fake_source source({L"d", L"n", L"i"}, {{L"10:00:00", L"1", L"1"}, {L"2024-01-01", L"x", L"2"}});
    source.schema[0]->vartype = VT_DATE;
    source.schema[0]->reserved = 1;
    source.schema[1]->vartype = VT_R8;
    source.schema[2]->vartype = VT_R8;
    udb_schema columns = source.schema;
    const auto later = conv.settle_types(source, columns, nullptr);
    EXPECT_EQ(created(columns), (std::vector<std::wstring>{L"d VARCHAR(23)", L"n DOUBLE", L"i INT"}));
    std::unique_ptr<udb_recordset> table = db.create_table(L"t", columns, {});
    conv.mysql_refine_types(db, table->name, table->schema, later);
    EXPECT_EQ(db.statements, (std::vector<std::wstring>{L"ALTER TABLE `t` MODIFY `n` VARCHAR (255)"}));
}

// Without the ALTER privilege the column keeps the type it was created with,
// which the run did not mean: the table's report says so.
TEST_F(ConverterCopy, ATypeChangeTheServerRefusesIsReported)
{
    fake_source source({L"refuse"}, {{L"1"}, {L"x"}});
    source.schema[0]->vartype = VT_R8;
    udb_schema columns = source.schema;
    const auto later = conv.settle_types(source, columns, nullptr);
    std::unique_ptr<udb_recordset> table = db.create_table(L"t", columns, {});
    conv.mysql_refine_types(db, table->name, table->schema, later);
    EXPECT_EQ(errors.reports, (std::vector<std::string>{"t: The column 'refuse' was not made VARCHAR (255): refused\n"
                                                        "It keeps the type it was created with."}));
}

TEST_F(ConverterCopy, ColumnsWithADefaultOrAutoNumberKeepTheirType)
{
    fake_source source({L"d", L"a", L"n"}, {{L"1", L"2", L"3"}});
    source.schema[0]->default_value = ole_variant(std::wstring(L"7"));
    source.schema[1]->b_auto_increment = true;
    EXPECT_EQ(settle(source), (std::vector<std::wstring>{L"d VARCHAR(255)", L"a VARCHAR(255)", L"n INT"}));
}

TEST_F(ConverterCopy, AColumnWithoutAnyValueKeepsItsType)
{
    fake_source source({L"n", L"missing"}, {{L"1"}, {L"2"}});
    EXPECT_EQ(settle(source), (std::vector<std::wstring>{L"n INT", L"missing VARCHAR(255)"}));
}

TEST_F(ConverterCopy, PricesWithZerosEndingTheirFractionBecomeDouble)
{
    fake_source source({L"price", L"code"}, {{L"19.90", L"1.10"}, {L"5.00", L"1.1.0"}});
    EXPECT_EQ(settle(source), (std::vector<std::wstring>{L"price DOUBLE", L"code VARCHAR(255)"}));
}

TEST_F(ConverterCopy, TypesAreSettledOnlyForANewTableWithRefinementOnWithRows)
{
    conv.set_mode(0);
    EXPECT_TRUE(conv.settles_types(db, L"new"));
    db.tables.push_back(L"Old");
    // Mode 0 replaces a table that is there by a new one.
    EXPECT_TRUE(conv.settles_types(db, L"old"));
    conv.set_mode(2);
    EXPECT_FALSE(conv.settles_types(db, L"old"));
    conv.set_mode(3);
    EXPECT_TRUE(conv.settles_types(db, L"new"));
    EXPECT_FALSE(conv.settles_types(db, L"old"));
    conv.set_mode(1);
    conv.tab_def = true;
    EXPECT_FALSE(conv.settles_types(db, L"new"));
    conv.tab_def = false;
    conv.refine_types = false;
    EXPECT_FALSE(conv.settles_types(db, L"new"));
}

TEST_F(ConverterCopy, OnlyServerErrorsAreCaughtPerRecord)
{
    struct server_error : tk_exception {
        server_error() : tk_exception("Duplicate entry '2' for key 'PRIMARY'", 0) { code = 0x400426; }
    };
    fake_source source({L"id"}, {{L"1"}, {L"2"}, {L"3"}});
    auto table = copy(source, [](const udb_record& r) {
        if (r[0]->to_wstring() == L"2")
            throw server_error();
    });
    EXPECT_EQ(static_cast<fake_table&>(*table).appended, (std::vector<std::wstring>{L"1", L"3"}));
    ASSERT_EQ(errors.reports.size(), 1u);
    EXPECT_EQ(errors.reports[0].substr(0, 18), "Duplicate field va");

    fake_source again({L"id"}, {{L"1"}, {L"2"}});
    EXPECT_THROW(copy(again, [](const udb_record&) { throw tk_exception("structure", 0); }), tk_exception);
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

// A failure that ends the CSV file's table withdraws its reader: the
// display keeps what had been read, at the report and once the run is done,
// and never jumps to the end.
TEST(RavelinConverter, ProgressOfACsvRunThatFailsShowsWhatWasRead)
{
    config_home home;
    test_dir dir;
    std::string lines = "id,name\n";
    for (int i = 0; i < 50000; ++i)
        lines += (i == 999 ? std::string("ten") : std::to_string(i)) + ",name of row " + std::to_string(i) + "\n";
    test_dir::write(dir.file("items.csv"), lines);
    test_dir::write(dir.file("job.rvl"), "[Generic settings]\nsrc=" + dir.file("items.csv") + "\ndest=" +
                                             dir.file("out.sql") +
                                             "\n[MS Excel settings]\nconvert from xls=0\nextract field names=1\nrefine types=0\n"
                                             "[MySQL settings]\ndirect mode=0\n[Type Mappings]\ntables:\n"
                                             "  - name: items\n    fields:\n      - name:id\n        type: INT\n");
    recording_hooks hooks;
    ravelin_converter conv(converter_form::console, hooks);
    // What the progress display shows while the failure is reported.
    struct watching_handler : recording_handler {
        const ravelin_converter* watched = nullptr;
        std::vector<int> shown;
        void handle(const tk_exception& e, bool no_abort) override
        {
            shown.push_back(watched->get_progress());
            recording_handler::handle(e, no_abort);
        }
    } errors;
    errors.watched = &conv;
    ASSERT_TRUE(conv.load_profile(tk_to_unicode(dir.file("job.rvl"))));
    conv.n_comma = 2;
    conv.tab_name = L"items";
    EXPECT_EQ(conv(), 0u);
    ASSERT_EQ(errors.reports.size(), 1u);
    EXPECT_NE(errors.reports[0].find("Data conversion is not supported"), std::string::npos) << errors.reports[0];
    ASSERT_EQ(errors.shown.size(), 1u);
    EXPECT_LT(errors.shown[0], 50);
    // A run that read the whole file ends at its end.
    test_dir::write(dir.file("items.csv"), "id,name\n1,a\n2,b\n");
    EXPECT_EQ(conv(), 0u);
    EXPECT_EQ(errors.reports.size(), 1u);
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
        // No delimiter chosen yet: the delimiter page reads it off the file,
        // and a run without one takes ";".
        EXPECT_EQ(conv.n_comma, -1);
        EXPECT_EQ(std::wstring(conv.get_delimiter()), L";");
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

// A stored name reaches the statements as it stands: one that is not a plain
// name is ignored with a notice, in both forms, and the name in use stays.
TEST(RavelinConverterSettings, StoredNamesThatAreNotPlainNamesAreIgnored)
{
    const struct {
        const wchar_t* char_set;
        const wchar_t* tab_type;
        const wchar_t* used_char_set;
        const wchar_t* used_tab_type;
        const wchar_t* notice;
    } cases[] = {
        {L"latin1", L"MyISAM", L"latin1", L"MyISAM", nullptr},
        {L"utf8mb4 */; DROP DATABASE victimdb; /*", L"MyISAM", L"utf8", L"MyISAM",
         L"notice The stored setting char_set 'utf8mb4 */; DROP DATABASE victimdb; /*' is not a plain name and is "
         L"ignored; the default is used."},
        {L"latin1", L"InnoDB; DROP DATABASE victimdb; --", L"latin1", L"InnoDB",
         L"notice The stored setting tab_type 'InnoDB; DROP DATABASE victimdb; --' is not a plain name and is "
         L"ignored; the default is used."},
    };
    for (const auto& c : cases) {
        for (const converter_form form : {converter_form::wizard, converter_form::console}) {
            SCOPED_TRACE(platform::to_utf8(std::wstring(c.char_set) + L" " + c.tab_type));
            config_home home;
            {
                tk_reg_key key;
                ASSERT_EQ(key.create(tk_hkey_current_user, "Software\\Brenvault\\Tessaline"), 0u);
                key.set_value(c.char_set, L"char_set");
                key.set_value(c.tab_type, L"tab_type");
            }
            recording_hooks hooks;
            ravelin_converter conv(form, hooks);
            EXPECT_EQ(conv.engine.get_char_set(), c.used_char_set);
            EXPECT_EQ(conv.engine.get_tab_type(), c.used_tab_type);
            const std::vector<std::wstring> notices = c.notice ? std::vector<std::wstring>{c.notice}
                                                               : std::vector<std::wstring>{};
            EXPECT_EQ(hooks.lines, notices);
            conv.forget_settings();
        }
    }
}

// Every reading of a CSV run sees the bytes the first one saw: a line
// appended after the columns were read is not converted, and the changed
// file is reported as a failure of the run.
TEST(RavelinConverter, ACsvFileThatGrowsDuringTheRunIsReadToItsFirstLength)
{
    config_home home;
    test_dir dir;
    const std::string csv = dir.file("grows.csv");
    test_dir::write(csv, "id,amount\n1,10\n2,20\n");
    recording_hooks hooks;
    recording_handler errors;
    ravelin_converter conv(converter_form::console, hooks);
    conv.from_xls = false;
    conv.direct = false;
    conv.x_fnames = true;
    conv.n_comma = 2;
    conv.tab_name = L"t";
    conv.set_src(platform::from_utf8(csv));
    conv.set_dest(platform::from_utf8(dir.file("out.sql")));
    conv.check_dest();
    std::ofstream(csv, std::ios::app) << "3,notanumber\n";
    EXPECT_EQ(conv(), 0u);
    const std::string dump = test_dir::read(dir.file("out.sql"));
    EXPECT_NE(dump.find("`amount` INT"), std::string::npos) << dump;
    EXPECT_NE(dump.find("(2, 20);"), std::string::npos) << dump;
    EXPECT_EQ(dump.find("notanumber"), std::string::npos) << dump;
    ASSERT_FALSE(hooks.lines.empty());
    EXPECT_EQ(hooks.lines.back(),
              L"notice The source file '" + platform::from_utf8(csv) +
                  L"' changed while it was converted (its size or modification time is no longer what it was when "
                  L"the run began): the rows converted are those of its first 20 bytes.");
    EXPECT_EQ(errors.error_count(), 1);
    EXPECT_TRUE(errors.reports.empty());
}

// A CSV file settles the same types read as the texts of its lines as read
// as records: long values are counted in characters, not bytes; a line read
// as Windows-1252 and a short line count as their records do.
TEST_F(ConverterCopy, ACsvFilesLinesSettleWhatItsRecordsSettle)
{
    test_dir dir;
    const std::string path = dir.file("in.csv");
    std::string e200, e300;
    for (int i = 0; i < 300; ++i)
        (i < 200 ? e200 : e300) += "\xC3\xA9";
    e300 = e200 + e300;
    test_dir::write(path, "n,d,p,s,w,v\n"
                          "1,2024-01-01,19.90,x," + e300 + "," + e200 + "\n"
                          "2,2024-01-02 10:30:00,5.00,caf\xE9,a,b\n"
                          "3\n"
                          "4,2024-01-03,1.5,\xC3\xA9,b,c\n");
    const auto settled = [&](bool as_lines) {
        conv.set_cur_table(L"t");
        csv_file file(platform::from_utf8(path), L",", true);
        udb_schema columns = file.schema;
        conv.settle_types(file, columns, as_lines ? &file : nullptr);
        return created(columns);
    };
    const std::vector<std::wstring> expected{L"n INT",         L"d DATETIME", L"p DOUBLE",
                                             L"s VARCHAR(255)", L"w TEXT",     L"v VARCHAR(255)"};
    EXPECT_EQ(settled(false), expected);
    EXPECT_EQ(settled(true), expected);
}

TEST_F(ConverterCopy, ChangedColumnsKeepTheUsersTypeAndOthersAreStillRefined)
{
    // n holds integers but the user made it VARCHAR(10); m is left to refinement.
    user_types_n(L"VARCHAR", 10);
    fake_source source({L"n", L"m"}, {{L"1", L"5"}, {L"2", L"6"}});
    EXPECT_EQ(settle(source), (std::vector<std::wstring>{L"n VARCHAR(10)", L"m INT"}));
}

TEST_F(ConverterCopy, AValueTheUsersTypeCannotTakeFailsTheTableBeforeItIsWritten)
{
    // "abc" in n, which the user made INT, is met by the reading before the
    // table is created: the table fails there, naming the record and field.
    user_types_n(L"INT");
    fake_source source({L"n", L"m"}, {{L"1", L"5"}, {L"abc", L"x"}});
    try {
        settle(source);
        FAIL() << "settled";
    } catch (const tk_exception& e) {
        EXPECT_STREQ(e.what(), "Data conversion is not supported for given type mapping: the value 'abc' of the "
                               "field 'n' (INT), record #2. No row of the table is written.");
    }
}

TEST_F(ConverterCopy, AValueTheUsersTypeCannotTakeEndsTheTablesCopy)
{
    user_types_n(L"INT");
    fake_source source({L"n"}, {{L"1"}, {L"abc"}, {L"3"}});
    try {
        copy(source);
        FAIL() << "copied";
    } catch (const tk_exception& e) {
        EXPECT_STREQ(e.what(), "Data conversion is not supported for given type mapping");
    }
    // The count stays where the failure ended the copy: the front end tells
    // how far it got. The next copy starts at 0.
    EXPECT_EQ(conv.rows_done.load(), 1u);
    fake_source next({L"n"}, {{L"4"}});
    copy(next);
    EXPECT_EQ(conv.rows_done.load(), 0u);
}
