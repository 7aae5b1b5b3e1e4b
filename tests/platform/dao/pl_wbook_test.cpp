#include "platform/dao/pl_wbook.hpp"

#include "dao_show.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

using namespace platform::dao;

namespace {

std::string fixture(const std::string& name) { return std::string(RVL_WORKBOOKS) + "/" + name; }

struct sheet_case {
    size_t index;
    std::string name, columns;
    std::vector<std::string> rows;  // the first rows only
    size_t row_count;
};

struct book_case {
    std::string file;
    bool header;
    std::vector<std::string> sheets;
    std::vector<sheet_case> checks;
};

const std::string long_x = "'" + std::string(300, 'x') + "'";

const book_case books[] = {
    {"openpyxl.xlsx", true, {"Types", "Hidden", "Empty", "Offset"},
     {{0, "Types", "Flag:1,When:8,Amount:7,Price:5,Name:10,Mixed:10,Notes:12,Blank:10,Name1:10,F10:7,Time:22,DateNum:10",
       {"T|D2024-03-01 10:30:00|1|$9.99|'alpha'|'1'|" + long_x + "|NULL|'a'|1|D12:00:00|'2024-01-01'",
        "F|D1900-01-15|2.5|$1000|'b\xC3\xA9ta'|'two'|'short'|NULL|'b'|2|D06:30:15|'5'",
        "T|NULL|-3|NULL|'\xE6\x97\xA5\xE6\x9C\xAC'|'TRUE'|NULL|NULL|'c'|3|NULL|NULL"}, 3},
      {1, "Hidden", "only:7", {"42"}, 1},
      {2, "Empty", "F1:10", {}, 0},
      {3, "Offset", "Key:7,Val:7", {"1|10", "2|NULL", "NULL|NULL"}, 197}}},
    {"openpyxl.xlsx", false, {"Types", "Hidden", "Empty", "Offset"},
     {{1, "Hidden", "F1:10", {"'only'", "'42'"}, 2}}},
    {"openpyxl_1904.xlsx", true, {"Mac"},
     {{0, "Mac", "Day:8,At:22", {"D2024-03-01|D18:00:00", "D1904-01-02|D00:00:01"}, 2}}},
    {"sheetjs.xlsx", true, {"Data", "Other sheet"},
     {{0, "Data", "Num:7,Text:10,Flag:1,When:8,Calc:10,Check:1",
       {"1|'caf\xC3\xA9'|T|D2024-03-01|'3'|T", "2.5|'x'|F|D1999-12-31|'xx'|NULL"}, 2},
      {1, "Other sheet", "Second:10", {"'s'"}, 1}}},
    {"sheetjs_biff8.xls", true, {"Data", "Other sheet"},
     {{0, "Data", "Num:7,Text:10,Flag:1,When:8,Calc:10,Check:1",
       {"1|'caf\xC3\xA9'|T|D2024-03-01|'3'|T", "2.5|'x'|F|D1999-12-31|'xx'|NULL"}, 2}}},
    {"sheetjs_biff5.xls", true, {"Data", "Other sheet"},  // the writer stores "café" as "caf_"
     {{0, "Data", "Num:7,Text:10,Flag:1,When:8,Calc:10,Check:1",
       {"1|'caf_'|T|D2024-03-01|'3'|T", "2.5|'x'|F|D1999-12-31|'xx'|NULL"}, 2}}},
    {"xlwt.xls", true, {"Types", "Hidden", "Many"},
     {{0, "Types", "Flag:1,When:8,Amount:7,Price:5,Name:10,Mixed:10,Notes:12,Int:7",
       {"T|D2024-03-01|1.5|$9.99|'alpha'|'1'|" + long_x + "|7",
        "F|D1999-12-31|-2.25|$1000|'b\xC3\xA9ta'|'two'|NULL|123456",
        "T|NULL|1e+100|NULL|'\xE6\x97\xA5\xE6\x9C\xAC'|NULL|NULL|-8"}, 3},
      {1, "Hidden", "only:7", {"42"}, 1},
      {2, "Many", "Word:10", {"'word 0001 \xC3\xA9\xC3\xA8 z'", "'word 0002 \xC3\xA9\xC3\xA8 zz'"}, 1500}}},
    {"xlwt_1904.xls", true, {"Mac"}, {{0, "Mac", "Day:8", {"D2024-03-01"}, 1}}},
    {"handmade_prefixed.xlsx", true, {"Cells", "Secret"},
     {{0, "Cells", "Plain:10,Rich :10,Inline:10,1:8,2:7,3:22,4:5",
       {"'a\rb_x0041_c'|'\xF0\x9F\x98\x80'|'inAline'|D2024-03-01 18:00:00|2.5|E36:00:00|$12.5",
        "NULL|NULL|NULL|NULL|NULL|NULL|NULL",
        "NULL|NULL|'2024-03-01 06:00:00'|NULL|2|NULL|NULL"}, 3},
      {1, "Secret", "7:10", {}, 0}}},
    {"handmade_strict.xlsx", true, {"Strict"},
     {{0, "Strict", "Day:8,N:7", {"D1904-01-01|1000", "D2024-03-01|-0.5"}, 2}}},
    {"handmade_biff8.xls", true, {"Cells", "Hidden one"},
     {{0, "Cells", "Plain:10,Label:10,Rich:10,Num:7,When:8,Money:5,Flag:1,Calc:7,Text:10",
       {"'R\xC3\xA9sum\xC3\xA9'|'Split\xC3\xBC" "ber\xE4\xB8\xAD'|'\xD0\x96\xD1\x83\xD0\xBA'|12.34|D2024-03-01|$1000|T|2.5|'formul'",
        "NULL|NULL|NULL|-7.5|NULL|$3.5|F|NULL|NULL"}, 2},
      {1, "Hidden one", "1.25:10", {}, 0}}},
    {"handmade_biff8_big.xls", true, {"Cells", "Hidden one"},
     {{0, "Cells", "Plain:10,Label:10,Rich:10,Num:7,When:8,Money:5,Flag:1,Calc:7,Text:10",
       {"'R\xC3\xA9sum\xC3\xA9'|'Split\xC3\xBC" "ber\xE4\xB8\xAD'|'\xD0\x96\xD1\x83\xD0\xBA'|12.34|D2024-03-01|$1000|T|2.5|'formul'"}, 2}}},
    // every record id that holds a cell: of Excel 5.0 to 2003, the FORMULA ids
    // of 3.0 and 4.0, the 2.x ids in the forms of 2.x and of later versions
    {"handmade_record_ids.xls", true, {"Records", "Hidden one"},
     {{0, "Records", "n:7,m:7,when:8,text:10,flag:1,word:10",
       {"1|10|D2009-01-01|'one'|T|'a'", "2|20|D2009-01-02|'two'|F|'b'", "3|30.5|D2009-01-03|'three'|T|'c'",
        "4|40|D2009-01-04|'four'|F|'d'"}, 4}}},
    // shared strings whose header ends a record, and runs going on in the next
    {"handmade_split_strings.xls", true, {"Split", "Hidden one"},
     {{0, "Split", "text:10", {"'Plain'", "'H\xC3\xA9" "ader\xE4\xB8\xAD'", "'Second'", "'Rich'", "'After'"}, 5}}},
    {"handmade_biff5.xls", true, {"\xD0\x9B\xD0\xB8\xD1\x81\xD1\x82"},
     {{0, "\xD0\x9B\xD0\xB8\xD1\x81\xD1\x82", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82:10,Date:8",
       {"'abc'|D1904-01-02", "'\xD1\x8F\xD0\xB7'|D1905-01-01 12:00:00"}, 2}}},
};

} // namespace

TEST(Workbook, ReadsEveryFixture)
{
    for (const book_case& b : books) {
        SCOPED_TRACE(b.file + (b.header ? " HDR=Yes" : " HDR=No"));
        auto book = workbook::open(fixture(b.file), b.header);
        EXPECT_EQ(book->sheet_names(), b.sheets);
        for (const sheet_case& s : b.checks) {
            SCOPED_TRACE(s.name);
            ASSERT_LT(s.index, book->sheet_names().size());
            EXPECT_EQ(book->sheet_names()[s.index], s.name);
            const sheet_table& t = book->sheet(s.index);
            EXPECT_EQ(show_columns(t), s.columns);
            EXPECT_EQ(t.row_count(), s.row_count);
            for (size_t r = 0; r < s.rows.size() && r < t.row_count(); ++r)
                EXPECT_EQ(show_row(t, r), s.rows[r]) << "row " << r;
        }
    }
}

// The same serials and formats from three writers (gen_dates.py): dates
// mixed with numbers, dates out of every date column's range, a currency
// amount at the type's limit, durations, error cells.
TEST(Workbook, DatesAndNumbersAsTheWorkbookHoldsThem)
{
    const sheet_case sheets[] = {
        {0, "Mixed", "Days:10,Small:10,Stamp:10",
         {"'2024-01-02'|'1900-01-01 04:48:00'|'2024-01-02 06:00:00'", "'2024-01-03'|'7'|'5'", "'7'|NULL|NULL"}, 3},
        {1, "Range", "Neg:8,Far:10,Huge:10", {"D1899-12-29|'2023-03-15'|'10000000000'", "D2023-03-15|'2958466'|NULL"}, 2},
        {2, "Money", "Edge:7,Fine:5", {"$922337203685478|$1.5", "$1.5|$-2.25"}, 2},
        {3, "Durations", "Span:22,Lap:22,Long:10", {"E36:00:00|E00:14:24|'36:00:00'", "E12:00:00|E30:00:00|'960:00:00'"}, 2},
        {4, "Errors", "A:7,B:7", {"1|10", "NULL|20", "3|30", "NULL|NULL"}, 4},
    };
    const std::vector<std::string> notices[] = {
        {}, {"cell B3 holds 2958466 as a date, which no date column holds: its column is text and its dates are written as texts",
             "cell C2 holds 10000000000 as a date, which no date column holds: its column is text and its dates are written as texts"},
        {},
        {"cell C3 holds 960:00:00 as a duration, which no time column holds: its column is text and its durations are written as texts"},
        {"2 cells hold an error value (the first: cell A3), written as NULL"}};
    for (const char* file : {"dates_openpyxl.xlsx", "dates_xlsxwriter.xlsx", "dates_xlwt.xls"}) {
        SCOPED_TRACE(file);
        auto book = workbook::open(fixture(file), true);
        for (const sheet_case& s : sheets) {
            SCOPED_TRACE(s.name);
            const sheet_table& t = book->sheet(s.index);
            EXPECT_EQ(show_columns(t), s.columns);
            EXPECT_EQ(t.row_count(), s.row_count);
            for (size_t r = 0; r < s.rows.size() && r < t.row_count(); ++r)
                EXPECT_EQ(show_row(t, r), s.rows[r]) << "row " << r;
            EXPECT_EQ(t.notices(), notices[s.index]);
        }
    }
}

// The main workbookPr chooses the date system; the extension's element of
// that name, which Mac writers add, does not.
TEST(Workbook, DateSystemFromTheMainPropertiesOnly)
{
    auto book = workbook::open(fixture("dates_1904_ext.xlsx"), true);
    const sheet_table& t = book->sheet(0);
    EXPECT_EQ(show_columns(t), "Day:8");
    EXPECT_EQ(show_row(t, 0), "D2016-05-23");
    EXPECT_EQ(show_row(t, 1), "D1904-01-01");
}

TEST(Workbook, SheetIsLoadedOnce)
{
    auto book = workbook::open(fixture("xlwt.xls"), true);
    const sheet_table& first = book->sheet(2);
    EXPECT_EQ(&book->sheet(2), &first);
    EXPECT_EQ(show_row(first, 1499), "'word 1500 \xC3\xA9\xC3\xA8 zz'");  // 1500 % 7 letters z
}

TEST(Workbook, FormatIsKnownByContentNotName)
{
    test_dir dir;
    const std::string renamed = dir.file("really_xlsx.xls");
    test_dir::write(renamed, test_dir::read(fixture("sheetjs.xlsx")));
    EXPECT_EQ(workbook::open(renamed, true)->sheet_names().size(), 2u);
    auto from_memory = workbook::open_bytes(test_dir::read(fixture("handmade_biff8.xls")), "memory.xls", true);
    EXPECT_EQ(from_memory->sheet(0).row_count(), 2u);
}

// A bare Excel 2.x-4.0 stream is a workbook this program does not read, and
// says so; a UTF-16 text whose first bytes happen to begin as one is none.
TEST(Workbook, AnExcel2To4WorksheetIsNamed)
{
    test_dir dir;
    for (const char* name : {"excel2.xls", "excel3.xls", "excel4.xls"}) {
        const std::string path = fixture(std::string("bad/") + name);
        EXPECT_TRUE(has_workbook_signature(path)) << name;
        try {
            workbook::open(path, true);
            ADD_FAILURE() << name;
        } catch (const read_error& e) {
            EXPECT_NE(std::string(e.description()).find(": an Excel 2.x-4.0 worksheet, a format this program does not "
                                                         "read (save it as .xls or .xlsx))"),
                      std::string::npos)
                << e.description();
        }
    }
    const std::string text = dir.file("tab.csv");
    test_dir::write(text, std::string("\t\0\n\0a\0 \0", 8));
    EXPECT_FALSE(has_workbook_signature(text));
}

// What the reader met and the cells do not show is told with each sheet:
// a notice for a number format read as far as its record goes, a loss for
// cells of records it could not take (the sheet was not carried whole).
TEST(Workbook, WhatTheReaderCouldNotTakeIsTold)
{
    const struct {
        const char* file;
        size_t sheet;
        std::vector<std::string> notices, losses;
    } books[] = {
        {"handmade_record_ids.xls", 0, {}, {}},
        {"handmade_unread.xls", 0, {},
         {"3 cells are not carried (the first: cell B2, in a record 0x0003 of 12 bytes, a form this program does not "
          "read)"}},
        {"handmade_short_format.xls", 0,
         {"number format 164 is 1 character shorter than its record says: read as \"dd/mm/yyyy\"",
          "2 cells hold an error value (the first: cell E3), written as NULL"}, {}},
        {"handmade_short_format.xls", 1,
         {"number format 164 is 1 character shorter than its record says: read as \"dd/mm/yyyy\""}, {}},
    };
    for (const auto& b : books) {
        SCOPED_TRACE(b.file);
        auto book = workbook::open(fixture(b.file), true);
        const sheet_table& t = book->sheet(b.sheet);
        EXPECT_EQ(t.notices(), b.notices);
        EXPECT_EQ(t.losses(), b.losses);
    }
    auto unread = workbook::open(fixture("handmade_unread.xls"), true);
    EXPECT_EQ(show_columns(unread->sheet(0)), "n:7,odd:10");
    EXPECT_EQ(show_row(unread->sheet(0), 2), "3|NULL");
}

namespace {

int error_of(const std::string& path)
{
    try {
        auto book = workbook::open(path, true);
        for (size_t i = 0; i < book->sheet_names().size(); ++i)
            book->sheet(i);
    } catch (const read_error& e) {
        EXPECT_NE(std::string(e.description()).find(std::filesystem::path(path).filename().string()), std::string::npos)
            << e.description();
        return e.number();
    }
    return 0;
}

} // namespace

TEST(Workbook, ErrorsByNumberNamingTheFile)
{
    EXPECT_EQ(error_of(fixture("no_such_workbook.xlsx")), 3024);
    EXPECT_EQ(error_of(fixture("bad")), 3051);  // a folder cannot be opened as a file
    EXPECT_EQ(error_of(fixture("encrypted.xlsx")), 3161);
    EXPECT_EQ(error_of(fixture("encrypted_biff8.xls")), 3161);
    size_t damaged = 0;
    for (const auto& e : std::filesystem::directory_iterator(fixture("bad"))) {
        SCOPED_TRACE(e.path().string());
        EXPECT_EQ(error_of(e.path().string()), 3274);
        ++damaged;
    }
    EXPECT_GE(damaged, 15u);
}

TEST(Workbook, BadFormatDescriptionStartsWithTheEngineText)
{
    try {
        workbook::open(fixture("bad/not_a_workbook.xls"), true);
        FAIL();
    } catch (const read_error& e) {
        EXPECT_EQ(std::string(e.description()).rfind("External table is not in the expected format.", 0), 0u);
    }
}

// Inputs the fuzzers once found troublesome: each must open or fail cleanly.
TEST(Workbook, FuzzerFindingsFailCleanly)
{
    const std::string folder = fixture("fuzz");
    if (!std::filesystem::exists(folder))
        GTEST_SKIP() << "no findings kept";
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const int n = error_of(e.path().string());
        EXPECT_TRUE(n == 0 || n == 3274 || n == 3161) << e.path() << " " << n;
    }
}

namespace {

// Every sheet of a workbook, every cell: "-- name", the columns, the rows.
std::string every_cell(const std::string& path, bool header)
{
    std::string out;
    auto book = workbook::open(path, header);
    for (size_t s = 0; s < book->sheet_names().size(); ++s) {
        const sheet_table& t = book->sheet(s);
        out += "-- " + book->sheet_names()[s] + "\n" + show_columns(t) + "\n";
        for (size_t r = 0; r < t.row_count(); ++r)
            out += show_row(t, r) + "\n";
    }
    return out;
}

uint64_t fnv1a(std::string_view text)
{
    uint64_t h = 0xcbf29ce484222325u;
    for (const char c : text)
        h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
    return h;
}

} // namespace

// Workbooks that hold what another does, saved in a way a reader must not
// refuse: a package whose part names and targets use backslashes, a number
// format whose record is a character short.
TEST(Workbook, ReadsAsTheWorkbookItStandsFor)
{
    const std::pair<const char*, const char*> books[] = {
        {"handmade_backslash.xlsx", "openpyxl.xlsx"},
        {"handmade_short_format.xls", "handmade_biff8.xls"},
    };
    for (const auto& [file, same_as] : books)
        for (const bool header : {true, false})
            EXPECT_EQ(every_cell(fixture(file), header), every_cell(fixture(same_as), header)) << file;
}

// The cells of every committed workbook as the readers gave them before the
// worksheet scanner replaced the general XML parser (a hash of the whole
// dump each: the dumps are half a megabyte), with columns of times of day
// alone typed as times, serial 0 of the 1904 system read as 1904-01-01 and
// dates mixed with numbers read as texts.
TEST(Workbook, EveryCellReadsAsBefore)
{
    const struct {
        const char* file;
        bool header;
        uint64_t hash;
    } books[] = {
        {"handmade_biff5.xls", true, 0x86d60fde802b376au},     {"handmade_biff5.xls", false, 0x257a04a53819c532u},
        {"handmade_biff8.xls", true, 0xff58ea9f96e503c9u},     {"handmade_biff8.xls", false, 0xe63f279da973abcfu},
        {"handmade_biff8_big.xls", true, 0xff58ea9f96e503c9u}, {"handmade_biff8_big.xls", false, 0xe63f279da973abcfu},
        {"handmade_prefixed.xlsx", true, 0xf6f8a0ff2049d691u}, {"handmade_prefixed.xlsx", false, 0x05a6440f70dec107u},
        {"handmade_strict.xlsx", true, 0xe5ef0ac2d6d4d83eu},   {"handmade_strict.xlsx", false, 0x43cd08848e3a262au},
        {"openpyxl.xlsx", true, 0x19a4b6ff74db688bu},          {"openpyxl.xlsx", false, 0x533a73975bae940au},
        {"openpyxl_1904.xlsx", true, 0x5e92377781612d32u},     {"openpyxl_1904.xlsx", false, 0x9a969afc6e8325a9u},
        {"sheetjs.xlsx", true, 0x9f76eb16f725e03cu},           {"sheetjs.xlsx", false, 0x527cb03ade4ee852u},
        {"sheetjs_biff5.xls", true, 0x368a54d147723507u},      {"sheetjs_biff5.xls", false, 0x157e3c70910fa0dbu},
        {"sheetjs_biff8.xls", true, 0x9f76eb16f725e03cu},      {"sheetjs_biff8.xls", false, 0x527cb03ade4ee852u},
        {"xlwt.xls", true, 0x148650a2179ef068u},               {"xlwt.xls", false, 0xb0952b786d6c5cdau},
        {"xlwt_1904.xls", true, 0x0c50b0fd5d9a01e4u},          {"xlwt_1904.xls", false, 0xcb168fb23f376c1eu},
    };
    for (const auto& b : books)
        EXPECT_EQ(fnv1a(every_cell(fixture(b.file), b.header)), b.hash) << b.file << (b.header ? " HDR=Yes" : " HDR=No");
}
