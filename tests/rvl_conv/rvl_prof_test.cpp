// The converter's settings in a profile file: every key of every section
// written and read back byte for byte, the "Type Mappings" grammar, and
// profiles as users' files come (LF or CR LF, a section twice, bare worksheet
// names, queries with equal signs, lines out of place, no file at all).
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_conv/rvl_prof.hpp"
#include "rvl_fake.hpp"

#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_prof.hpp"
#include "config_home.hpp"

#include <gtest/gtest.h>

#include <optional>

#ifndef RVL_PROFILES
#error RVL_PROFILES must name the folder of the profile fixtures
#endif

namespace {

std::wstring fixture(const char* name) { return (std::filesystem::path(RVL_PROFILES) / name).wstring(); }

struct Profile : ::testing::Test {
    config_home home;
    tk_logger logger{nullptr, false, 3, false};
    recording_hooks hooks;
    recording_handler errors;
    std::optional<ravelin_converter> conv{std::in_place, converter_form::console, hooks};
    test_dir dir;

    // A converter as a new start of the program builds it (one at a time).
    void renew()
    {
        conv.reset();
        conv.emplace(converter_form::console, hooks);
    }

    std::wstring file(const char* name) const { return (dir.path() / name).wstring(); }

    // Every setting a profile holds, none of them at its default.
    void set_everything()
    {
        conv->set_src(L"/data/caf\u00e9.xls");
        conv->set_dest(L"sales");
        conv->set_logfile(dir.file("run.log"));
        conv->skip_indexes = true;
        conv->tab_def = true;
        conv->set_mode(2);
        conv->engine.set_char_set(L"latin1");
        conv->engine.set_tab_type(L"MyISAM");
        conv->x_fnames = false;
        conv->refine_types = false;
        conv->from_xls = false;
        conv->tab_name = L"people";
        conv->n_comma = 2;
        conv->direct = false;
        conv->store_mysql_settings("db.example", "me", "p w=d", "3307");
        conv->dump_opts.n_line_break = 1;
        conv->dump_opts.b_new_ver = false;
        conv->dump_opts.b_lock_write = false;
        conv->dump_opts.b_ins_comments = false;
        conv->dump_opts.b_ins_db = true;
        conv->dump_opts.b_ins_tables = false;
        conv->sel_queries = {{L"Sheet1", L""}, {L"q2", L"SELECT 2"}};
        conv->available_queries = {{L"q1", L"SELECT * FROM [Sheet1$] WHERE a=1"}};
        conv->selected_views = {{L"v1", L"SELECT 3"}};
        conv->get_properties()[L"collation"] = L"utf8_bin";
        sql_table_mutator* people = conv->get_table_mutator2(L"people", L"persons");
        sql_field_type id;
        id.type = L"INT";
        id.default_value = L"0";
        people->update_field(L"id", L"person_id", id);
        sql_field_type price;
        price.type = L"DECIMAL";
        price.precision = 10;
        price.scale = 2;
        price.character_set = L"ascii";
        people->update_field(L"price", L"price", price);
        sql_field_type note;
        people->update_field(L"note", L"note", note)->status = udb_mutators::deleted;
        people->get_properties()[L"engine"] = L"MyISAM";
        conv->get_table_mutator2(L"plain", L"");
    }
};

} // namespace

TEST_F(Profile, EveryKeyIsWrittenAndReadBackByteForByte)
{
    set_everything();
    ASSERT_TRUE(conv->store_profile(file("a.rvl")));
    const std::string stored = test_dir::read(dir.file("a.rvl"));
    const std::string expected = "[Available Queries]\r\n"
                                 "q1=SELECT * FROM [Sheet1$] WHERE a=1\r\n\r\n"
                                 "[Generic settings]\r\n"
                                 "src=/data/caf\xC3\xA9.xls\r\n"
                                 "dest=sales\r\n"
                                 "logfile=" + dir.file("run.log") + "\r\n"
                                 "skip indexes=1\r\n"
                                 "only definitions=1\r\n"
                                 "mode=2\r\n"
                                 "character set=latin1\r\n"
                                 "storage engine=MyISAM\r\n\r\n"
                                 "[MS Excel settings]\r\n"
                                 "extract field names=0\r\n"
                                 "refine types=0\r\n"
                                 "convert from xls=0\r\n"
                                 "csv table name=people\r\n"
                                 "csv delimiter=2\r\n\r\n"
                                 "[MySQL settings]\r\n"
                                 "host=db.example\r\n"
                                 "user=me\r\n"
                                 "password=p w=d\r\n"
                                 "port=3307\r\n"
                                 "dump line break=1\r\n"
                                 "dump new version=0\r\n"
                                 "dump add lock to insert=0\r\n"
                                 "dump insert comments=0\r\n"
                                 "dump create database=1\r\n"
                                 "dump create table=0\r\n"
                                 "direct mode=0\r\n\r\n"
                                 "[Selected Tables]\r\n"
                                 "Sheet1\r\n"
                                 "q2=SELECT 2\r\n\r\n"
                                 "[Selected Views]\r\n"
                                 "v1=SELECT 3\r\n\r\n"
                                 "[Type Mappings]\r\n"
                                 "database:\r\n"
                                 "  collation: utf8_bin\r\n"
                                 "tables:\r\n"
                                 "  - name: people\r\n"
                                 "    new_name: persons\r\n"
                                 "    fields:\r\n"
                                 "      - name:id\r\n"
                                 "        new_name: person_id\r\n"
                                 "        status: changed\r\n"
                                 "        type: INT\r\n"
                                 "        default_value: 0\r\n"
                                 "        character_set: \r\n"
                                 "        length: 4\r\n"
                                 "        scale: 0\r\n"
                                 "        precision: 0\r\n"
                                 "      - name:note\r\n"
                                 "        new_name: note\r\n"
                                 "        status: deleted\r\n"
                                 "        type: \r\n"
                                 "        default_value: \r\n"
                                 "        character_set: \r\n"
                                 "        length: 0\r\n"
                                 "        scale: 0\r\n"
                                 "        precision: 0\r\n"
                                 "      - name:price\r\n"
                                 "        new_name: price\r\n"
                                 "        status: changed\r\n"
                                 "        type: DECIMAL\r\n"
                                 "        default_value: \r\n"
                                 "        character_set: ascii\r\n"
                                 "        length: 0\r\n"
                                 "        scale: 2\r\n"
                                 "        precision: 10\r\n"
                                 "    properties:\r\n"
                                 "        engine: MyISAM\r\n"
                                 "  - name: plain\r\n"
                                 "    new_name: \r\n"
                                 "    fields:\r\n";
    EXPECT_EQ(stored, expected);

    renew();
    ASSERT_TRUE(conv->load_profile(file("a.rvl")));
    ASSERT_TRUE(conv->store_profile(file("b.rvl")));
    EXPECT_EQ(test_dir::read(dir.file("b.rvl")), stored);
}

// The table and delimiter of a CSV profile are its own, never those of
// whatever ran last; a profile from before they were kept names its table
// after its CSV file; a workbook's profile leaves both alone.
TEST_F(Profile, CsvTableNameAndDelimiterComeFromTheProfile)
{
    struct csv_case {
        const char* name;
        const char* excel_settings;
        const wchar_t* table;
        int32_t delimiter;
    };
    const csv_case cases[] = {
        {"saved with both", "convert from xls=0\ncsv table name=people\ncsv delimiter=2\n", L"people", 2},
        {"older profile", "convert from xls=0\n", L"sales_2024", 0},
        {"delimiter out of range", "convert from xls=0\ncsv table name=t\ncsv delimiter=7\n", L"t", 0},
        {"workbook", "convert from xls=1\ncsv table name=people\n", L"huge", 0},
    };
    for (const csv_case& c : cases) {
        SCOPED_TRACE(c.name);
        renew();
        conv->tab_name = L"huge";
        conv->n_comma = 0;
        test_dir::write(dir.file("c.rvl"), std::string("[Generic settings]\nsrc=/data/sales-2024.csv\n"
                                                       "[MS Excel settings]\n") + c.excel_settings);
        ASSERT_TRUE(conv->load_profile(file("c.rvl")));
        EXPECT_EQ(conv->tab_name, c.table);
        EXPECT_EQ(conv->n_comma, c.delimiter);
    }
}

TEST_F(Profile, ValuesWithLineBreaksAndEqualSignsComeBack)
{
    conv->sel_queries = {{L"a=b", L""}, {L"q", L"SELECT *\r\nFROM [s$]\nWHERE x=1"}};
    sql_field_type type;
    type.type = L"VARCHAR";
    type.length = 10;
    type.default_value = L"x=1";
    conv->get_table_mutator2(L"t=1", L"new\nname")->update_field(L"c=d", L"e=f", type);
    ASSERT_TRUE(conv->store_profile(file("a.rvl")));
    const std::string stored = test_dir::read(dir.file("a.rvl"));
    conv->sel_queries.clear();
    ASSERT_TRUE(conv->load_profile(file("a.rvl")));
    const std::vector<std::pair<std::wstring, std::wstring>> selected = {{L"a=b", L""},
                                                                         {L"q", L"SELECT *\r\nFROM [s$]\nWHERE x=1"}};
    EXPECT_EQ(conv->sel_queries, selected);
    sql_table_mutator* table = conv->get_table_mutator3(L"t=1");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->new_name, L"new\nname");
    auto* field = static_cast<sql_field_mutator*>(table->find_mutator(L"c=d"));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->new_name, L"e=f");
    EXPECT_EQ(field->type.default_value, L"x=1");
    ASSERT_TRUE(conv->store_profile(file("b.rvl")));
    EXPECT_EQ(test_dir::read(dir.file("b.rvl")), stored);
}

TEST_F(Profile, UsersFilesWithLfOrCrLfLoadAlike)
{
    for (const char* name : {"job_lf.rvl", "job_crlf.rvl"}) {
        SCOPED_TRACE(name);
        renew();
        conv->from_xls = true;  // the profile's "convert from xls=0" replaces it
        conv->store_mysql_settings("old.host", "old user", "old pw", "");
        ASSERT_TRUE(conv->load_profile(fixture(name)));
        EXPECT_EQ(conv->get_src(), L"/data/people.csv");
        EXPECT_EQ(conv->get_dest(), L"sales");  // the first of two, the second in the section given again
        EXPECT_TRUE(conv->tab_def);             // "yes" is yes for "only definitions"...
        EXPECT_TRUE(conv->x_fnames);            // ...and for every other flag
        EXPECT_FALSE(conv->refine_types);
        EXPECT_FALSE(conv->from_xls);
        EXPECT_FALSE(conv->direct);
        EXPECT_FALSE(conv->skip_indexes);
        EXPECT_EQ(conv->get_mode(), 3);
        EXPECT_EQ(conv->engine.get_char_set(), L"latin1");
        EXPECT_EQ(conv->engine.get_tab_type(), L"MyISAM");  // only in the section given again
        EXPECT_EQ(conv->host, "");  // host and password always come from the profile
        EXPECT_EQ(conv->pswd, "");
        EXPECT_EQ(conv->user, "me");
        EXPECT_EQ(conv->port, "3307");
        EXPECT_EQ(conv->dump_opts.n_line_break, 1u);
        EXPECT_TRUE(conv->dump_opts.b_ins_db);
        EXPECT_TRUE(conv->dump_opts.b_new_ver);  // missing: kept
        const std::wstring query = L"SELECT * FROM [Sheet 1$] WHERE a=1 AND b='x=y'";
        EXPECT_EQ(conv->sel_queries,
                  (std::vector<std::pair<std::wstring, std::wstring>>{{L"Sheet 1", L""}, {L"q1", query}}));
        EXPECT_EQ(conv->available_queries, (std::vector<std::pair<std::wstring, std::wstring>>{{L"q1", query}}));
        EXPECT_EQ(conv->get_properties().at(L"collation"), L"utf8_bin");
        sql_table_mutator* people = conv->get_table_mutator3(L"people");
        ASSERT_NE(people, nullptr);
        EXPECT_EQ(people->new_name, L"persons");
        EXPECT_EQ(people->stored_properties().at(L"engine"), L"MyISAM");
        ASSERT_EQ(people->get_fields().size(), 2u);
        const sql_field_mutator& id = *people->get_fields().at(L"id");
        EXPECT_EQ(id.new_name, L"person_id");
        EXPECT_EQ(id.type.type, L"INT");
        EXPECT_EQ(id.type.default_value, L"0");
        EXPECT_EQ(id.vartype, VT_I4);
        EXPECT_EQ(id.status, udb_mutators::changed);
        const sql_field_mutator& note = *people->get_fields().at(L"note");
        EXPECT_EQ(note.new_name, L"note");  // no new name: the column's own
        EXPECT_EQ(note.status, udb_mutators::deleted);
    }
}

TEST_F(Profile, LoadingAgainAppendsTheListsAndReplacesTheChanges)
{
    ASSERT_TRUE(conv->load_profile(fixture("job_lf.rvl")));
    conv->get_table_mutator2(L"extra", L"x");
    ASSERT_TRUE(conv->load_profile(fixture("job_lf.rvl")));
    EXPECT_EQ(conv->sel_queries.size(), 4u);
    EXPECT_EQ(conv->get_table_mutator3(L"extra"), nullptr);
    EXPECT_NE(conv->get_table_mutator3(L"people"), nullptr);
}

// Only the four modes are taken; an empty value keeps the mode, and any
// other refuses the profile, which changes nothing.
TEST_F(Profile, OnlyTheFourModesAreTaken)
{
    const struct {
        const char* value;
        int32_t mode;  // -1: refused
    } cases[] = {{"0", 0}, {"3", 3}, {"12", -1}, {"7", -1}, {"x", -1}, {"-", -1}, {"", 1}};
    for (const auto& c : cases) {
        conv->set_mode(1);
        test_dir::write(dir.file("m.rvl"), std::string("[Generic settings]\r\nmode=") + c.value + "\r\n");
        if (c.mode < 0) {
            EXPECT_THROW(conv->load_profile(file("m.rvl")), tk_exception) << c.value;
            EXPECT_EQ(conv->get_mode(), 1) << c.value;
            continue;
        }
        ASSERT_TRUE(conv->load_profile(file("m.rvl")));
        EXPECT_EQ(conv->get_mode(), c.mode) << c.value;
    }
}

TEST_F(Profile, TypeMappingsGrammar)
{
    const struct {
        const char* lines;
        bool loads;
        const char* tables;  // each table change as "source>new:column>new/status;..."
                             // (a refused profile changes none)
    } cases[] = {
        {"", true, ""},
        {"database:\r\n  a: b\r\n", true, ""},
        {"something else\r\ntables:\r\n  - name: t\r\n", true, ""},  // skipped whole
        {"tables:\r\n  - name: t\r\n", true, "t>:"},
        {"tables:\r\n  - name:  t  \r\n    new_name:  n  \r\n    fields:\r\n      - name:c\r\n"
         "        status: deleted\r\n",
         true, "t>n:c>c/2;"},
        {"tables:\r\n  - name: t\r\n    fields:\r\n      - name:c\r\n        type: INT\r\n      - name:d\r\n"
         "        new_name: e\r\n        status: other\r\n",
         true, "t>:c>c/1;d>e/1;"},
        {"tables:\r\n  - name: t\r\n      - name:c\r\n", false, "before>b:"},  // a column before "fields:"
        {"tables:\r\n  - name: t\r\n    fields:\r\n        type: INT\r\n", false,
         "before>b:"},  // a key before its column
        {"tables:\r\n  - name: t\r\n    fields:\r\n      - name:c\r\n        size: 3\r\n", false, "before>b:"},
        {"tables:\r\n  - name: t\r\n    fields:\r\n    new_name: n\r\n", false, "before>b:"},
        {"tables:\r\n  - name: t\r\n    properties:\r\n    fields:\r\n", false, "before>b:"},
        {"tables:\r\n  - name: t\r\n    properties:\r\n        a: b: c\r\n        engine: x\r\n", true, "t>:"},
    };
    for (const auto& c : cases) {
        test_dir::write(dir.file("t.rvl"), std::string("[Type Mappings]\r\n") + c.lines);
        conv->clear();
        conv->get_table_mutator2(L"before", L"b");
        bool loaded = false;
        try {
            loaded = conv->load_profile(file("t.rvl"));
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.get_level(), 1);
            EXPECT_NE(std::string(e.what()).find("Profile " + dir.file("t.rvl") + " cannot be used"),
                      std::string::npos)
                << e.what();
        }
        EXPECT_EQ(loaded, c.loads) << c.lines;
        std::string tables;
        for (const auto& [name, table] : conv->get_tables()) {
            tables += tk_to_utf8(name) + ">" + tk_to_utf8(table->new_name) + ":";
            for (const auto& [column, field] : table->get_fields())
                tables += tk_to_utf8(column) + ">" + tk_to_utf8(field->new_name) + "/" +
                          std::to_string(field->status) + ";";
        }
        EXPECT_EQ(tables, c.tables) << c.lines;
    }
}

TEST_F(Profile, ALineOutOfPlaceIsAnErrorNamingTheProfileAndTheLine)
{
    try {
        conv->load_profile(fixture("misplaced.rvl"));
        FAIL() << "loaded";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_EQ(std::string(e.what()), "Profile " + tk_to_utf8(fixture("misplaced.rvl")) +
                                             " cannot be used: this line of its \"Type Mappings\" is out of "
                                             "place:\n      - name:id");
    }
}

TEST_F(Profile, AMissingFileHasItsMessage)
{
    try {
        conv->load_profile(file("missing.rvl"));
        FAIL() << "loaded";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_EQ(std::string(e.what()), "Profile '" + tk_to_utf8(file("missing.rvl")) +
                                             "' does not exist. Please verify the correct path/name was given.");
    }
}

TEST(ProfileLines, PrefixAndTrim)
{
    EXPECT_TRUE(profile_prefix_equal(L"abc", L"", true));
    EXPECT_FALSE(profile_prefix_equal(L"ab", L"abc", true));
    EXPECT_TRUE(profile_prefix_equal(L"  - name: x", L"  - name:", true));
    EXPECT_FALSE(profile_prefix_equal(L"  - NAME: x", L"  - name:", true));
    EXPECT_TRUE(profile_prefix_equal(L"  - NAME: x", L"  - name:", false));
    std::wstring text = L"\t a b  ";
    EXPECT_EQ(profile_trim(text), L"\t a b");
    text = L"   ";
    EXPECT_EQ(profile_trim(text), L"");
}
