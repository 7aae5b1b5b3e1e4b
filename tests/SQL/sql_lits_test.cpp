// Literals reach the server byte for byte: each is inserted into a real table
// and read back.
#include "SQL/sql_util.hpp"

#include "SQL/sql_engi.hpp"
#include "UDB/udb_fld.hpp"
#include "UDB/udb_ftd.hpp"
#include "platform/text/pl_utf8.hpp"
#include "server_env.hpp"

#include <gtest/gtest.h>

namespace {

class SqlLiteralsOnTheServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        RVL_NEED_TEST_SERVER();
        db = std::make_unique<test_database>();
        c = std::make_unique<test_connection>(db->name());
        c->execute("CREATE TABLE t (id INT AUTO_INCREMENT PRIMARY KEY, s LONGTEXT CHARACTER SET utf8mb4, "
                   "b LONGBLOB, i INT, d DOUBLE, g GEOMETRY) ENGINE=InnoDB");
    }

    // Inserts one literal into a column and gives back what the server stored.
    std::string round_trip(const char* column, const std::string& literal, const char* read_as = nullptr)
    {
        c->execute("DELETE FROM t");
        c->execute(std::string("INSERT INTO t (") + column + ") VALUES (" + literal + ")");
        const auto rows = c->rows(std::string("SELECT ") + (read_as ? read_as : column) + " FROM t");
        return rows.size() == 1 ? rows[0][0] : "<no row>";
    }

    std::string field_literal(const ole_variant& value, VARTYPE column_type, uint32_t reserved = 0)
    {
        const udb_field field(L"f", 0, value, false, false);
        const t_ftd column(0, L"c", column_type, false, false, ole_variant(), reserved, L"");
        return get_fld_append_str(&field, &column, false);
    }

    sql_engine engine;
    std::unique_ptr<test_database> db;
    std::unique_ptr<test_connection> c;
};

TEST_F(SqlLiteralsOnTheServer, TextKeepsEveryCharacter)
{
    std::string controls;
    for (int ch = 1; ch < 32; ++ch)
        controls += static_cast<char>(ch);
    const std::string texts[] = {
        "",
        "O'Neil\\x \"quoted\" \\' \\\\ ''",
        "line1\r\nline2\rline3\nend\x1A",
        controls,
        "caf\xC3\xA9 \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80",
        "x'); DROP TABLE t; --",
        "\\'); DROP TABLE t; --",
        "{6F9619FF-8B86-D011-B42D-00C04FC964FF} and more",
    };
    for (const std::string& text : texts) {
        EXPECT_EQ(round_trip("s", field_literal(ole_variant(text.c_str()), VT_BSTR)), text);
        EXPECT_EQ(round_trip("s", to_mysql_str(text, VT_BSTR)), text);
    }
    // A NUL inside a value too (the value types end a text there, the
    // literal does not).
    const std::string with_nul("a\0b", 3);
    EXPECT_EQ(round_trip("s", to_mysql_str(with_nul, VT_BSTR)), with_nul);
}

TEST_F(SqlLiteralsOnTheServer, BinaryKeepsEveryByte)
{
    std::vector<unsigned char> all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<unsigned char>(i);
    const std::string stored = round_trip("b", field_literal(ole_variant(all), ole_vt_bytes));
    EXPECT_EQ(stored, std::string(all.begin(), all.end()));
    EXPECT_EQ(round_trip("b", to_mysql_str("a'b\\c", ole_vt_bytes)), "a'b\\c");
}

TEST_F(SqlLiteralsOnTheServer, NumbersAndTheTextsThatAreNot)
{
    EXPECT_EQ(round_trip("i", field_literal(ole_variant(L"12"), VT_I4)), "12");
    EXPECT_EQ(round_trip("d", field_literal(ole_variant(1.5), VT_R8)), "1.5");
    EXPECT_EQ(round_trip("i", field_literal(ole_variant(), VT_I4)), "NULL");
    // A number into a text column: as a sheet shows it in General format.
    EXPECT_EQ(round_trip("s", field_literal(ole_variant(9007199254740992.0), VT_BSTR)), "9007199254740992");
    EXPECT_EQ(round_trip("s", field_literal(ole_variant(0.1 + 0.2), VT_BSTR)), "0.3");
    // Not a number: written as a string, which the server refuses for an INT
    // column; nothing else of the statement runs.
    for (const wchar_t* text : {L"1); DROP TABLE t; --", L"1, 2", L"12 OR 1=1"})
        EXPECT_ANY_THROW(round_trip("i", field_literal(ole_variant(text), VT_I4)));
    EXPECT_NO_THROW(c->rows("SELECT COUNT(*) FROM t"));
}

TEST_F(SqlLiteralsOnTheServer, GeometryText)
{
    EXPECT_EQ(round_trip("g", field_literal(ole_variant(L"POINT(1 2)"), VT_BSTR, 2), "ST_AsText(g)"), "POINT(1 2)");
    EXPECT_EQ(round_trip("g", field_literal(ole_variant(L""), VT_BSTR, 2)), "NULL");
    // The quote ends nothing: one value (taken or refused), never a second row.
    const std::string injection = field_literal(ole_variant(L"POINT(1 2)'), (ST_GeomFromText('POINT(3 4)"), VT_BSTR, 8);
    try {
        EXPECT_NE(round_trip("g", injection, "ST_AsText(g)"), "<no row>");
    } catch (const std::runtime_error&) {
        // refused as a malformed geometry: as good
    }
}

} // namespace
