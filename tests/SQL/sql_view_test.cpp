#include "SQL/sql_view.hpp"
#include "TK/tk_excep.hpp"

#include "UDB/udb_nmap.hpp"
#include "platform/text/pl_utf8.hpp"
#include "server_env.hpp"

#include <gtest/gtest.h>

namespace {

struct text_case {
    std::wstring in;
    std::wstring out;
};

TEST(SqlViewText, FoldWhitespaceOutsideQuotes)
{
    const text_case cases[] = {
        {L"", L""},
        {L"a   b", L"a b"},
        {L"\r\n\tSELECT\r\n  a\t\tFROM t  ", L" SELECT a FROM t "},
        {L"'a   b'  \"c \r\n d\"", L"'a   b' \"c \r\n d\""},
        // A quote of the other kind inside a string does not end it.
        {L"\"it's   here\"   x", L"\"it's   here\" x"},
        {L"'say \"hi   there\"'   y", L"'say \"hi   there\"' y"},
        // An unclosed quote keeps the rest as it stands.
        {L"a  'b   c", L"a 'b   c"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sql_view_converter::fold_whitespace(c.in), c.out) << c.in.size();
}

TEST(SqlViewText, TwoArgumentCallsOnly)
{
    struct {
        std::wstring text;
        size_t position;
        bool expected;
    } cases[] = {
        {L"isnull(a, b)", 0, true},
        {L"isnull(a)", 0, false},
        {L"isnull(f(a, b), c)", 0, false},
        {L"x + isnull(a, b)", 4, true},
        {L"isnull(a, b)", std::wstring::npos, false},
        {L"isnull(a, b)", 12, false},
        {L"isnull", 0, false},
        // The scan ends at the call's own closing parenthesis.
        {L"isnull(a, b) + f(c, d)", 0, true},
        {L"isnull(a, b, c)", 0, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sql_view_converter::check_isnull_for_replace(c.text, c.position), c.expected) << c.text.size();
}

TEST(SqlViewText, FunctionRenames)
{
    const text_case cases[] = {
        {L"isnull(x, 0)", L"ifnull(x, 0)"},
        {L"ISNULL(x, 0) + IsNull(y, 1)", L"ifnull(x, 0) + ifnull(y, 1)"},
        {L"isnull(x)", L"isnull(x)"},
        {L"isnull(f(a, b), c)", L"isnull(f(a, b), c)"},
        {L"getdate()", L"curdate()"},
        {L"len(name)", L"length(name)"},
        {L"strlen(name)", L"strlen(name)"},
        {L"select len, lenx from t", L"select len, lenx from t"},
        {L"datediff(day, d1, d2)", L"TIMESTAMPDIFF(DAY, d1, d2)"},
        {L"datediff(day, d1, d2) + DATEDIFF(m, a, b)", L"TIMESTAMPDIFF(DAY, d1, d2) + TIMESTAMPDIFF(MONTH, a, b)"},
        {L"dateadd(d, 1)", L"date_add(d, 1)"},
        {L"dateadd(d, 1, x)", L"dateadd(d, 1, x)"},
        {L"replicate('a', 3)", L"repeat('a', 3)"},
        {L"replicate('a')", L"replicate('a')"},
        {L"select mygetdate_col, getdate from t", L"select mygetdate_col, getdate from t"},
        {L"getdate ()", L"curdate ()"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sql_view_converter::rename_functions(c.in), c.out);
}

// Access counts DateDiff(interval, a, b) from a to b, as TIMESTAMPDIFF does;
// MySQL's DATEDIFF(a, b) counted the other way and lost the interval.
TEST(SqlViewText, DateDiffBecomesTimestampDiffWithItsUnit)
{
    const text_case cases[] = {
        {L"DateDiff(\"yyyy\", a, b)", L"TIMESTAMPDIFF(YEAR, a, b)"},
        {L"DateDiff('q', a, b)", L"TIMESTAMPDIFF(QUARTER, a, b)"},
        {L"DateDiff(\"m\", a, b)", L"TIMESTAMPDIFF(MONTH, a, b)"},
        {L"DateDiff(\"y\", a, b)", L"TIMESTAMPDIFF(DAY, a, b)"},
        {L"DateDiff( \"d\" , a, b)", L"TIMESTAMPDIFF(DAY , a, b)"},
        {L"DateDiff(\"w\", a, b)", L"TIMESTAMPDIFF(WEEK, a, b)"},
        {L"DateDiff(\"h\", a, b)", L"TIMESTAMPDIFF(HOUR, a, b)"},
        {L"DateDiff(\"n\", a, b)", L"TIMESTAMPDIFF(MINUTE, a, b)"},
        {L"DateDiff(\"s\", a, b)", L"TIMESTAMPDIFF(SECOND, a, b)"},
        {L"select datediff_col from t", L"select datediff_col from t"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sql_view_converter::rename_functions(c.in), c.out);
    for (const wchar_t* unknown : {L"DateDiff(\"ww\", a, b)", L"DateDiff(\"x\", a, b)", L"datediff(day", L"DateDiff(\"d"})
        EXPECT_THROW(sql_view_converter::rename_functions(unknown), tk_exception) << unknown;
}

TEST(SqlViewText, RefineViewIn)
{
    udb_names_map names;
    names.add_tn_mapping(L"Sheet 1", L"sheet_1");
    const text_case cases[] = {
        {L"SELECT [a b] FROM [t]", L"SELECT `a b` FROM `t`;"},
        // A renamed table in brackets gets one pair of backquotes.
        {L"SELECT   *\r\nFROM\t[Sheet 1] JOIN [u] ON [Sheet 1].a = u.a",
         L"SELECT * FROM `sheet_1` JOIN `u` ON `sheet_1`.a = u.a;"},
        {L"SELECT a[1] FROM t]", L"SELECT a`1` FROM t`;"},
        {L"SELECT isnull(x, 0), len(y) FROM t WHERE s = 'a   b'",
         L"SELECT ifnull(x, 0), length(y) FROM t WHERE s = 'a   b';"},
        {std::wstring(L"SELECT a\0junk", 13), L"SELECT a;"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sql_view_converter::refine_view_in(names, c.in), c.out);
}

} // namespace

namespace {

// A rewritten view is one the server creates and can read.
TEST(SqlViewText, RewrittenViewsRunOnTheServer)
{
    RVL_NEED_TEST_SERVER();
    test_database db;
    test_connection c(db.name());
    c.execute("CREATE TABLE `sheet_1` (`a b` INT, d DATE, s VARCHAR(20))");
    c.execute("INSERT INTO `sheet_1` VALUES (NULL, '2024-01-01', 'ab'), (2, '2024-01-03', NULL)");
    udb_names_map names;
    names.add_tn_mapping(L"Sheet 1", L"sheet_1");
    const std::wstring sql = sql_view_converter::refine_view_in(
        names, L"SELECT isnull([a b], 0) AS n,\r\n  len(s) AS l, dateadd(d, INTERVAL 2 DAY) AS days,\r\n"
               L"  replicate('x', 2) AS r FROM [Sheet 1]");
    c.execute("CREATE OR REPLACE VIEW v AS " + platform::to_utf8(sql));
    const auto rows = c.rows("SELECT n, l, days, r FROM v ORDER BY n");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"0", "2", "2024-01-03", "xx"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"2", "NULL", "2024-01-05", "xx"}));
}

} // namespace
