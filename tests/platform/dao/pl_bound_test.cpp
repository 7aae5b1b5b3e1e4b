// Hostile workbooks: each costs what its cells cost and fails fast with a
// message naming the file, the worksheet and the cell where there is one.
#include "platform/dao/pl_wbook.hpp"

#include "dao_show.hpp"
#include "xlsx_make.hpp"

#include <gtest/gtest.h>

#include <functional>

using namespace platform::dao;

namespace {

std::string fixture(const std::string& name) { return std::string(RVL_WORKBOOKS) + "/" + name; }

// The description of the failure reading every sheet, or "" when none failed.
std::string failure_of(const std::function<std::unique_ptr<workbook>()>& open, int& number)
{
    number = 0;
    try {
        auto book = open();
        for (size_t i = 0; i < book->sheet_names().size(); ++i)
            book->sheet(i);
    } catch (const read_error& e) {
        number = e.number();
        return e.description();
    }
    return "";
}

std::string text_cell(const std::string& ref, size_t length)
{
    return "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + std::string(length, 'x') + "</t></is></c>";
}

} // namespace

TEST(Bounds, SparseSheetsCostTheirCellsNotTheirBox)
{
    struct sparse_case {
        const char* cells;
        size_t columns, rows;
    } cases[] = {
        {"<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"XFD1\"><v>2</v></c></row>", 16384, 1},
        {"<row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"1048576\"><c r=\"XFD1048576\"><v>2</v></c></row>", 16384,
         1048576},
    };
    for (const sparse_case& c : cases) {
        SCOPED_TRACE(c.cells);
        auto book = workbook::open_bytes(xlsx_package(xlsx_sheet(c.cells)), "sparse.xlsx", false);
        const sheet_table& t = book->sheet(0);
        ASSERT_EQ(t.column_count(), c.columns);
        ASSERT_EQ(t.row_count(), c.rows);
        EXPECT_EQ(show(t.get(0, 0)), "1");
        EXPECT_EQ(show(t.get(c.columns - 1, c.rows - 1)), "2");
        EXPECT_EQ(show(t.get(c.columns / 2, c.rows / 2)), "NULL");
    }
}

TEST(Bounds, LongTextsAreRefusedNamingTheCell)
{
    const size_t limit = text_pool::max_length;
    struct text_case {
        std::string what, sheet, strings, message;
    } cases[] = {
        {"an inline text at the limit", xlsx_sheet("<row r=\"2\">" + text_cell("B2", limit) + "</row>"), "", ""},
        {"an inline text past the limit", xlsx_sheet("<row r=\"2\">" + text_cell("B2", limit + 1) + "</row>"), "",
         "worksheet 'S': xl/worksheets/sheet1.xml: cell B2 holds a text longer than the 33554432 bytes"},
        {"a shared string past the limit", xlsx_sheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c></row>"),
         std::string("<sst xmlns=\"") + xlsx_main_ns + "\"><si><t>a</t></si><si><t>" + std::string(limit / 2, 'y') +
             "</t><t>" + std::string(limit / 2 + 1, 'z') + "</t></si></sst>",
         "shared string 1 holds a text longer than the 33554432 bytes"},
    };
    for (const text_case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string bytes = xlsx_package(c.sheet, c.strings);
        int number = 0;
        const std::string message = failure_of([&] { return workbook::open_bytes(bytes, "long.xlsx", true); }, number);
        if (c.message.empty()) {
            EXPECT_EQ(message, "");
            continue;
        }
        EXPECT_EQ(number, read_error::bad_format);
        EXPECT_NE(message.find("'long.xlsx': "), std::string::npos) << message;
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
    }
}

// 300 MiB of blanks deflated into 300 KB: refused once the inflated bytes pass
// the bound, long before the end of the part.
TEST(Bounds, ZipBombIsRefusedNamingTheFileAndPart)
{
    int number = 0;
    const std::string message =
        failure_of([] { return workbook::open(fixture("bad/zip_bomb.xlsx"), false); }, number);
    EXPECT_EQ(number, read_error::bad_format);
    EXPECT_NE(message.find("zip_bomb.xlsx"), std::string::npos) << message;
    EXPECT_NE(message.find("xl/worksheets/sheet1.xml: the part inflates past 256 MiB"), std::string::npos) << message;
}
