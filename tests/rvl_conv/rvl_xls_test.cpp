// The workbook side of the converter: table names from worksheet names, the
// listing and the selection of worksheets, and a workbook run whose
// selection names a worksheet the workbook lacks.
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_fake.hpp"
#include "config_home.hpp"
#include "platform/dao/pl_daoco.hpp"
#include "platform/text/pl_utf8.hpp"

#include <gtest/gtest.h>

namespace {

std::wstring fixture(const std::string& name)
{
    return platform::from_utf8(std::string(RVL_WORKBOOKS) + "/" + name);
}

using sheet_map = std::map<std::wstring, std::wstring>;

TEST(XlsReader, TableNamesFromWorksheetNames)
{
    const std::pair<std::wstring, std::wstring> rows[] = {
        {L"Sheet1$", L"Sheet1"}, {L"'My Sheet$'", L"My Sheet"}, {L"' padded $'", L"padded"},
        {L"$", L"$"},            {L"'$'", L"$"},                {L"''", L"''"},
        {L"x", L"x"},            {L"   $", L""},
    };
    for (const auto& [listed, table] : rows)
        EXPECT_EQ(xls_reader::simplify_name(listed), table) << listed;
}

struct XlsSelection : ::testing::Test {
    config_home home;
    recording_hooks hooks;
    recording_handler errors;
    ravelin_converter conv{converter_form::wizard, hooks};
};

// Worksheets whose names differ only by blanks at their ends keep their
// blanks: each has a name of its own.
TEST_F(XlsSelection, ListingKeepsWorksheetsEachUnderItsOwnName)
{
    fake_database book;
    book.tables = {L"'b $'", L"b$", L"A$", L"Print_Area", L"'a b$'", L"a$", L"' b$'"};
    std::vector<std::wstring> names;
    conv.get_all_sheets2(book, names);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"b ", L"b", L"A", L"a b", L"a", L" b"}));
    // Code-unit order: capitals before small letters.
    EXPECT_EQ(conv.worksheets, (sheet_map{{L" b", L"' b$'"}, {L"A", L"A$"}, {L"a", L"a$"}, {L"a b", L"'a b$'"},
                                          {L"b", L"b$"}, {L"b ", L"'b $'"}}));
}

TEST_F(XlsSelection, SelectingKeepsTheNamedWorksheetsAndReportsTheOthers)
{
    conv.set_src(fixture("sheetjs.xlsx"));
    std::vector<std::wstring> names;
    ASSERT_TRUE(conv.get_all_sheets(names));
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Data", L"Other sheet"}));
    conv.set_sel_sheets1({L"Other sheet", L"Nope", L"Other sheet", L"data"});
    EXPECT_EQ(conv.worksheets, (sheet_map{{L"Other sheet", L"'Other sheet$'"}}));
    EXPECT_EQ(hooks.lines, (std::vector<std::wstring>{L"missing Nope", L"missing data"}));
    EXPECT_EQ(conv.sel_queries.size(), 2u);  // each time it was named

    conv.sel_queries = {{L"kept", L""}};
    conv.set_sel_sheets2({{L"Other sheet", L""}, {L"Data", L""}});
    EXPECT_EQ(conv.worksheets, (sheet_map{{L"Other sheet", L"'Other sheet$'"}}));
    EXPECT_EQ(conv.sel_queries.size(), 1u);
}

TEST_F(XlsSelection, AWorksheetTheWorkbookLacksFailsAloneAtLevelZero)
{
    test_dir dir;
    conv.set_src(fixture("openpyxl.xlsx"));
    conv.set_dest(platform::from_utf8(dir.file("out.sql")));
    conv.direct = false;
    conv.from_xls = true;
    conv.x_fnames = true;
    // As a saved selection from another workbook gives them: no listing.
    conv.sel_queries = {{L"Nope$", L""}, {L"Hidden$", L""}};
    EXPECT_EQ(conv(), 0u);
    EXPECT_EQ(errors.reports, (std::vector<std::string>{"Nope$: The workbook has no worksheet 'Nope$'."}));
    EXPECT_EQ(conv.tables_done.load(), 2u);
    const std::string dump = test_dir::read(dir.file("out.sql"));
    EXPECT_NE(dump.find("VALUES(42)"), std::string::npos) << dump;
}

TEST_F(XlsSelection, TwoWorksheetsRenamedAlikeGetTwoTables)
{
    test_dir dir;
    conv.set_src(fixture("sheetjs.xlsx"));
    conv.set_dest(platform::from_utf8(dir.file("out.sql")));
    conv.direct = false;
    conv.x_fnames = true;
    std::vector<std::wstring> names;
    ASSERT_TRUE(conv.get_all_sheets(names));
    conv.get_table_mutator2(L"Data", L"same");
    conv.get_table_mutator2(L"Other sheet", L"same");
    EXPECT_EQ(conv(), 0u);
    EXPECT_TRUE(errors.reports.empty());
    const std::string dump = test_dir::read(dir.file("out.sql"));
    EXPECT_NE(dump.find("CREATE TABLE `same` ("), std::string::npos) << dump;
    EXPECT_NE(dump.find("CREATE TABLE `same00000` ("), std::string::npos) << dump;
}

TEST_F(XlsSelection, NoEngineNoListing)
{
    platform::dao::set_engine_class_available(CLSID_DAODBEngine120, false);
    platform::dao::set_engine_class_available(CLSID_DAODBEngine36, false);
    conv.set_src(fixture("sheetjs.xlsx"));
    std::vector<std::wstring> names{L"stale"};
    EXPECT_FALSE(conv.get_all_sheets(names));
    EXPECT_TRUE(names.empty());
    platform::dao::set_engine_class_available(CLSID_DAODBEngine120, true);
    platform::dao::set_engine_class_available(CLSID_DAODBEngine36, true);
}

} // namespace
