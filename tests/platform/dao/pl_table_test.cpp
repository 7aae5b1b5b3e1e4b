#include "dao_show.hpp"
#include "platform/dao/pl_rderr.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace platform::dao;

namespace {

struct built {
    text_pool pool;
    sheet_table table;
};

void build(built& b, const std::function<void(table_builder&)>& fill, bool header = true)
{
    table_builder tb(b.pool);
    fill(tb);
    b.table = tb.finish(header);
}

std::vector<std::string> rows_of(const sheet_table& t)
{
    std::vector<std::string> out;
    for (size_t r = 0; r < t.row_count(); ++r)
        out.push_back(show_row(t, r));
    return out;
}

} // namespace

// One column under the header "H" with the given cells below it.
TEST(Table, ColumnTypesFollowEveryDataRow)
{
    using add = std::function<void(table_builder&, uint32_t)>;
    auto num = [](double v, cell_kind k = cell_kind::number) { return add([=](table_builder& t, uint32_t r) { t.add_number(r, 0, v, k); }); };
    auto boolean = [](bool v) { return add([=](table_builder& t, uint32_t r) { t.add_boolean(r, 0, v); }); };
    auto text = [](std::string v) { return add([=](table_builder& t, uint32_t r) { t.add_text(r, 0, std::string_view(v)); }); };
    auto error = add([](table_builder& t, uint32_t r) { t.add_error(r, 0); });
    auto none = add([](table_builder&, uint32_t) {});
    struct { std::vector<add> cells; field_type type; std::vector<std::string> rows; } cases[] = {
        {{boolean(true), none, boolean(false)}, field_type::boolean, {"T", "NULL", "F"}},
        {{num(45352, cell_kind::date), num(0.5, cell_kind::date)}, field_type::date, {"D2024-03-01", "D12:00:00"}},
        // A date among numbers is neither: every cell keeps the text it reads as.
        {{num(1), num(2.5, cell_kind::currency), num(3, cell_kind::date)}, field_type::text, {"'1'", "'2.5'", "'1900-01-03'"}},
        {{num(45293, cell_kind::date), num(45294, cell_kind::date), num(7)}, field_type::text, {"'2024-01-02'", "'2024-01-03'", "'7'"}},
        {{num(1.2, cell_kind::date), num(7)}, field_type::text, {"'1900-01-01 04:48:00'", "'7'"}},
        {{num(45293.25, cell_kind::date), num(5)}, field_type::text, {"'2024-01-02 06:00:00'", "'5'"}},
        // Dates before 1899-12-30 are dates; one no DATETIME holds keeps its number's text.
        {{num(-1, cell_kind::date), num(45000, cell_kind::date)}, field_type::date, {"D1899-12-29", "D2023-03-15"}},
        {{num(45000, cell_kind::date), num(2958466, cell_kind::date), num(1e10, cell_kind::date)}, field_type::text,
         {"'2023-03-15'", "'2958466'", "'10000000000'"}},
        // Elapsed times go with times of day in a TIME column, not with dates.
        {{num(1.5, cell_kind::duration), num(0.5, cell_kind::time)}, field_type::time, {"E36:00:00", "D12:00:00"}},
        {{num(1.5, cell_kind::duration), num(45000, cell_kind::date)}, field_type::text, {"'36:00:00'", "'2023-03-15'"}},
        {{num(1.5, cell_kind::duration), num(40, cell_kind::duration)}, field_type::text, {"'36:00:00'", "'960:00:00'"}},
        // A currency amount beyond the type's range stays the number it is.
        {{num(922337203685477.58, cell_kind::currency), num(1.5, cell_kind::currency)}, field_type::number,
         {"$922337203685478", "$1.5"}},
        {{num(-922337203685477.5, cell_kind::currency)}, field_type::currency, {"$-922337203685478"}},
        // An error cell is no value, but its row is a row.
        {{num(1), error, num(3), error}, field_type::number, {"1", "NULL", "3", "NULL"}},
        {{text("a"), error}, field_type::text, {"'a'", "NULL"}},
        {{num(1.5, cell_kind::currency), none, num(-2, cell_kind::currency)}, field_type::currency, {"$1.5", "NULL", "$-2"}},
        {{num(1.5, cell_kind::currency), num(1e18, cell_kind::currency)}, field_type::number, {"$1.5", "$1e+18"}},
        // A currency column keeps four decimals: one more would be cut.
        {{num(19.9999, cell_kind::currency), num(-0.0001, cell_kind::currency)}, field_type::currency, {"$19.9999", "$-0.0001"}},
        {{num(1.5, cell_kind::currency), num(0.123456, cell_kind::currency)}, field_type::number, {"$1.5", "$0.123456"}},
        // Times of day alone make a time column; one date among them a date column.
        {{num(0.5, cell_kind::date), none, num(0, cell_kind::date)}, field_type::time, {"D12:00:00", "NULL", "D00:00:00"}},
        {{num(0.5, cell_kind::date), num(1, cell_kind::date)}, field_type::date, {"D12:00:00", "D1900-01-01"}},
        {{num(0.5, cell_kind::time), num(0.25, cell_kind::time)}, field_type::time, {"D12:00:00", "D06:00:00"}},
        {{num(1), text("two"), boolean(true), num(45352.25, cell_kind::date)}, field_type::text, {"'1'", "'two'", "'TRUE'", "'2024-03-01 06:00:00'"}},
        {{boolean(true), num(0)}, field_type::text, {"'TRUE'", "'0'"}},
        // Dates, times and durations among texts read as the sheet shows them:
        // a time of day alone as its time (midnight too), a fraction of a
        // second to the millisecond, where there is one, a duration past what
        // a TIME holds as its elapsed hours.
        {{num(0, cell_kind::time), text("x"), num(0.5, cell_kind::date), num(38200 + 45045.123 / 86400, cell_kind::date),
          num(9956.1 / 86400, cell_kind::time), num(563137 / 24.0, cell_kind::duration), num(-1.5, cell_kind::duration),
          num((86400000 - 0.4) / 86400000, cell_kind::time)},
         field_type::text,
         {"'00:00:00'", "'x'", "'12:00:00'", "'2004-08-01 12:30:45.123'", "'02:45:56.100'", "'563137:00:00'",
          "'-36:00:00'", "'23:59:59.999'"}},
        // A number among texts reads as the sheet shows it in General format:
        // an integer to 2^53 whole, any other number with 15 digits, plain
        // where "%g" writes it so.
        {{num(9007199254740992.0), text("x"), num(0.1 + 0.2), num(-1.5e-7), num(1.1 * 1.1), num(1e10),
          num(123456789.123456789), num(1e16), num(-0.0)},
         field_type::text,
         {"'9007199254740992'", "'x'", "'0.3'", "'-1.5e-07'", "'1.21'", "'10000000000'", "'123456789.123457'",
          "'1e+16'", "'0'"}},
        {{text(std::string(255, 'a'))}, field_type::text, {"'" + std::string(255, 'a') + "'"}},
        {{text(std::string(256, 'a'))}, field_type::memo, {"'" + std::string(256, 'a') + "'"}},
        {{none, none}, field_type::text, {}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        built b;
        build(b, [&](table_builder& t) {
            t.add_text(0, 0, std::string_view("H"));
            for (uint32_t r = 0; r < cases[i].cells.size(); ++r)
                cases[i].cells[r](t, r + 1);
        });
        EXPECT_EQ(b.table.column_type(0), cases[i].type) << "case " << i;
        if (!cases[i].rows.empty()) {
            EXPECT_EQ(rows_of(b.table), cases[i].rows) << "case " << i;
        }
    }
}

// What the user is told of a sheet's cells, each naming its cell.
TEST(Table, NoticesNameTheirCells)
{
    built b;
    build(b, [](table_builder& t) {
        t.add_text(0, 1, std::string_view("When"));
        t.add_number(1, 1, 45000, cell_kind::date);
        t.add_number(2, 1, 2958466, cell_kind::date);
        t.add_error(3, 2);
        t.add_error(2, 3);
        t.add_number(4, 1, 1, cell_kind::number);
    });
    EXPECT_EQ(b.table.row_count(), 4u);
    EXPECT_EQ(b.table.notices(), (std::vector<std::string>{
        "2 cells hold an error value (the first: cell D3), written as NULL",
        "cell B3 holds 2958466 as a date, which no date column holds: its column is text and its dates are written as texts"}));
    built none;
    build(none, [](table_builder& t) { t.add_number(0, 0, 1, cell_kind::number); });
    EXPECT_TRUE(none.table.notices().empty());
    // A sheet without a value gets a column of its own: the user is told.
    for (const bool header : {true, false}) {
        built empty;
        build(empty, [](table_builder&) {}, header);
        EXPECT_EQ(show_columns(empty.table), "F1:10");
        EXPECT_EQ(empty.table.row_count(), 0u);
        EXPECT_EQ(empty.table.notices(),
                  std::vector<std::string>{
                      "it holds no value: its table is made with one empty text column F1 and no rows"});
    }
}

TEST(Table, MemoCountsCharactersNotBytes)
{
    std::string accents;
    for (int i = 0; i < 200; ++i)
        accents += "\xC3\xA9";  // 400 bytes, 200 characters
    built b;
    build(b, [&](table_builder& t) { t.add_text(0, 0, std::string_view(accents)); }, false);
    EXPECT_EQ(b.table.column_type(0), field_type::text);
}

TEST(Table, HeaderNames)
{
    built b;
    build(b, [](table_builder& t) {
        // the box starts at B2; D2 is empty, two headers repeat, one is a number
        t.add_text(1, 1, std::string_view("Name"));
        t.add_text(1, 2, std::string_view("name"));
        t.add_number(1, 4, 2024, cell_kind::number);
        t.add_text(1, 5, std::string_view("Name1"));
        t.add_text(1, 6, std::string_view("F3"));
        t.add_number(2, 3, 1, cell_kind::number);
        t.add_number(3, 6, 7, cell_kind::number);
    });
    EXPECT_EQ(show_columns(b.table), "Name:10,name2:10,F31:7,2024:10,Name1:10,F3:7");
    EXPECT_EQ(rows_of(b.table), (std::vector<std::string>{"NULL|NULL|1|NULL|NULL|NULL", "NULL|NULL|NULL|NULL|NULL|7"}));
}

// A header's name stays with its column: only a repeated name, or the F
// name of an empty header, takes a number, and never one another header
// has. Names the server takes as one (case, accents) are repeated names.
TEST(Table, HeaderNamesStayWithTheirColumns)
{
    struct { std::vector<std::string> headers, names; } cases[] = {
        {{"x", "x", "x1"}, {"x", "x2", "x1"}},
        {{"", "F1", "x"}, {"F11", "F1", "x"}},  // R's write.csv leaves the first header empty
        {{"\xC3\xBD", "\xC3\xBF", "Name", "NAME", "\xC3\xBF" "1"}, {"\xC3\xBD", "\xC3\xBF" "2", "Name", "NAME1", "\xC3\xBF" "1"}},
        {{"a", "A", "a", "A1"}, {"a", "A2", "a3", "A1"}},
    };
    for (const auto& c : cases) {
        built b;
        build(b, [&](table_builder& t) {
            for (uint32_t col = 0; col < c.headers.size(); ++col) {
                t.add_text(0, col, std::string_view(c.headers[col]));
                t.add_number(1, col, col, cell_kind::number);
            }
        });
        std::vector<std::string> names;
        for (size_t col = 0; col < b.table.column_count(); ++col)
            names.push_back(b.table.column_name(col));
        EXPECT_EQ(names, c.names) << c.headers[0] << "," << c.headers[1];
        EXPECT_EQ(show_row(b.table, 0).substr(0, 3), "0|1");
    }
}

TEST(Table, WithoutHeaderEveryRowIsData)
{
    built b;
    build(b, [](table_builder& t) {
        t.add_text(4, 2, std::string_view("a"));
        t.add_number(5, 3, 2, cell_kind::number);
    }, false);
    EXPECT_EQ(show_columns(b.table), "F1:10,F2:7");
    EXPECT_EQ(rows_of(b.table), (std::vector<std::string>{"'a'|NULL", "NULL|2"}));
}

TEST(Table, EmptySheetsAndHeaderOnly)
{
    built empty;
    build(empty, [](table_builder& t) { t.add_text(3, 3, std::string_view("")); });  // an empty text is no value
    EXPECT_EQ(show_columns(empty.table), "F1:10");
    EXPECT_EQ(empty.table.row_count(), 0u);

    built header;
    build(header, [](table_builder& t) { t.add_text(0, 0, std::string_view("Only")); });
    EXPECT_EQ(show_columns(header.table), "Only:10");
    EXPECT_EQ(header.table.row_count(), 0u);
}

// Cells given out of order or far apart are all kept where they belong; far
// apart ones do not fill memory with the gap.
TEST(Table, CellsInAnyOrderAndFarApart)
{
    built b;
    build(b, [](table_builder& t) {
        t.add_number(5, 0, 5, cell_kind::number);
        t.add_number(1, 0, 1, cell_kind::number);
        t.add_number(3, 0, 33, cell_kind::number);
        t.add_number(1000000, 0, 9, cell_kind::number);
        t.add_number(4, 1, 4, cell_kind::number);
        t.add_number(2, 1, 22, cell_kind::number);
    }, false);
    ASSERT_EQ(b.table.row_count(), 1000000u);
    EXPECT_EQ(show_row(b.table, 0), "1|NULL");
    EXPECT_EQ(show_row(b.table, 1), "NULL|22");
    EXPECT_EQ(show_row(b.table, 2), "33|NULL");
    EXPECT_EQ(show_row(b.table, 3), "NULL|4");
    EXPECT_EQ(show_row(b.table, 4), "5|NULL");
    EXPECT_EQ(show_row(b.table, 999999), "9|NULL");
    EXPECT_EQ(show_row(b.table, 500000), "NULL|NULL");
}

// Of two values at one place the later one stays, whether the column is
// kept whole or by its cells' rows, in order or not; the losses count the
// places and name the first. A place given again without a value first (an
// empty text) loses nothing.
TEST(Table, OfTwoValuesAtOnePlaceTheLaterIsKept)
{
    using fill = std::function<void(table_builder&)>;
    struct { fill cells; const char* lost; const char* kept; } cases[] = {
        {[](table_builder& t) { t.add_number(0, 1, 1, cell_kind::number); t.add_number(1, 1, 2, cell_kind::number);
                                t.add_text(1, 1, std::string_view("b")); }, "cell B2 is given two values: the later one is kept", "'b'"},
        {[](table_builder& t) { t.add_number(0, 0, 1, cell_kind::number); t.add_number(900000, 0, 2, cell_kind::number);
                                t.add_boolean(900000, 0, true); }, "cell A900001 is given two values: the later one is kept", "T"},
        {[](table_builder& t) { t.add_number(900000, 2, 2, cell_kind::number); t.add_number(5, 2, 1, cell_kind::number);
                                t.add_number(900000, 2, 3, cell_kind::number); t.add_number(7, 0, 1, cell_kind::number);
                                t.add_number(7, 0, 4, cell_kind::number); },
         "2 cells are given two values (the first: cell A8): the later ones are kept", "3"},
        {[](table_builder& t) { t.add_text(0, 0, std::string_view("")); t.add_number(0, 0, 1, cell_kind::number); },
         nullptr, "1"},
    };
    for (const auto& c : cases) {
        built b;
        build(b, c.cells, false);
        EXPECT_EQ(b.table.losses(), c.lost ? std::vector<std::string>{c.lost} : std::vector<std::string>{});
        const size_t last = b.table.row_count() - 1;
        const std::string row = show_row(b.table, last);
        EXPECT_NE(row.find(c.kept), std::string::npos) << row;
    }
}

TEST(Table, ColumnWithGapsStaysReadable)
{
    built b;
    build(b, [](table_builder& t) {
        t.add_text(0, 0, std::string_view("H"));
        for (uint32_t r = 1; r < 100; r += 2)
            t.add_number(r, 0, r, cell_kind::number);
    });
    ASSERT_EQ(b.table.row_count(), 99u);
    EXPECT_EQ(show_row(b.table, 0), "1");
    EXPECT_EQ(show_row(b.table, 1), "NULL");
    EXPECT_EQ(show_row(b.table, 98), "99");
}

// The sheet's claimed size is a hint: cells beyond it, or a claim of the
// whole grid, change nothing in what is read.
TEST(Table, ClaimedSizeIsOnlyAHint)
{
    for (auto claim : {std::pair<uint32_t, uint32_t>{2, 1}, {1048576, 16384}, {1048576, 1}}) {
        built b;
        build(b, [&](table_builder& t) {
            t.expect(claim.first, claim.second);
            t.add_number(0, 0, 1, cell_kind::number);
            t.add_number(4, 2, 2, cell_kind::number);
        }, false);
        EXPECT_EQ(show_columns(b.table), "F1:7,F2:10,F3:7");
        EXPECT_EQ(show_row(b.table, 4), "NULL|NULL|2");
    }
}

// A claim that comes once cells are in, or a guess of the rows, which gives
// the columns begun their room: too small, too large or the whole grid,
// what is read stays the same, a column that turns sparse after it included.
TEST(Table, LateClaimsAndGuessesAreOnlyHints)
{
    const std::function<void(table_builder&)> hints[] = {
        [](table_builder&) {},
        [](table_builder& t) { t.expect(3000, 3); },
        [](table_builder& t) { t.guess_rows(10); },
        [](table_builder& t) { t.guess_rows(1100); },
        [](table_builder& t) { t.guess_rows(UINT32_MAX); },
        [](table_builder& t) { t.expect(1048576, 16384); },
    };
    std::string first;
    for (const auto& hint : hints) {
        built b;
        build(b, [&](table_builder& t) {
            for (uint32_t r = 0; r < 1000; ++r) {
                t.add_number(r, 0, r, cell_kind::number);
                t.add_text(r, 1, std::string_view(r % 2 ? "odd" : "even"));
            }
            hint(t);
            for (uint32_t r = 1000; r < 2000; ++r) {
                t.add_number(r, 0, r, cell_kind::number);
                t.add_text(r, 1, std::string_view(r % 2 ? "odd" : "even"));
                t.add_boolean(r, 2, r % 3 == 0);
            }
            t.add_number(900000, 1, 7, cell_kind::number);  // far below: column 1 turns sparse
        }, false);
        std::string shown = show_columns(b.table) + " " + std::to_string(b.table.row_count());
        for (size_t r : {0u, 999u, 1000u, 1999u, 2000u, 899999u, 900000u})
            shown += " " + show_row(b.table, r);
        if (first.empty())
            first = shown;
        EXPECT_EQ(shown, first);
    }
    EXPECT_EQ(first, "F1:7,F2:10,F3:1 900001 0|'even'|NULL 999|'odd'|NULL 1000|'even'|F 1999|'odd'|F NULL|NULL|NULL "
                     "NULL|NULL|NULL NULL|'7'|NULL");
}

TEST(Table, ManyEqualHeadersAreNumberedInOrder)
{
    built b;
    build(b, [](table_builder& t) {
        for (uint32_t c = 0; c < 16384; ++c)
            t.add_text(0, c, std::string_view(c % 2 ? "a" : "A"));
    });
    ASSERT_EQ(b.table.column_count(), 16384u);
    EXPECT_EQ(b.table.column_name(0), "A");
    EXPECT_EQ(b.table.column_name(1), "a1");
    EXPECT_EQ(b.table.column_name(2), "A2");
    EXPECT_EQ(b.table.column_name(16383), "a16383");
}

// Texts fill fixed chunks and long ones get chunks of their own: every text
// handed out stays as it was added, whatever came after it.
TEST(Pool, TextsStayIntactAcrossChunks)
{
    text_pool pool;
    std::vector<std::pair<text_ref, std::string>> added;
    const size_t sizes[] = {0, 1, 1000, 100000, 131072, 500000, 1048576, 1048577, 3};
    for (int round = 0; round < 12; ++round)
        for (size_t size : sizes) {
            std::string text(size, char('a' + (round + size) % 26));
            added.emplace_back(pool.add(text), std::move(text));
        }
    for (const auto& [ref, text] : added)
        ASSERT_EQ(pool.get(ref), text);
    EXPECT_THROW(pool.add(std::string(text_pool::max_length + 1, 'x')), format_fault);
}
