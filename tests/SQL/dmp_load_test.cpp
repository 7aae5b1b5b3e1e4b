// Dumps loaded into the test server with the mariadb command-line client
// (without --force: every statement must run) and read back: the values must
// come back equal, whatever they hold and however the rows were batched.
#include "dmp_help.hpp"

#include "TK/tk_utils.hpp"
#include "platform/text/pl_utf8.hpp"

#include <cstdint>
#include <optional>

namespace {

using opt_text = std::optional<std::wstring>;
using opt_bytes = std::optional<std::string>;

struct hard_row {
    int id;
    opt_text text;
    opt_bytes bytes;
    std::optional<int64_t> number;
    std::optional<double> real;
    std::optional<std::string> date;
};

const udb_schema& hard_schema()
{
    static const udb_schema schema = dmp_schema({{L"id", VT_I4, 4}, {L"t", VT_BSTR, 0}, {L"b", ole_vt_bytes, 0},
                                                 {L"n", VT_I8, 8}, {L"d", VT_R8, 8}, {L"dt", VT_DATE, 8, 1}});
    return schema;
}

udb_record record_of(const hard_row& row)
{
    return dmp_record(hard_schema(),
                      {row.id, row.text ? ole_variant(*row.text) : ole_variant(),
                       row.bytes ? dmp_bytes(*row.bytes) : ole_variant(),
                       row.number ? ole_variant(static_cast<long long>(*row.number)) : ole_variant(),
                       row.real ? ole_variant(*row.real) : ole_variant(),
                       row.date ? ole_variant(ole_date(*row.date)) : ole_variant()});
}

std::string every_byte()
{
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    return bytes;
}

std::wstring repeated(const std::wstring& pattern, size_t length)
{
    std::wstring text;
    text.reserve(length + pattern.size());
    while (text.size() < length)
        text += pattern;
    text.resize(length);
    return text;
}

// The hard values, then rows that cross the 1,000,000-byte batch boundary,
// a row of 1,000,001 bytes (which ends fast insertion) and 2 MiB values
// (which are streamed), then a small row written alone.
std::vector<hard_row> hard_rows()
{
    const std::string date = "2024-02-29 13:45:06";
    std::vector<hard_row> rows = {
        {1, L"it's a \"quote\" and ''two''", std::string("\0\x01", 2), 0, 0.5, date},
        {2, L"back\\slash \\' \\\\ \\n", every_byte(), INT64_MAX, -2.25, "1999-12-31 23:59:59"},
        {3, L"CR LF\r\nLF\nCR\rtab\tend", std::string("'\\\r\n"), INT64_MIN, 1e300, "2000-01-01 00:00:00"},
        {4, L"\\0 is no NUL", std::string(1, '\0'), -1, -1e-300, std::nullopt},
        {5, L"\u00c6r\u00f8sk\u00f8bing caf\u00e9 na\u00efve stra\u00dfe", std::nullopt, std::nullopt, std::nullopt, date},
        {6, L"\u6f22\u5b57\u304b\u306a\u30ab\u30ca\ud55c\uad6d\uc5b4", std::nullopt, 42, 3.0, date},
        {7, L"\U0001F600 \U0001D11E \U0002070E", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        {8, L"", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        {9, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        {10, L"\x1A ctrl-z \x01\x7F", std::nullopt, 7, std::nullopt, std::nullopt},
    };
    for (int i = 0; i < 40; ++i)
        rows.push_back({100 + i, repeated(L"ab'c\\d\u00e9 ", 30000 + i), std::nullopt, i, std::nullopt, std::nullopt});
    // With its id (4 bytes) the row is 1,000,001 bytes.
    rows.push_back({200, repeated(L"x'y\\z", 999997), std::nullopt, std::nullopt, std::nullopt, std::nullopt});
    std::string big(2 * 1048576, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + i / 256);
    rows.push_back({201, std::nullopt, big, 1, std::nullopt, std::nullopt});
    rows.push_back({202, repeated(std::wstring(L"a'b\\c\r\n\u6f22\0\U0001F600 ", 12), 2 * 1048576), std::nullopt,
                    2, std::nullopt, date});
    rows.push_back({203, L"after the large ones", every_byte(), 3, 1.5, date});
    return rows;
}

std::string hex_or_null(const opt_text& text)
{
    return text ? dmp_hex(platform::to_utf8(*text)) : "NULL";
}

std::string hex_or_null(const opt_bytes& bytes)
{
    return bytes ? dmp_hex(*bytes) : "NULL";
}

class DumpLoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        RVL_NEED_TEST_SERVER();
        own_database.emplace();
    }
    const test_database& database() const { return *own_database; }

    void load(const std::string& file)
    {
        std::string output;
        ASSERT_EQ(dmp_load(file, database().name(), output), 0) << output;
    }

    void expect_hard_rows_back(const std::vector<hard_row>& rows)
    {
        test_connection c(database().name());
        const auto back = c.rows("SELECT id, HEX(t), HEX(b), n, d, DATE_FORMAT(dt, '%Y-%m-%d %H:%i:%s') "
                                 "FROM hard ORDER BY id");
        ASSERT_EQ(back.size(), rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            const hard_row& row = rows[i];
            SCOPED_TRACE("row " + std::to_string(row.id));
            EXPECT_EQ(back[i][0], std::to_string(row.id));
            EXPECT_TRUE(back[i][1] == hex_or_null(row.text)) << back[i][1].substr(0, 200);
            EXPECT_TRUE(back[i][2] == hex_or_null(row.bytes)) << back[i][2].substr(0, 200);
            EXPECT_EQ(back[i][3], row.number ? std::to_string(*row.number) : "NULL");
            if (row.real)
                EXPECT_EQ(std::stod(back[i][4]), *row.real) << back[i][4];
            else
                EXPECT_EQ(back[i][4], "NULL");
            EXPECT_EQ(back[i][5], row.date.value_or("NULL"));
        }
    }

    sql_engine engine;
    test_dir dir;
    std::optional<test_database> own_database;  // made once the server is known
};

class DumpLoadOptions : public DumpLoad, public ::testing::WithParamInterface<int> {
protected:
    static dump_options options_of(int variant)
    {
        dump_options o;
        o.n_line_break = variant == 1 ? 1 : 0;
        o.b_ins_comments = variant != 1;
        o.b_lock_write = variant != 2;
        return o;
    }
};

// A second table follows the large rows, and statements on the first table
// (as type refinement repeats them) come while the second one is locked.
TEST_P(DumpLoadOptions, HardValuesComeBackEqual)
{
    const std::vector<hard_row> rows = hard_rows();
    const std::string file = dir.file("hard.sql");
    {
        const auto db = engine.create_dump(tk_to_unicode(file), options_of(GetParam()));
        udb_indexes primary;
        primary.push_back(dmp_index(L"PRIMARY", {L"id"}, true));
        {
            const auto rs = db->create_table(L"hard", hard_schema(), primary);
            for (const hard_row& row : rows)
                rs->append_record(record_of(row));
        }
        EXPECT_FALSE(engine.is_fast_insert());
        db->query(L"ALTER TABLE `hard` MODIFY `n` BIGINT");
        const udb_schema second = dmp_schema({{L"v", VT_BSTR, 10}});
        {
            const auto rs = db->create_table(L"second", second, udb_indexes());
            rs->append_record(dmp_record(second, {L"1"}));
            rs->append_record(dmp_record(second, {L"22"}));
        }
        db->query(L"ALTER TABLE `hard` MODIFY `n` BIGINT");
        db->query(L"ALTER TABLE `second` MODIFY `v` INT");
        db->close();
    }
    const std::string text = test_dir::read(file);
    // The batch boundary was crossed in fast mode, and the rows after the
    // large one went one statement each.
    EXPECT_GE(dmp_count(text, "INSERT INTO `hard`(`id`, `t`, `b`, `n`, `d`, `dt`) VALUES("), 2u);
    EXPECT_EQ(dmp_count(text, "INSERT INTO `hard`(`id`, `t`, `b`, `n`, `d`, `dt`) \nVALUES ("), 4u);
    load(file);
    expect_hard_rows_back(rows);
    test_connection c(database().name());
    EXPECT_EQ(c.rows("SELECT SUM(v) FROM second")[0][0], "23");
}

// A NUL inside a text value that is not streamed reaches the server too.
TEST_F(DumpLoad, NulInsideASmallTextValue)
{
    const std::wstring text(L"nul\0inside\0", 11);
    const std::string file = dir.file("nul.sql");
    {
        const auto db = engine.create_dump(tk_to_unicode(file), dump_options());
        {
            const auto rs = db->create_table(L"hard", hard_schema(), udb_indexes());
            rs->append_record(record_of({1, text, std::nullopt, std::nullopt, std::nullopt, std::nullopt}));
        }
        db->close();
    }
    load(file);
    test_connection c(database().name());
    EXPECT_EQ(c.rows("SELECT HEX(t) FROM hard")[0][0], hex_or_null(text));
}

INSTANTIATE_TEST_SUITE_P(Variants, DumpLoadOptions, ::testing::Values(0, 1, 2));

// Several tables in fast mode with type refinement's repeated statements,
// an index, foreign keys and a view: the whole dump loads.
TEST_F(DumpLoad, SeveralTablesWithRefinementLocksAndKeys)
{
    const std::string file = dir.file(database().name() + ".sql");
    const udb_schema parent = dmp_schema({{L"id", VT_I4, 4}, {L"name", VT_BSTR, 30}});
    const udb_schema child = dmp_schema({{L"id", VT_I4, 4}, {L"parent id", VT_I4, 4}, {L"amount", VT_BSTR, 20}});
    udb_indexes primary;
    primary.push_back(dmp_index(L"PRIMARY", {L"id"}, true));
    {
        dump_options options;
        options.b_ins_db = true;  // the file is named after the test's database
        const auto db = engine.create_dump(tk_to_unicode(file), options);
        {
            const auto rs = db->create_table(L"parent", parent, primary);
            for (int i = 1; i <= 3; ++i)
                rs->append_record(dmp_record(parent, {i, L"p" + std::to_wstring(i)}));
        }
        db->query(L"ALTER TABLE `parent` MODIFY `name` VARCHAR(255)");
        {
            const auto rs = db->create_table(L"child", child, primary);
            for (int i = 1; i <= 5000; ++i)
                rs->append_record(dmp_record(child, {i, 1 + i % 3, std::to_wstring(i) + L".5"}));
        }
        db->query(L"ALTER TABLE `parent` MODIFY `name` VARCHAR(255)");
        db->query(L"ALTER TABLE `child` MODIFY `amount` DOUBLE");
        db->create_index(L"parent", L"", dmp_index(L"ix_name", {L"name"}, false, true));
        udb_relationships fks;
        fks.push_back(udb_relationship(L"fk_child", L"", L"child", L"parent", {L"parent id"}, {L"id"},
                                       L"ON DELETE CASCADE"));
        db->create_relationships(fks);
        db->create_views({{L"totals", L"SELECT [parent id], SUM(amount) AS total FROM child GROUP BY [parent id]"}});
        db->close();
    }
    load(file);
    test_connection c(database().name());
    EXPECT_EQ(c.rows("SELECT COUNT(*), SUM(amount) FROM child")[0], (std::vector<std::string>{"5000", "12505000"}));
    EXPECT_EQ(c.rows("SELECT COUNT(*) FROM totals")[0][0], "3");
    EXPECT_EQ(c.rows("SELECT COUNT(*) FROM information_schema.REFERENTIAL_CONSTRAINTS "
                     "WHERE CONSTRAINT_SCHEMA = DATABASE() AND CONSTRAINT_NAME = 'fk_child'")[0][0],
              "1");
    EXPECT_EQ(c.rows("SELECT DATA_TYPE FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = DATABASE() "
                     "AND TABLE_NAME = 'child' AND COLUMN_NAME = 'amount'")[0][0],
              "double");
}

// The golden file's tables load under every new-version option set.
TEST_F(DumpLoad, TheGoldenScenarioLoadsWithEveryOptionSet)
{
    for (int variant = 0; variant < 8; ++variant) {
        SCOPED_TRACE(variant);
        dump_options options;
        options.n_line_break = variant & 1;
        options.b_lock_write = (variant & 2) == 0;
        options.b_ins_comments = (variant & 4) == 0;
        options.b_ins_db = variant == 7;
        const std::string file = dir.file(database().name() + ".sql");
        dmp_write_scenario(file, options);
        load(file);
        test_connection c(database().name());
        EXPECT_EQ(c.rows("SELECT COUNT(*), SUM(price) FROM sales")[0], (std::vector<std::string>{"3", "2.499"}));
        EXPECT_EQ(c.rows("SELECT HEX(text) FROM notes")[0][0], dmp_hex("line1\r\nline2\ttab"));
    }
}

} // namespace
