// MORVANTE running a saved conversion: a profile renames the table, renames
// one column and drops another, and gives two columns new types, one with a
// default; the result is checked in the dump loaded into the test server and
// in the live server. Also the profile failures the console reports.
#include "SQL/dmp_help.hpp"
#include "con_help.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#if !defined(RVL_PROFILES) || !defined(RVL_WORKBOOKS)
#error RVL_PROFILES and RVL_WORKBOOKS must name the folders of the profile and workbook fixtures
#endif

namespace {

using table_rows = std::vector<std::vector<std::string>>;

const char type_mappings[] = "[Type Mappings]\n"
                             "tables:\n"
                             "  - name: items\n"
                             "    new_name: goods\n"
                             "    fields:\n"
                             "      - name:id\n"
                             "        new_name: item_id\n"
                             "        type: INT\n"
                             "      - name:name\n"
                             "        new_name: title\n"
                             "        type: VARCHAR\n"
                             "        length: 40\n"
                             "        character_set: latin1\n"
                             "      - name:note\n"
                             "        status: deleted\n"
                             "      - name:price\n"
                             "        type: DECIMAL\n"
                             "        precision: 6\n"
                             "        scale: 2\n"
                             "        default_value: 1.50\n";

// items.csv and a profile job.rvl that converts it with the changes above.
struct job_dir : test_dir {
    explicit job_dir(const std::string& settings, const std::string& mappings = type_mappings)
    {
        std::filesystem::copy_file(std::string(RVL_PROFILES) + "/items.csv", file("items.csv"));
        write(file("job.rvl"), "[Generic settings]\nsrc=items.csv\n" + settings +
                                   "\n[MS Excel settings]\nconvert from xls=0\nextract field names=1\n\n" + mappings);
    }
};

const std::vector<std::string> job_args = {"--profile=job.rvl", "--csv_delim=2", "--tab_name=items"};

// The empty price of Pin is no value, not a failed conversion.
const table_rows goods_rows = {
    {"1", "Nut", "0.50"}, {"2", "Bolt", "1.25"}, {"3", "Washer", "2.00"}, {"4", "Pin", "NULL"}};

// The columns of goods as "name type default; ...".
std::string goods_columns(test_connection& db)
{
    std::string text;
    for (const auto& r : db.rows("SELECT column_name, column_type, column_default FROM "
                                 "information_schema.columns WHERE table_schema = DATABASE() AND table_name = "
                                 "'goods' ORDER BY ordinal_position"))
        text += r[0] + " " + r[1] + " " + r[2] + "; ";
    return text;
}

const char expected_columns[] = "item_id int(11) NULL; title varchar(40) NULL; price decimal(6,2) 1.50; ";

void expect_goods(test_connection& db)
{
    EXPECT_EQ(db.rows("SELECT item_id, title, price FROM goods ORDER BY item_id"), goods_rows);
    EXPECT_EQ(goods_columns(db), expected_columns);
    EXPECT_EQ(db.rows("SELECT character_set_name FROM information_schema.columns WHERE table_schema = "
                      "DATABASE() AND table_name = 'goods' AND column_name = 'title'"),
              (table_rows{{"latin1"}}));
    EXPECT_EQ(db.rows("SELECT table_name FROM information_schema.tables WHERE table_schema = DATABASE()"),
              (table_rows{{"goods"}}));
    // The default stands for a row that gives no price.
    db.execute("INSERT INTO goods (item_id, title) VALUES (9, 'Clip')");
    EXPECT_EQ(db.rows("SELECT price FROM goods WHERE item_id = 9"), (table_rows{{"1.50"}}));
}

} // namespace

TEST(ConsoleProfile, ChangesReachTheDump)
{
    job_dir dir("dest=items.sql\n[MySQL settings]\ndirect mode=0\n");
    const program_result r = run_morvante(dir, job_args);
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "Converting CSV file items.csv\n");
    const std::string dump = test_dir::read(dir.file("items.sql"));
    EXPECT_NE(dump.find("CREATE TABLE `goods`"), std::string::npos) << dump;
    EXPECT_EQ(dump.find("note"), std::string::npos) << dump;
    EXPECT_NE(dump.find("`title` VARCHAR(40) CHARACTER SET latin1"), std::string::npos) << dump;
    if (!test_server_settings())
        return;
    test_database loaded;
    std::string output;
    ASSERT_EQ(dmp_load(dir.file("items.sql"), loaded.name(), output), 0) << output;
    test_connection db(loaded.name());
    expect_goods(db);
}

// The profile's CSV table name and delimiter serve without --tab_name= and
// --csv_delim=; given, those stand over the profile's wherever they stand;
// an older profile without them names the table after its CSV file.
TEST(ConsoleProfile, TheCsvTableNameAndDelimiterComeFromTheProfileUnlessGiven)
{
    struct option_case {
        const char* name;
        const char* csv_keys;
        std::vector<std::string> args;
    };
    const option_case cases[] = {
        {"from the profile", "csv table name=items\ncsv delimiter=2\n", {"--profile=job.rvl"}},
        {"given before the profile", "csv table name=other\ncsv delimiter=0\n",
         {"--tab_name=items", "--csv_delim=2", "--profile=job.rvl"}},
        {"older profile", "", {"--profile=job.rvl", "--csv_delim=2"}},
    };
    for (const option_case& c : cases) {
        SCOPED_TRACE(c.name);
        job_dir dir(std::string("dest=items.sql\n[MySQL settings]\ndirect mode=0\n[MS Excel settings]\n") +
                    c.csv_keys);
        const program_result r = run_morvante(dir, c.args);
        ASSERT_EQ(r.code, 0) << r.out << r.err;
        const std::string dump = test_dir::read(dir.file("items.sql"));
        EXPECT_NE(dump.find("CREATE TABLE `goods`"), std::string::npos) << dump;
        EXPECT_NE(dump.find("'Washer'"), std::string::npos) << dump;
    }
}

// A workbook named as a CSV file is refused, not read as text into a table.
TEST(ConsoleProfile, AWorkbookGivenAsTheCsvFileIsRefused)
{
    for (const char* book : {"sheetjs.xlsx", "xlwt.xls"}) {
        SCOPED_TRACE(book);
        test_dir dir;
        std::filesystem::copy_file(std::string(RVL_WORKBOOKS) + "/" + book, dir.file("items.csv"));
        const program_result r = run_morvante(dir, {"--from_csv", "--src=items.csv", "--csv_delim=2",
                                                    "--tab_name=items", "--dump", "--dest=items.sql"});
        EXPECT_EQ(r.code, 255);
        EXPECT_NE((r.out + r.err).find("is a workbook, not a CSV file"), std::string::npos) << r.out << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir.file("items.sql")));
    }
}

TEST(ConsoleProfile, ChangesReachTheLiveServerWhoseSettingsComeFromTheProfile)
{
    RVL_NEED_TEST_SERVER();
    const server_settings s = *test_server_settings();
    const std::string name = "rvl_profile_" + std::to_string(::getpid());
    test_connection().execute("DROP DATABASE IF EXISTS `" + name + "`");
    job_dir dir("dest=" + name + "\n[MySQL settings]\ndirect mode=1\nhost=127.0.0.1\nport=" +
                std::to_string(s.port) + "\nuser=" + s.user + "\npassword=" + s.password + "\n");
    // The profile's server settings stand over the command line's.
    std::vector<std::string> args = job_args;
    args.insert(args.end(), {"--host=nowhere.invalid", "--port=1", "--user=nobody", "--pswd=wrong"});
    const program_result r = run_morvante(dir, args);
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    {
        test_connection db(name);
        expect_goods(db);
    }
    test_connection().execute("DROP DATABASE `" + name + "`");
}

TEST(ConsoleProfile, AProfileWhoseTypeMappingsFailIsAnErrorNamingIt)
{
    job_dir dir("dest=items.sql\n[MySQL settings]\ndirect mode=0\n",
                "[Type Mappings]\ntables:\n  - name: items\n      - name:id\n");
    const program_result r = run_morvante(dir, job_args);
    EXPECT_EQ(r.code, 255);
    EXPECT_EQ(r.out, "Error:\nProfile job.rvl cannot be used: this line of its \"Type Mappings\" is out of "
                     "place:       - name:id\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("items.sql")));
}

TEST(ConsoleProfile, AMissingProfileEndsTheProgram)
{
    test_dir dir;
    const program_result r = run_morvante(dir, {"--profile=none.rvl", "--src=a.csv", "--dest=db"});
    EXPECT_EQ(r.code, 255);
    EXPECT_EQ(r.out, "Error:\nProfile 'none.rvl' does not exist. Please verify the correct path/name was given.\n");
}

TEST(ConsoleProfile, AValueTheNewTypeCannotTakeIsReported)
{
    job_dir dir("dest=items.sql\n[MySQL settings]\ndirect mode=0\n");
    test_dir::write(dir.file("items.csv"), "id,name,price,note\n1,Nut,0.5,a\nten,Bolt,1,b\n");
    const program_result r = run_morvante(dir, job_args);
    EXPECT_EQ(r.code, 1);  // the table failed; the run went to its end
    EXPECT_EQ(r.out, "Error:\nData conversion is not supported for given type mapping: the value 'ten' of the "
                     "field 'item_id' (INT), record #2. No row of the table is written.\n");
    // The table failed before any of its rows was written; the dump is complete.
    const std::string dump = test_dir::read(dir.file("items.sql"));
    EXPECT_EQ(dump.find("Nut"), std::string::npos) << dump;
    EXPECT_EQ(dump.find("CREATE TABLE"), std::string::npos) << dump;
    if (!test_server_settings())
        return;
    test_database loaded;
    std::string output;
    ASSERT_EQ(dmp_load(dir.file("items.sql"), loaded.name(), output), 0) << output;
    EXPECT_EQ(test_connection(loaded.name()).rows("SELECT COUNT(*) FROM information_schema.TABLES WHERE "
                                                  "TABLE_SCHEMA = DATABASE()"),
              (table_rows{{"0"}}));
}

// A column renamed without a type keeps the type its values give it.
TEST(ConsoleProfile, ARenameAloneKeepsTheColumnsType)
{
    job_dir dir("dest=items.sql\n[MySQL settings]\ndirect mode=0\n",
                "[Type Mappings]\ntables:\n  - name: items\n    fields:\n      - name:id\n        new_name: item_id\n"
                "      - name:price\n        new_name: cost\n");
    const program_result r = run_morvante(dir, job_args);
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    const std::string dump = test_dir::read(dir.file("items.sql"));
    EXPECT_NE(dump.find("`item_id` INT,"), std::string::npos) << dump;
    EXPECT_NE(dump.find("`cost` DOUBLE,"), std::string::npos) << dump;
    RVL_NEED_TEST_SERVER();
    test_database loaded;
    std::string output;
    ASSERT_EQ(dmp_load(dir.file("items.sql"), loaded.name(), output), 0) << output;
    test_connection db(loaded.name());
    EXPECT_EQ(db.rows("SELECT item_id, cost FROM items ORDER BY item_id"),
              (table_rows{{"1", "0.5"}, {"2", "1.25"}, {"3", "2"}, {"4", "NULL"}}));
    EXPECT_EQ(db.rows("SELECT column_name, data_type FROM information_schema.columns WHERE table_schema = "
                      "DATABASE() AND table_name = 'items' ORDER BY ordinal_position"),
              (table_rows{{"item_id", "int"}, {"name", "varchar"}, {"cost", "double"}, {"note", "varchar"}}));
}

namespace {

// The worksheet Data of sheetjs.xlsx holds an error cell.
const std::string data_error_notice =
    "Notice: Worksheet 'Data': 1 cell holds an error value (cell F3), written as NULL\n";

// The worksheet Data of sheetjs.xlsx becomes "facts": Calc is dropped, Text
// becomes "label", VARCHAR(20), and Num a DECIMAL(5,1) with a default. The
// profile selects Data alone.
struct book_job : test_dir {
    explicit book_job(const std::string& settings)
    {
        std::filesystem::copy_file(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", file("sheetjs.xlsx"));
        write(file("job.rvl"), "[Generic settings]\nsrc=sheetjs.xlsx\n" + settings +
                                   "\n[MS Excel settings]\nconvert from xls=1\nextract field names=1\n\n"
                                   "[Selected Tables]\nData\n\n"
                                   "[Type Mappings]\n"
                                   "tables:\n"
                                   "  - name: Data\n"
                                   "    new_name: facts\n"
                                   "    fields:\n"
                                   "      - name:Calc\n"
                                   "        status: deleted\n"
                                   "      - name:Num\n"
                                   "        type: DECIMAL\n"
                                   "        precision: 5\n"
                                   "        scale: 1\n"
                                   "        default_value: 9.5\n"
                                   "      - name:Text\n"
                                   "        new_name: label\n"
                                   "        type: VARCHAR\n"
                                   "        length: 20\n");
    }
};

void expect_facts(test_connection& db)
{
    EXPECT_EQ(db.rows("SELECT table_name FROM information_schema.tables WHERE table_schema = DATABASE()"),
              (table_rows{{"facts"}}));
    EXPECT_EQ(db.rows("SELECT Num, label FROM facts ORDER BY Num"),
              (table_rows{{"1.0", "caf\xC3\xA9"}, {"2.5", "x"}}));
    const table_rows columns =
        db.rows("SELECT column_name, column_type, column_default FROM information_schema.columns WHERE "
                "table_schema = DATABASE() AND table_name = 'facts' AND column_name IN ('Num', 'label', 'Text', "
                "'Calc') ORDER BY ordinal_position");
    EXPECT_EQ(columns, (table_rows{{"Num", "decimal(5,1)", "9.5"}, {"label", "varchar(20)", "NULL"}}));
}

} // namespace

TEST(ConsoleProfile, AWorkbooksChangesReachTheDump)
{
    book_job dir("dest=out.sql\n[MySQL settings]\ndirect mode=0\n");
    const program_result r = run_morvante(dir, {"--profile=job.rvl"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "Converting spreadsheet sheetjs.xlsx (1 worksheets)\n" + data_error_notice + "Converting table Data$\n");
    if (!test_server_settings())
        return;
    test_database loaded;
    std::string output;
    ASSERT_EQ(dmp_load(dir.file("out.sql"), loaded.name(), output), 0) << output;
    test_connection db(loaded.name());
    expect_facts(db);
}

TEST(ConsoleProfile, AWorkbooksChangesReachTheLiveServer)
{
    RVL_NEED_TEST_SERVER();
    const server_settings s = *test_server_settings();
    const std::string name = "rvl_profile_book_" + std::to_string(::getpid());
    test_connection().execute("DROP DATABASE IF EXISTS `" + name + "`");
    book_job dir("dest=" + name + "\n[MySQL settings]\ndirect mode=1\nhost=127.0.0.1\nport=" +
                 std::to_string(s.port) + "\nuser=" + s.user + "\npassword=" + s.password + "\n");
    const program_result r = run_morvante(dir, {"--profile=job.rvl"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    {
        test_connection db(name);
        expect_facts(db);
    }
    test_connection().execute("DROP DATABASE `" + name + "`");
}

TEST(ConsoleProfile, AWorksheetWhoseValuesTheNewTypeCannotTakeFailsAndTheRunGoesOn)
{
    test_dir dir;
    std::filesystem::copy_file(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", dir.file("sheetjs.xlsx"));
    test_dir::write(dir.file("job.rvl"), "[Generic settings]\nsrc=sheetjs.xlsx\ndest=out.sql\n"
                                         "[MySQL settings]\ndirect mode=0\n"
                                         "[MS Excel settings]\nconvert from xls=1\nextract field names=1\n"
                                         "[Type Mappings]\ntables:\n  - name: Data\n    fields:\n"
                                         "      - name:Text\n        type: INT\n");
    const program_result r = run_morvante(dir, {"--profile=job.rvl"});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.out, "Converting spreadsheet sheetjs.xlsx (2 worksheets)\n" + data_error_notice +
                     "Error:\nData: Data conversion is not supported for given type mapping: the value 'caf\xC3\xA9' "
                     "of the field 'Text' (INT), record #1. No row of the table is written.\n"
                     "Converting table 'Other sheet$'\n");
    const std::string dump = test_dir::read(dir.file("out.sql"));
    EXPECT_NE(dump.find("INSERT INTO `Other sheet`"), std::string::npos) << dump;
}
