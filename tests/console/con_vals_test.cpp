// Values as the workbook or file holds them, whatever the user changes
// elsewhere (gen_values.py's workbooks, .xlsx and .xls): a renamed column
// leaves the others' types and values; --no_refine keeps the cells' types
// and fractions of a second; a value a type of the user's cannot take fails
// its table, naming the record, in every mode and into a server or a dump;
// an empty cell of a column typed text is NULL; currency amounts and
// compact dates are refined as the docs say.
#include "SQL/dmp_help.hpp"
#include "con_db.hpp"
#include "con_help.hpp"
#include "con_read.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const char* const books[] = {"values.xlsx", "values.xls"};

// A folder holding a copy of a workbook fixture under its own name.
struct book_dir : test_dir {
    explicit book_dir(const std::string& fixture)
    {
        std::filesystem::copy_file(std::string(RVL_WORKBOOKS) + "/" + fixture, file(fixture));
    }
};

// A profile converting one worksheet of the book, into the dump out.sql
// (database empty) or into that database of the test server, with the given
// column lines of its "Type Mappings" (none: no changes).
std::string profile(const std::string& book, const std::string& sheet, const std::string& database,
                    const std::string& fields)
{
    std::string text = "[Generic settings]\nsrc=" + book + "\ndest=" + (database.empty() ? "out.sql" : database) +
                       "\n[MS Excel settings]\nconvert from xls=1\nextract field names=1\n[MySQL settings]\n";
    if (database.empty()) {
        text += "direct mode=0\n";
    } else {
        const server_settings s = *test_server_settings();
        text += "direct mode=1\nhost=127.0.0.1\nport=" + std::to_string(s.port) + "\nuser=" + s.user +
                "\npassword=" + s.password + "\n";
    }
    text += "[Selected Tables]\n" + sheet + "\n";
    if (!fields.empty())
        text += "[Type Mappings]\ntables:\n  - name: " + sheet + "\n    new_name: " + sheet + "\n    fields:\n" + fields;
    return text;
}

// Runs the profile in the given mode; a dump is loaded into db.
program_result run_job(const book_dir& dir, const std::string& job, int mode, const scratch_db* dumped = nullptr)
{
    test_dir::write(dir.file("job.rvl"), job);
    const program_result r = run_morvante(dir, {"--profile=job.rvl", "--mode=" + std::to_string(mode)});
    if (dumped != nullptr) {
        dumped->create();
        std::string output;
        EXPECT_EQ(dmp_load(dir.file("out.sql"), dumped->name(), output), 0) << output;
    }
    return r;
}

texts column_types(const scratch_db& db, const std::string& table)
{
    return db.rows("SELECT COLUMN_TYPE FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = DATABASE() AND "
                   "TABLE_NAME = '" + table + "' ORDER BY ORDINAL_POSITION");
}

} // namespace

// Renaming one column changes no other column: the times of day stay a TIME
// column holding the times, by the dump and straight, as without the profile
// and as an independent reader reads them.
TEST(ConsoleValues, ARenamedColumnLeavesTheOtherColumnsAsTheyAre)
{
    RVL_NEED_TEST_SERVER();
    int n = 0;
    for (const char* book : books)
        for (const bool renamed : {false, true})
            for (const bool dump : {true, false}) {
                SCOPED_TRACE(std::string(book) + (renamed ? ", name renamed" : ", no changes") +
                             (dump ? ", dump" : ", server"));
                book_dir dir(book);
                scratch_db db("renamed" + std::to_string(n++));
                const std::string fields = renamed ? "      - name:name\n        new_name: fullname\n" : "";
                const program_result r = run_job(dir, profile(book, "People", dump ? "" : db.name(), fields), 0,
                                                 dump ? &db : nullptr);
                EXPECT_EQ(r.code, 0) << r.out << r.err;
                const texts rows = db.rows("SELECT * FROM People");
                EXPECT_EQ(rows, (texts{"ann|08:30:00", "bob|17:00:00"}));
                EXPECT_EQ(column_types(db, "People"), (texts{"varchar(255)", "time"}));
                expect_same_cells(independent_reading(book).at("People"), rows);
            }
}

// Without refinement a worksheet's columns keep its cells' types, and a date
// or time column with a fraction of a second anywhere keeps milliseconds, as
// it does with refinement.
TEST(ConsoleValues, WithoutRefinementCellsKeepTheirTypesAndFractions)
{
    RVL_NEED_TEST_SERVER();
    int n = 0;
    for (const char* fixture : {"fractions_openpyxl.xlsx", "fractions_xlwt.xls"})
        for (const bool refine : {true, false}) {
            SCOPED_TRACE(std::string(fixture) + (refine ? "" : " --no_refine"));
            book_dir dir(fixture);
            std::vector<std::string> args = {"--src=" + std::string(fixture), "--extr_fn", "--dump", "--dest=out.sql"};
            if (!refine)
                args.push_back("--no_refine");
            const program_result r = run_morvante(dir, args);
            EXPECT_EQ(r.code, 0) << r.out << r.err;
            scratch_db db("fractions" + std::to_string(n++));
            db.create();
            std::string output;
            EXPECT_EQ(dmp_load(dir.file("out.sql"), db.name(), output), 0) << output;
            const texts rows = db.rows("SELECT * FROM Fractions");
            EXPECT_EQ(rows, (texts{"2004-08-01 12:30:45.123|12:00:00.500|2004-08-01 00:00:00.007|2004-08-01 12:00:00",
                                   "2004-08-01 12:00:00.000|06:00:00.000|2004-08-02 00:00:00.000|2004-08-02 08:15:00",
                                   "NULL|23:59:59.999|NULL|NULL"}));
            EXPECT_EQ(column_types(db, "Fractions"), (texts{"datetime(3)", "time(3)", "datetime(3)", "datetime"}));
            expect_same_cells(independent_reading(fixture).at("Fractions"), rows);
        }
}

// 300 in a column the user types TINYINT (record 2 of 3) fails the table
// before any of its rows is written, naming the record and the field: the
// same in every mode, from a workbook and from a CSV file, into a server and
// into a dump. A table it would replace or append to stays as it was.
TEST(ConsoleValues, AValueOutsideTheUsersTypeFailsItsTableNamingTheRecord)
{
    RVL_NEED_TEST_SERVER();
    const std::string fields = "      - name:n\n        type: TINYINT\n";
    int n = 0;
    for (const bool workbook : {true, false})
        for (const bool dump : {true, false})
            for (int mode = 0; mode <= 3; ++mode)
                for (const bool existing : {false, true}) {
                    // A dump has no table before; mode 2 skips one, its values unread.
                    if (existing && (dump || mode == 2))
                        continue;
                    SCOPED_TRACE(std::string(workbook ? "workbook" : "CSV") + (dump ? ", dump" : ", server") +
                                 ", mode " + std::to_string(mode) + (existing ? ", existing table" : ""));
                    book_dir dir("values.xlsx");
                    scratch_db db("small" + std::to_string(n++));
                    std::string job = profile("values.xlsx", "Small", dump ? "" : db.name(), fields);
                    std::vector<std::string> args = {"--profile=job.rvl", "--mode=" + std::to_string(mode)};
                    if (!workbook) {
                        test_dir::write(dir.file("small.csv"), "n,t\n1,one\n300,three hundred\n3,three\n");
                        job.replace(job.find("values.xlsx"), 11, "small.csv");
                        job.replace(job.find("convert from xls=1"), 18, "convert from xls=0");
                        args.insert(args.end(), {"--csv_delim=2", "--tab_name=Small"});
                    }
                    test_dir::write(dir.file("job.rvl"), job);
                    if (!dump) {
                        db.create();
                        if (existing) {
                            db.execute("CREATE TABLE Small (n TINYINT, t VARCHAR(20))");
                            db.execute("INSERT INTO Small VALUES (9, 'nine')");
                        }
                    }
                    const program_result r = run_morvante(dir, args);
                    EXPECT_EQ(r.code, 1) << r.out << r.err;
                    EXPECT_NE(r.out.find("Data conversion is not supported for given type mapping: the value "
                                         "'300' of the field 'n' (TINYINT), record #2. No row of the table is written."),
                              std::string::npos)
                        << r.out;
                    if (dump) {
                        const std::string text = test_dir::read(dir.file("out.sql"));
                        EXPECT_EQ(text.find("INSERT INTO `Small`"), std::string::npos) << text;
                        EXPECT_EQ(text.find("CREATE TABLE `Small`"), std::string::npos) << text;
                    } else if (existing) {
                        EXPECT_EQ(db.rows("SELECT * FROM Small"), texts{"9|nine"});
                    } else {
                        EXPECT_EQ(db.tables(), texts{});
                    }
                }
}

// An empty cell of a column the user types VARCHAR is NULL, as it is
// without the change (an empty CSV field stays an empty text, typed or not:
// ConsoleValues.AnEmptyCsvFieldOfATypedTextColumn); currency amounts of the
// formats 7 and 8 and of a euro format are refined to DOUBLE as other
// numbers, each amount as the cell holds it; compact dates alone are
// numbers, beside an ISO date dates.
TEST(ConsoleValues, EmptyCellsCurrencyAndCompactDatesAsTheDocsSay)
{
    RVL_NEED_TEST_SERVER();
    struct value_case {
        const char* sheet;
        const char* fields;
        texts rows;
        texts types;
    };
    const value_case cases[] = {
        {"Blank", "      - name:note\n        type: VARCHAR\n        length: 20\n", {"1|a", "2|NULL", "3|c"},
         {"int(11)", "varchar(20)"}},
        {"Blank", "", {"1|a", "2|NULL", "3|c"}, {"int(11)", "varchar(255)"}},
        {"Money", "", {"1.5|1.5|1.5", "-2.25|-2.25|1234.5678"}, {"double", "double", "double"}},
        {"Compact", "", {"20240102|2024-01-02", "20241231|2024-03-01"}, {"int(11)", "date"}},
    };
    int n = 0;
    for (const char* book : books)
        for (const value_case& c : cases)
            for (const bool dump : {true, false}) {
                SCOPED_TRACE(std::string(book) + " " + c.sheet + (*c.fields ? " typed" : "") +
                             (dump ? ", dump" : ", server"));
                book_dir dir(book);
                scratch_db db("values" + std::to_string(n++));
                const program_result r =
                    run_job(dir, profile(book, c.sheet, dump ? "" : db.name(), c.fields), 0, dump ? &db : nullptr);
                EXPECT_EQ(r.code, 0) << r.out << r.err;
                EXPECT_EQ(db.rows(std::string("SELECT * FROM ") + c.sheet), c.rows);
                EXPECT_EQ(column_types(db, c.sheet), c.types);
            }
}

// An empty CSV field of a column the user types VARCHAR is the empty text it
// is in a column left alone.
TEST(ConsoleValues, AnEmptyCsvFieldOfATypedTextColumn)
{
    for (const bool typed : {false, true}) {
        SCOPED_TRACE(typed ? "typed VARCHAR(20)" : "left alone");
        test_dir dir;
        test_dir::write(dir.file("blank.csv"), "id,note\n1,a\n2,\n");
        test_dir::write(dir.file("job.rvl"),
                        "[Generic settings]\nsrc=blank.csv\ndest=out.sql\n[MS Excel settings]\nconvert from xls=0\n"
                        "extract field names=1\n[MySQL settings]\ndirect mode=0\n" +
                            std::string(typed ? "[Type Mappings]\ntables:\n  - name: b\n    fields:\n      - "
                                                "name:note\n        type: VARCHAR\n        length: 20\n"
                                              : ""));
        const program_result r = run_morvante(dir, {"--profile=job.rvl", "--csv_delim=2", "--tab_name=b"});
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        const std::string dump = test_dir::read(dir.file("out.sql"));
        EXPECT_NE(dump.find("VALUES(1, 'a'), (2, '');"), std::string::npos) << dump;
    }
}
