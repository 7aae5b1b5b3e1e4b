#include "platform/dao/pl_wbook.hpp"
#include "platform/dao/pl_xlsx.hpp"

#include "dao_show.hpp"
#include "xlsx_make.hpp"

#include <gtest/gtest.h>

using namespace platform::dao;

TEST(Xlsx, EscapesInStrings)
{
    struct { const char* in; const char* out; } cases[] = {
        {"plain", "plain"},
        {"a_x000D_b", "a\rb"},
        {"_x005F_x0041_", "_x0041_"},            // an escaped underscore keeps the rest literal
        {"_xD83D__xDE00_", "\xF0\x9F\x98\x80"},   // a surrogate pair
        {"_xD83D_x", "\xEF\xBF\xBDx"},            // a lone surrogate
        {"_x00E9", "_x00E9"},                     // not closed
        {"_xZZZZ_", "_xZZZZ_"},
    };
    for (const auto& c : cases) {
        std::string s = c.in;
        decode_xml_escapes(s);
        EXPECT_EQ(s, c.out) << c.in;
    }
}

TEST(Xlsx, RelationshipTargets)
{
    struct { const char* base; const char* target; const char* out; } cases[] = {
        {"xl/", "worksheets/sheet1.xml", "xl/worksheets/sheet1.xml"},
        {"xl/", "/xl/worksheets/sheet1.xml", "xl/worksheets/sheet1.xml"},
        {"book/", "../sheets/one.xml", "sheets/one.xml"},
        {"", "xl/workbook.xml", "xl/workbook.xml"},
        {"xl/", "./sub/../styles.xml", "xl/styles.xml"},
        {"xl/", "../../../x.xml", "x.xml"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(resolve_target(c.base, c.target), c.out) << c.base << c.target;
}

// The strings table's count of its strings is a hint: too small, too large,
// unreadable or missing, the strings read are the same.
TEST(Xlsx, StringCountIsOnlyAHint)
{
    const std::string sheet = xlsx_sheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>2</v></c></row>");
    for (const std::string count : {"", " uniqueCount=\"3\"", " uniqueCount=\"1\"", " uniqueCount=\"4294967295\"",
                                    " uniqueCount=\"99999999999\"", " uniqueCount=\"-1\"", " uniqueCount=\"x\""}) {
        const std::string strings = std::string("<sst xmlns=\"") + xlsx_main_ns + "\"" + count +
                                    "><si><t>a</t></si><si><t>b</t></si><si><t>c</t></si></sst>";
        auto book = workbook::open_bytes(xlsx_package(sheet, strings), "n.xlsx", false);
        EXPECT_EQ(show_row(book->sheet(0), 0), "'a'|'c'") << count;
    }
}

// The shared strings are read beside the worksheet and put in place after
// it: an empty one is no value, in a header, among the data, or as all a
// column holds; inline strings keep theirs; a far cell is found again.
TEST(Xlsx, SharedStringsLandWhereTheWorksheetPutsThem)
{
    const std::string strings = std::string("<sst xmlns=\"") + xlsx_main_ns +
                                "\"><si><t>a</t></si><si/><si><t>b</t></si><si><t>1</t></si></sst>";
    const auto shared = [](const std::string& ref, int index) {
        return "<c r=\"" + ref + "\" t=\"s\"><v>" + std::to_string(index) + "</v></c>";
    };
    const std::string inline_text = "<c r=\"B3\" t=\"inlineStr\"><is><t>own</t></is></c>";
    const std::string sheet = xlsx_sheet(
        "<row r=\"1\">" + shared("A1", 0) + shared("B1", 1) + shared("D1", 2) + "</row>"
        "<row r=\"2\">" + shared("A2", 2) + shared("B2", 0) + shared("C2", 1) + shared("D2", 3) + "</row>"
        "<row r=\"3\">" + shared("A3", 1) + inline_text + shared("C3", 1) + "</row>"
        "<row r=\"900\">" + shared("D900", 0) + "</row>");
    auto book = workbook::open_bytes(xlsx_package(sheet, strings), "n.xlsx", true);
    const sheet_table& t = book->sheet(0);
    EXPECT_EQ(show_columns(t), "a:10,F2:10,F3:10,b:10");
    EXPECT_EQ(t.row_count(), 899u);
    EXPECT_EQ(show_row(t, 0), "'b'|'a'|NULL|'1'");
    EXPECT_EQ(show_row(t, 1), "NULL|'own'|NULL|NULL");
    EXPECT_EQ(show_row(t, 898), "NULL|NULL|NULL|'a'");
}

// A first row of empty shared strings holds no value: the table begins at
// the next row, which names the columns, as when the first row had no cells;
// a column read sparsely (a far cell) begins there too.
TEST(Xlsx, AHeaderOfEmptySharedStringsLosesNoRow)
{
    const std::string strings = std::string("<sst xmlns=\"") + xlsx_main_ns +
                                "\"><si><t></t></si><si><t>a</t></si><si><t>b</t></si></sst>";
    const auto shared = [](const std::string& ref, int index) {
        return "<c r=\"" + ref + "\" t=\"s\"><v>" + std::to_string(index) + "</v></c>";
    };
    const std::string sheet = xlsx_sheet(
        "<row r=\"1\">" + shared("A1", 0) + shared("B1", 0) + "</row>"
        "<row r=\"2\">" + shared("A2", 1) + shared("B2", 2) + "</row>"
        "<row r=\"3\"><c r=\"A3\"><v>1</v></c><c r=\"B3\"><v>2</v></c></row>"
        "<row r=\"900\"><c r=\"B900\"><v>3</v></c></row>");
    for (const bool header : {true, false}) {
        auto book = workbook::open_bytes(xlsx_package(sheet, strings), "n.xlsx", header);
        const sheet_table& t = book->sheet(0);
        if (header) {
            EXPECT_EQ(show_columns(t), "a:7,b:7");
            EXPECT_EQ(t.row_count(), 898u);
            EXPECT_EQ(show_row(t, 0), "1|2");
            EXPECT_EQ(show_row(t, 897), "NULL|3");
        } else {
            EXPECT_EQ(t.row_count(), 899u);
            EXPECT_EQ(show_row(t, 0), "'a'|'b'");
            EXPECT_EQ(show_row(t, 1), "'1'|'2'");
            EXPECT_EQ(show_row(t, 898), "NULL|'3'");
        }
    }
}

TEST(Xlsx, ASharedStringIndexBeyondTheTableNamesTheWorksheetPart)
{
    const std::string strings = std::string("<sst xmlns=\"") + xlsx_main_ns + "\"><si><t>a</t></si></sst>";
    const std::string sheet = xlsx_sheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c></row>");
    auto book = workbook::open_bytes(xlsx_package(sheet, strings), "n.xlsx", false);
    try {
        book->sheet(0);
        FAIL() << "read";
    } catch (const read_error& e) {
        const std::string description = e.description();
        EXPECT_NE(description.find("xl/worksheets/sheet1.xml: shared string index beyond the table"),
                  std::string::npos)
            << description;
    }
}

// Cells go where their references say, whatever the order of rows and
// cells: an empty cell conflicts with nothing, a row without its number is
// the row after the one before it, and of two values at one place the later
// one stays, the place named among the table's losses.
TEST(Xlsx, CellsInAnyOrderGoWhereTheirReferencesSay)
{
    const auto num = [](const std::string& ref, int v) {
        return "<c r=\"" + ref + "\"><v>" + std::to_string(v) + "</v></c>";
    };
    struct { std::string rows; std::vector<std::string> shown; const char* lost; } cases[] = {
        {"<row r=\"1\">" + num("A1", 1) + "</row><row r=\"2\">" + num("A2", 2) + "</row><row r=\"2\">" +
             num("A2", 3) + "</row>", {"1", "3"}, "cell A2 is given two values: the later one is kept"},
        {"<row r=\"3\">" + num("A3", 1) + "</row><row r=\"2\">" + num("A2", 2) + "</row>", {"2", "1"}, nullptr},
        {"<row r=\"1\">" + num("B1", 1) + num("B1", 2) + num("C1", 4) + num("C1", 5) + "</row>", {"2|5"},
         "2 cells are given two values (the first: cell B1): the later ones are kept"},
        {"<row r=\"1\">" + num("B1", 1) + num("A1", 2) + "</row>", {"2|1"}, nullptr},
        {"<row r=\"2\"><c r=\"A3\"><v></v></c>" + num("B2", 1) + "</row><row r=\"3\">" + num("A3", 2) + "</row>",
         {"NULL|1", "2|NULL"}, nullptr},
        {"<row>" + num("A1", 1) + "</row><row><c><v>2</v></c><c><v>3</v></c></row><row r=\"5\"/><row>" +
             num("A6", 4) + "</row>", {"1|NULL", "2|3", "NULL|NULL", "NULL|NULL", "NULL|NULL", "4|NULL"}, nullptr},
    };
    for (const auto& c : cases) {
        auto book = workbook::open_bytes(xlsx_package(xlsx_sheet(c.rows)), "n.xlsx", false);
        const sheet_table& t = book->sheet(0);
        std::vector<std::string> shown;
        for (size_t r = 0; r < t.row_count(); ++r)
            shown.push_back(show_row(t, r));
        EXPECT_EQ(shown, c.shown) << c.rows;
        EXPECT_EQ(t.losses(), c.lost ? std::vector<std::string>{c.lost} : std::vector<std::string>{}) << c.rows;
    }
}
