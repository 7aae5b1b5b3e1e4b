// Type refinement of worksheets read straight from the workbook's cells:
// the date kinds taken from date values, and the types settled over the
// committed workbook fixtures, which must be those the records give.
#include "rvl_conv/rvl_xstat.hpp"

#include "DAO/dao_db.hpp"
#include "DAO/dao_rec.hpp"
#include "DAO/dao_recs.hpp"
#include "SQL/sql_util.hpp"
#include "common/type_map.hpp"
#include "config_home.hpp"
#include "platform/ole/pl_vdate.hpp"
#include "platform/text/pl_utf8.hpp"
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_fake.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>

namespace {

std::wstring fixture(const std::string& name)
{
    return platform::from_utf8(std::string(RVL_WORKBOOKS) + "/" + name);
}

TEST(SheetDateKind, TheKindOfTheTextADateValuePrintsAs)
{
    struct row {
        double value;
        int32_t kind;
    };
    const row rows[] = {
        {0.0, dates_map::time_only},              // day zero at midnight prints "00:00:00"
        {0.5, dates_map::time_only},              // "0000-00-00 12:00:00"
        {-0.25, dates_map::time_only},            // a time of day on day zero as well
        {-1.0, dates_map::date_only},             // 1899-12-29
        {1.0, dates_map::date_only},              // 1899-12-31
        {45292.0, dates_map::date_only},          // 2024-01-01
        {45292.5, dates_map::date_time},          // 2024-01-01 12:00:00
        {45292.9999999999, dates_map::date_only},  // rounds to the next midnight
        {45292.9999999, dates_map::date_time},     // 23:59:59.991
        {45292.0 + 0.0004 / 86400, dates_map::date_only},  // less than half a millisecond
        {45292.0 + 0.4 / 86400, dates_map::date_time},     // 00:00:00.400
        {45292.0 + 1.0 / 86400, dates_map::date_time},     // 00:00:01
        {-328716.0, dates_map::date_only},        // 1000-01-01, the first year of the date types
        {-328716.5, dates_map::date_time},
        {-328717.0, dates_map::no_date},          // 0999-12-31
        {-657434.0, dates_map::no_date},          // 0100-01-01
        {2958465.0, dates_map::date_only},        // 9999-12-31
        {2958465.75, dates_map::date_time},
        {2958466.0, dates_map::no_date},          // past the last date: no text at all
        {-700000.0, dates_map::no_date},
        {std::numeric_limits<double>::quiet_NaN(), dates_map::no_date},
        {std::numeric_limits<double>::infinity(), dates_map::no_date},
    };
    for (const row& r : rows)
        EXPECT_EQ(sheet_date_kind(r.value), r.kind) << r.value;
}

// The kind from the value is the kind of the text the field prints, over
// days from before the year 100 to past 9999 and times that round up to the
// next day; a fraction of a second in it is the same.
TEST(SheetDateKind, AgreesWithTheTextTheFieldPrints)
{
    const auto text_kind = [](double value) {
        bool fraction = false;
        const int32_t kind = dates_map::held_date_kind(dao_field::date_text(value), fraction);
        if (kind != dates_map::no_date) {
            EXPECT_EQ(fraction, pl_ole::millisecond_of(value) != 0) << value;
        }
        return kind;
    };
    const double fractions[] = {0.0, 0.25, 0.5, 0.99999, 0.999995, 0.9999999, 1.0 / 86400, 0.4 / 86400};
    for (double day = -700000; day <= 3000000; day += 997)
        for (const double sign : {1.0, -1.0})
            for (const double f : fractions) {
                const double value = day + sign * f;
                EXPECT_EQ(sheet_date_kind(value), text_kind(value)) << value;
            }
    for (const double value : {0.0, -0.0, 0.5, -0.5, -0.9999999, -328716.0, -328717.0, -328716.0 - 0.9999999,
                               2958465.0, 2958465.9999999, 2958466.0, -657434.0, -657435.0})
        EXPECT_EQ(sheet_date_kind(value), text_kind(value)) << value;
}

// Each column as CREATE TABLE gives it: "name TYPE".
std::vector<std::wstring> created(const udb_schema& columns)
{
    std::vector<std::wstring> out;
    for (const std::shared_ptr<t_ftd>& c : columns)
        out.push_back(c->name + L" " + get_sql_native_type2(c.get(), false, L"utf8mb4"));
    return out;
}

// Hands out another recordset's rows, so the types are settled from records.
class record_source : public udb_recordset {
public:
    explicit record_source(udb_recordset& rows) : udb_recordset(L"records"), rows(rows) { schema = rows.schema; }
    void append_record(const udb_record&) override {}
    bool is_eof() override { return rows.is_eof(); }
    void next() override { rows.next(); }
    udb_record* get_item() override { return rows.get_item(); }

private:
    udb_recordset& rows;
};

struct SheetRefinement : ::testing::Test {
    config_home home;
    recording_hooks hooks;
    recording_handler errors;
    ravelin_converter conv{converter_form::console, hooks};
    dao_engine engine{false};

    SheetRefinement()
    {
        EXPECT_TRUE(engine.set_version_if(3));
        conv.set_cur_table(L"t");
    }

    std::unique_ptr<dao_database> open(const std::string& file)
    {
        return open_dao_src(engine, fixture(file), L"Excel 5.0; IMEX=1;", udb_database::mode_read_only);
    }

    // The worksheet's columns as its table would be created, then those
    // that become text after the copy ("name -> TYPE"), its values read from
    // the sheet itself or record by record.
    std::vector<std::wstring> settle(dao_database& book, const std::wstring& table, bool by_records)
    {
        std::unique_ptr<udb_recordset> rs = book.get_table(table, udb_database::mode_read_only);
        udb_schema columns;
        for (const auto& c : rs->schema)
            columns.push_back(std::make_shared<t_ftd>(*c));
        record_source records(*rs);
        const auto later = conv.settle_types(by_records ? records : *rs, columns, nullptr);
        std::vector<std::wstring> out = created(columns);
        for (const auto& text : later)
            out.push_back(columns[text.n_field]->name + L" -> " + text.type);
        return out;
    }
};

TEST_F(SheetRefinement, DatesTimesAndCodesSettleTheirTypes)
{
    // A column of both a time alone and a date is text, wide enough for any
    // date's text; one holding a date before the year 1000 or after 9999 is
    // text too, whether or not empty rows are skipped.
    const std::vector<std::wstring> expected = {
        L"Day DATE",         L"Seen DATETIME",    L"At TIME",          L"Mixed VARCHAR(23)",
        L"Old VARCHAR(255)", L"Code INT",         L"Num INT",          L"Far VARCHAR(255)",
        L"Near VARCHAR(255)"};
    std::unique_ptr<dao_database> book = open("handmade_refine.xlsx");
    for (bool skip : {true, false}) {
        conv.skip_empty_rows = skip;
        EXPECT_EQ(settle(*book, L"Kinds$", false), expected);
        EXPECT_EQ(settle(*book, L"Kinds$", true), expected);
    }
}

// A column holding a date or time with a fraction of a second anywhere takes
// milliseconds, read from the cells and from the records alike; for a
// server of unknown version only one that has them reads them.
TEST_F(SheetRefinement, FractionsOfASecondGiveMilliseconds)
{
    const std::vector<std::wstring> expected = {L"Stamp DATETIME/*!50604 (3)*/", L"Clock TIME/*!50604 (3)*/",
                                                L"Midnight DATETIME/*!50604 (3)*/", L"Whole DATETIME"};
    for (const char* file : {"fractions_openpyxl.xlsx", "fractions_xlwt.xls"}) {
        std::unique_ptr<dao_database> book = open(file);
        EXPECT_EQ(settle(*book, L"Fractions$", false), expected) << file;
        EXPECT_EQ(settle(*book, L"Fractions$", true), expected) << file;
    }
}

TEST_F(SheetRefinement, EveryFixtureSettlesAsItsRecordsDo)
{
    size_t sheets = 0;
    for (const auto& entry : std::filesystem::directory_iterator(RVL_WORKBOOKS)) {
        const std::string file = entry.path().filename().string();
        if (!entry.is_regular_file() || file.starts_with("encrypted") ||
            !(file.ends_with(".xlsx") || file.ends_with(".xls")))
            continue;
        std::unique_ptr<dao_database> book = open(file);
        for (const std::wstring& table : book->get_tables()) {
            try {
                EXPECT_EQ(settle(*book, table, false), settle(*book, table, true)) << file;
                ++sheets;
            } catch (const tk_exception&) {
                // a worksheet that cannot be read has nothing to settle
            }
        }
    }
    EXPECT_GT(sheets, 20u);
}

TEST_F(SheetRefinement, OnlyAWholeWorksheetIsReadFromItsCells)
{
    std::unique_ptr<dao_database> book = open("handmade_refine.xlsx");
    std::unique_ptr<udb_recordset> rs = book->get_table(L"Kinds$", udb_database::mode_read_only);
    dates_map dates(L"t", rs->schema, false);
    num_map numbers(L"t", rs->schema);
    record_source records(*rs);
    EXPECT_FALSE(sheet_statistics(records, true, conv, dates, &numbers));
    rs->next();  // a sheet no longer read from its first row
    EXPECT_FALSE(sheet_statistics(*rs, true, conv, dates, &numbers));
    EXPECT_FALSE(dates.get_entries()[0].seen);
    std::unique_ptr<udb_recordset> again = book->get_table(L"Kinds$", udb_database::mode_read_only);
    EXPECT_TRUE(sheet_statistics(*again, true, conv, dates, &numbers));
    EXPECT_TRUE(dates.get_entries()[0].seen);
    // Booleans and currency amounts print as the records make them.
    std::unique_ptr<dao_database> values = open("handmade_values.xlsx");
    std::unique_ptr<udb_recordset> amounts = values->get_table(L"Values$", udb_database::mode_read_only);
    dates_map amount_dates(L"t", amounts->schema, false);
    num_map amount_numbers(L"t", amounts->schema);
    EXPECT_FALSE(sheet_statistics(*amounts, true, conv, amount_dates, &amount_numbers));
}

} // namespace
