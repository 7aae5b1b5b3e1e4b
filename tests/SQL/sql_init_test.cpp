#include "SQL/sql_init.hpp"

#include "SQL/sql_engi.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_utils.hpp"
#include "server_env.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct col_def {
    std::wstring name;
    VARTYPE vt = VT_BSTR;
    uint32_t size = 255;
    bool not_null = false;
    bool auto_increment = false;
    ole_variant def = ole_variant();
    uint32_t reserved = 0;
    std::wstring native = std::wstring();
    std::wstring description = std::wstring();
    uint32_t precision = 0;
};

udb_schema schema_of(std::initializer_list<col_def> defs)
{
    udb_schema schema;
    for (const col_def& s : defs) {
        auto column = std::make_shared<t_ftd>(s.size, s.name, s.vt, s.not_null, s.auto_increment, s.def, s.reserved,
                                              s.native);
        column->description = s.description;
        column->precision = s.precision;
        schema.push_back(column);
    }
    return schema;
}

udb_index index_of(const std::wstring& name, std::vector<std::wstring> fields, bool primary = false,
                   bool unique = false)
{
    udb_index index;
    index.name = name;
    index.fields = std::move(fields);
    index.primary = primary;
    index.unique = unique || primary;
    return index;
}

udb_indexes indexes_of(std::initializer_list<udb_index> list)
{
    udb_indexes indexes;
    for (const udb_index& index : list)
        indexes.push_back(index);
    return indexes;
}

// A MariaDB of today; tests of older dialects set their version.
class SqlCreateTable : public ::testing::Test {
protected:
    SqlCreateTable() { engine.set_server_version(0x0A0B13); }

    std::wstring statement(const udb_schema& schema, const udb_indexes& indexes = udb_indexes(),
                           const sql_table_options* options = nullptr)
    {
        return sql_make_create_table(L"t", sql_make_table_clauses(L"t", schema, indexes, options), options);
    }

    // The statement must also be one the server takes.
    void expect_server_takes(const std::wstring& sql)
    {
        if (!test_server_settings() && !test_server_required())
            return;
        RVL_NEED_TEST_SERVER();
        test_database db;
        test_connection c(db.name());
        EXPECT_NO_THROW(c.execute(tk_to_utf8(sql))) << tk_to_utf8(sql);
    }

    sql_engine engine;
};

TEST_F(SqlCreateTable, ColumnClauses)
{
    const udb_schema schema = schema_of({
        {L"id", VT_I4, 4, false, true},
        {L"name", VT_BSTR, 40, true, false, ole_variant(L"it's")},
        {L"note", VT_BSTR, 20, false, false, ole_variant(), 0, L"", L"O'Neil \\ remark"},
        {L"price", VT_DECIMAL, 16, false, false, ole_variant(L"1.5")},
        {L"when", VT_DATE, 8, false, false, ole_variant(), 9},
        {L"shape", VT_BSTR, 40, false, false, ole_variant(), 2},
        {L"picture", ole_vt_bytes, 0},
        {L"typed", VT_BSTR, 10, false, false, ole_variant(), 0, L"varchar(20)"},
        {L"TYPED2", VT_BSTR, 10, false, false, ole_variant(), 0, L"VARCHAR(20)"},
    });
    const std::wstring sql = statement(schema);
    EXPECT_EQ(sql,
              L"CREATE TABLE `t` (`id` INT NOT NULL AUTO_INCREMENT, "
              L"`name` VARCHAR(40) CHARACTER SET utf8mb4 NOT NULL DEFAULT 'it\\'s', "
              L"`note` VARCHAR(20) CHARACTER SET utf8mb4 COMMENT 'O\\'Neil \\\\ remark', "
              L"`price` DOUBLE DEFAULT 1.5, `when` TIMESTAMP DEFAULT CURRENT_TIMESTAMP, `shape` geometry, "
              L"`picture` LONGBLOB, `typed` varchar(20), `TYPED2` VARCHAR(20) CHARACTER SET utf8mb4, "
              L"INDEX `id` (`id`)) ENGINE=InnoDB");
    expect_server_takes(sql);
}

TEST_F(SqlCreateTable, RowSizeTurnsTheWidestTextIntoLongtext)
{
    const std::wstring sql = statement(schema_of({{L"a", VT_BSTR, 10000}, {L"b", VT_BSTR, 10000}, {L"c", VT_BSTR, 10000}}));
    EXPECT_EQ(sql, L"CREATE TABLE `t` (`a` VARCHAR(10000) CHARACTER SET utf8mb4, `b` LONGTEXT CHARACTER SET utf8mb4, "
                   L"`c` LONGTEXT CHARACTER SET utf8mb4) ENGINE=InnoDB");
    expect_server_takes(sql);

    // Non-text columns are never converted.
    udb_schema wide;
    for (int i = 0; i < 9; ++i)
        wide.push_back(std::make_shared<t_ftd>(8000, L"b" + std::to_wstring(i), ole_vt_bytes, false, false, ole_variant(), 0, L""));
    EXPECT_EQ(statement(wide).find(L"LONGTEXT"), std::wstring::npos);
}

// Each VARCHAR also takes two length bytes: two columns whose characters
// alone fit the 65,535 bytes do not fit with them.
TEST_F(SqlCreateTable, RowSizeCountsTheLengthBytes)
{
    const std::wstring sql = statement(schema_of({{L"a", VT_BSTR, 8191}, {L"b", VT_BSTR, 8192}}));
    EXPECT_NE(sql.find(L"`b` LONGTEXT"), std::wstring::npos) << tk_to_utf8(sql);
    expect_server_takes(sql);
    const std::wstring fits = statement(schema_of({{L"a", VT_BSTR, 8191}, {L"b", VT_BSTR, 8190}}));
    EXPECT_EQ(fits.find(L"LONGTEXT"), std::wstring::npos);
    expect_server_takes(fits);
}

// One column at the largest VARCHAR of each character set is taken whole;
// one character more makes it a TEXT type.
TEST_F(SqlCreateTable, VarcharWithinTheCharacterSet)
{
    struct {
        const wchar_t* char_set;
        uint32_t size;
        std::wstring clause;
    } cases[] = {
        {L"utf8mb4", 16383, L"`a` VARCHAR(16383) CHARACTER SET utf8mb4 DEFAULT 'x'"},
        {L"utf8mb4", 16384, L"`a` MEDIUMTEXT CHARACTER SET utf8mb4"},
        {L"utf8", 21844, L"`a` VARCHAR(21844) CHARACTER SET utf8 DEFAULT 'x'"},
        {L"utf8", 21845, L"`a` MEDIUMTEXT CHARACTER SET utf8"},
        {L"latin1", 21845, L"`a` VARCHAR(21845) CHARACTER SET latin1 DEFAULT 'x'"},
        {L"latin1", 21846, L"`a` MEDIUMTEXT CHARACTER SET latin1"},
    };
    for (const auto& c : cases) {
        engine.set_char_set(c.char_set);
        const std::wstring sql = statement(schema_of({{L"a", VT_BSTR, c.size, false, false, ole_variant(L"x")}}));
        EXPECT_EQ(sql, L"CREATE TABLE `t` (" + c.clause + L") ENGINE=InnoDB");
        expect_server_takes(sql);
    }
}

// A TEXT column keeps a pointer in the row: a VARCHAR of the largest size and
// a LONGTEXT beside it do not fit.
TEST_F(SqlCreateTable, RowSizeCountsTextPointersAndNullFlags)
{
    const std::wstring sql = statement(schema_of({{L"a", VT_BSTR, 16383}, {L"b", VT_BSTR, 0}}));
    EXPECT_EQ(sql, L"CREATE TABLE `t` (`a` LONGTEXT CHARACTER SET utf8mb4, `b` LONGTEXT CHARACTER SET utf8mb4) "
                   L"ENGINE=InnoDB");
    expect_server_takes(sql);
}

// InnoDB keeps under 8,126 bytes of a row in its page: strings of up to 255
// bytes stay there whole, longer ones and TEXT keep 21 bytes. VARCHAR columns
// the run typed become LONGTEXT where that makes the row fit; a row that
// cannot fit is refused before any statement, as the server refuses it.
TEST_F(SqlCreateTable, TheRowMustFitAnInnodbPage)
{
    struct {
        const char* what;
        int count;
        col_def column;
        const wchar_t* type;  // as the server would be asked for it
        bool fits;
    } cases[] = {
        {"long texts at the limit", 383, {L"c", VT_BSTR, 0}, L"LONGTEXT", true},
        {"one long text too many", 384, {L"c", VT_BSTR, 0}, L"LONGTEXT", false},
        {"run-typed short texts go off-page", 100, {L"c", VT_BSTR, 60}, L"VARCHAR(60)", true},
        {"run-typed VARCHAR(255) go off-page", 300, {L"c", VT_BSTR, 255}, L"VARCHAR(255)", true},
        {"user-typed short texts stay as given", 100, {L"c", VT_BSTR, 60, false, false, ole_variant(), 0, L"VARCHAR(60)"},
         L"VARCHAR(60)", false},
        {"user-typed VARCHAR(255) overflow the row", 70, {L"c", VT_BSTR, 255, false, false, ole_variant(), 0,
         L"VARCHAR(255)"}, L"VARCHAR(255)", false},
        {"BIGINT at the limit", 997, {L"c", VT_I8, 8}, L"BIGINT", true},
        {"one BIGINT too many", 998, {L"c", VT_I8, 8}, L"BIGINT", false},
        {"DATETIME takes 5 bytes", 1017, {L"c", VT_DATE, 8, false, false, ole_variant(), 1}, L"DATETIME", true},
        {"DECIMAL(19,4) takes 9 bytes", 887, {L"c", VT_CY, 8}, L"DECIMAL(19,4)", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        udb_schema schema;
        std::wstring raw = L"CREATE TABLE t (";
        for (int i = 0; i < c.count; ++i) {
            col_def def = c.column;
            def.name += std::to_wstring(i);
            schema.push_back(schema_of({def})[0]);
            raw += (i > 0 ? L", " : L"") + def.name + L" " + c.type;
        }
        raw += L") ENGINE=InnoDB";
        if (c.fits) {
            std::wstring sql;
            ASSERT_NO_THROW(sql = statement(schema));
            expect_server_takes(sql);
            continue;
        }
        try {
            statement(schema);
            ADD_FAILURE() << "no refusal";
        } catch (const tk_exception& e) {
            EXPECT_NE(std::string(e.what()).find("The table 't' is too wide"), std::string::npos) << e.what();
        }
        if (!test_server_settings())
            continue;
        test_database db;
        EXPECT_ANY_THROW(test_connection(db.name()).execute(tk_to_utf8(raw)));
    }
}

TEST_F(SqlCreateTable, CharacterSetsOfTheUsersChoice)
{
    sql_table_options options;
    options.engine = L"MyISAM";
    options.char_set = L"latin1";
    options.column_char_sets[L"b"] = L"utf8";
    const std::wstring sql = statement(schema_of({{L"a", VT_BSTR, 10}, {L"b", VT_BSTR, 10}, {L"n", VT_I4, 4}}),
                                       udb_indexes(), &options);
    EXPECT_EQ(sql, L"CREATE TABLE `t` (`a` VARCHAR(10) CHARACTER SET utf8mb4, `b` VARCHAR(10) CHARACTER SET utf8, "
                   L"`n` INT) character set latin1 ENGINE=MyISAM");
    expect_server_takes(sql);
}

TEST_F(SqlCreateTable, DuplicateNamesAndNamesTheServerRefuses)
{
    const udb_schema schema = schema_of({{L"Name"}, {L"name"}, {L" pad "}, {L"a+b"}});
    const sql_table_clauses clauses = sql_make_table_clauses(L"t", schema, udb_indexes(), nullptr);
    ASSERT_EQ(clauses.columns.size(), 4u);
    EXPECT_EQ(clauses.columns[0].substr(0, 7), L"`Name` ");
    EXPECT_EQ(clauses.columns[1].substr(0, 12), L"`name00000` ");
    EXPECT_EQ(clauses.columns[2].substr(0, 6), L"`pad` ");
    EXPECT_EQ(clauses.columns[3].substr(0, 6), L"`a_b` ");
    EXPECT_EQ(clauses.column_names.get_mapped_name(L"a+b"), L"a_b");
    expect_server_takes(sql_make_create_table(L"t", clauses, nullptr));
}

TEST_F(SqlCreateTable, NotNullByKeyAndVersion)
{
    const udb_schema schema = schema_of({{L"k", VT_I4, 4}, {L"i", VT_I4, 4}, {L"x", VT_I4, 4}});
    const udb_indexes indexes = indexes_of({index_of(L"pk", {L"k"}, true), index_of(L"ix", {L"i"})});
    struct {
        uint32_t version;
        const wchar_t* expected;
    } cases[] = {
        {0x031701, L"CREATE TABLE `t` (k INT NOT NULL, i INT NOT NULL, x INT, PRIMARY KEY (`k`), INDEX `ix` (`i`)) TYPE=MyISAM"},
        {0x031702, L"CREATE TABLE `t` (k INT NOT NULL, i INT, x INT, PRIMARY KEY (`k`), INDEX `ix` (`i`)) TYPE=MyISAM"},
        {0x0A0B13, L"CREATE TABLE `t` (`k` INT NOT NULL, `i` INT, `x` INT, PRIMARY KEY (`k`), INDEX `ix` (`i`)) ENGINE=InnoDB"},
    };
    for (const auto& c : cases) {
        engine.set_server_version(c.version);
        EXPECT_EQ(statement(schema, indexes), c.expected);
    }
}

// A new-version dump is written for 4.1.0 and loaded into today's servers.
TEST_F(SqlCreateTable, NewVersionDumpDialect)
{
    engine.set_dump_version(true);
    const std::wstring sql = statement(
        schema_of({{L"id", VT_I4, 4, false, true}, {L"s", VT_BSTR, 300}, {L"d", VT_DATE, 8, false, false, ole_variant(), 1}}),
        indexes_of({index_of(L"ps", {L"id"}, true), index_of(L"is", {L"s"})}));
    EXPECT_EQ(sql, L"CREATE TABLE `t` (`id` INT NOT NULL AUTO_INCREMENT, `s` VARCHAR(300) CHARACTER SET utf8mb4, "
                   L"`d` DATETIME, PRIMARY KEY (`id`), INDEX `is` (`s`)) ENGINE=InnoDB");
    expect_server_takes(sql);
    engine.set_dump_version(false);
    EXPECT_EQ(statement(schema_of({{L"s", VT_BSTR, 300}})), L"CREATE TABLE `t` (s VARCHAR(300)) TYPE=MyISAM");
}

TEST_F(SqlCreateTable, EngineWordsByVersion)
{
    const udb_schema schema = schema_of({{L"n", VT_I4, 4}});
    engine.set_tab_type(L"Aria");
    struct {
        uint32_t version;
        const wchar_t* tail;
    } cases[] = {
        {0x031722, L" TYPE=MyISAM"},
        {0x031723, L" TYPE=Aria"},
        {0x040016, L" TYPE=Aria"},
        {0x040017, L" ENGINE=Aria"},
    };
    for (const auto& c : cases) {
        engine.set_server_version(c.version);
        const std::wstring sql = statement(schema);
        EXPECT_EQ(sql.substr(sql.size() - std::wcslen(c.tail)), c.tail);
    }
}

TEST_F(SqlCreateTable, IndexesTheServerCannotTakeAreDropped)
{
    const udb_schema schema = schema_of({
        {L"t769", VT_BSTR, 769},
        {L"t768", VT_BSTR, 768},
        {L"a", VT_BSTR, 384},
        {L"b", VT_BSTR, 385},
        {L"c", VT_BSTR, 383},
        {L"blob", ole_vt_bytes, 10},
        {L"memo", VT_BSTR, 0},
        {L"shape", VT_BSTR, 10, false, false, ole_variant(), 2},
    });
    const udb_indexes indexes = indexes_of({
        index_of(L"i769", {L"t769"}),
        index_of(L"i768", {L"t768"}),
        index_of(L"ab", {L"a", L"b"}),       // 3,076 bytes in utf8mb4
        index_of(L"ac", {L"a", L"c"}),       // 3,068 bytes
        index_of(L"gone", {L"missing"}),
        index_of(L"iblob", {L"blob"}),
        index_of(L"imemo", {L"memo"}),
        index_of(L"ishape", {L"shape"}),
        index_of(L"empty", {}),
    });
    const sql_table_clauses clauses = sql_make_table_clauses(L"t", schema, indexes, nullptr);
    EXPECT_EQ(clauses.indexes, (std::vector<std::wstring>{L"INDEX `i768` (`t768`)", L"INDEX `ac` (`a`, `c`)"}));
    expect_server_takes(sql_make_create_table(L"t", clauses, nullptr));

    engine.set_char_set(L"utf8");
    const sql_table_clauses utf8 = sql_make_table_clauses(L"t", schema, indexes, nullptr);
    EXPECT_EQ(utf8.indexes, (std::vector<std::wstring>{L"INDEX `i768` (`t768`)", L"INDEX `ab` (`a`, `b`)",
                                                       L"INDEX `ac` (`a`, `c`)"}));
    expect_server_takes(sql_make_create_table(L"t", utf8, nullptr));

    engine.set_server_version(0x040017);
    const udb_schema small = schema_of({{L"a", VT_BSTR, 128}, {L"b", VT_BSTR, 129}, {L"c", VT_BSTR, 128}});
    const sql_table_clauses old = sql_make_table_clauses(
        L"t", small, indexes_of({index_of(L"ab", {L"a", L"b"}), index_of(L"ac", {L"a", L"c"})}), nullptr);
    EXPECT_EQ(old.indexes, (std::vector<std::wstring>{L"INDEX `ac` (`a`, `c`)"}));
}

// The server's own refusal of what the builders drop: a key over 3,072
// bytes in utf8mb4.
TEST_F(SqlCreateTable, TheServerRefusesTheKeysThatAreDropped)
{
    if (!test_server_settings() && !test_server_required())
        GTEST_SKIP() << "no test server";
    RVL_NEED_TEST_SERVER();
    test_database db;
    test_connection c(db.name());
    EXPECT_ANY_THROW(c.execute("CREATE TABLE t (a VARCHAR(384) CHARACTER SET utf8mb4, b VARCHAR(385) CHARACTER SET "
                               "utf8mb4, INDEX ab (a, b)) ENGINE=InnoDB"));
    EXPECT_ANY_THROW(c.execute("CREATE TABLE u (a VARCHAR(16384) CHARACTER SET utf8mb4) ENGINE=InnoDB"));
}

TEST_F(SqlCreateTable, IndexCountCap)
{
    udb_schema schema;
    udb_indexes indexes;
    for (int i = 0; i < 70; ++i) {
        const std::wstring name = L"c" + std::to_wstring(i);
        schema.push_back(std::make_shared<t_ftd>(4, name, VT_I4, false, false, ole_variant(), 0, L""));
        indexes.push_back(index_of(L"i" + std::to_wstring(i), {name}));
    }
    const sql_table_clauses clauses = sql_make_table_clauses(L"t", schema, indexes, nullptr);
    EXPECT_EQ(clauses.indexes.size(), 63u);
    EXPECT_EQ(clauses.indexes.back(), L"INDEX `i62` (`c62`)");
    expect_server_takes(sql_make_create_table(L"t", clauses, nullptr));
    engine.set_server_version(0x040017);
    EXPECT_EQ(sql_make_table_clauses(L"t", schema, indexes, nullptr).indexes.size(), 15u);
}

TEST_F(SqlCreateTable, AutoIncrementColumnsGetAnIndex)
{
    struct {
        udb_indexes indexes;
        std::vector<std::wstring> expected;
    } cases[] = {
        {udb_indexes(), {L"INDEX `id` (`id`)"}},
        {indexes_of({index_of(L"pk", {L"id"}, true)}), {L"PRIMARY KEY (`id`)"}},
        // Not first in the only index: the server wants one that begins with it.
        {indexes_of({index_of(L"pk", {L"n", L"id"}, true)}), {L"PRIMARY KEY (`n`, `id`)", L"INDEX `id` (`id`)"}},
        // Its index is dropped (too big): it still gets its own.
        {indexes_of({index_of(L"big", {L"id", L"memo"})}), {L"INDEX `id` (`id`)"}},
        // The column's name is taken by another index.
        {indexes_of({index_of(L"id", {L"n"})}), {L"INDEX `id` (`n`)", L"INDEX `id00000` (`id`)"}},
    };
    const udb_schema schema = schema_of({{L"id", VT_I4, 4, false, true}, {L"n", VT_I4, 4}, {L"memo", VT_BSTR, 0}});
    for (const auto& c : cases) {
        const sql_table_clauses clauses = sql_make_table_clauses(L"t", schema, c.indexes, nullptr);
        EXPECT_EQ(clauses.indexes, c.expected);
        expect_server_takes(sql_make_create_table(L"t", clauses, nullptr));
    }
}

TEST_F(SqlCreateTable, SecondAutoIncrementColumnIsAnInternalError)
{
    const udb_schema schema = schema_of({{L"a", VT_I4, 4, false, true}, {L"b", VT_I4, 4, false, true}});
    EXPECT_THROW(sql_make_table_clauses(L"t", schema, udb_indexes(), nullptr), tk_mail_assertion);
    // An auto-increment column that is not an integer gets NOT NULL only.
    const sql_table_clauses text = sql_make_table_clauses(L"t", schema_of({{L"a", VT_BSTR, 10, false, true}}),
                                                          udb_indexes(), nullptr);
    EXPECT_EQ(text.columns[0], L"`a` VARCHAR(10) CHARACTER SET utf8mb4 NOT NULL");
    EXPECT_TRUE(text.indexes.empty());
}

TEST_F(SqlCreateTable, RenamedColumnsAndIndexes)
{
    const udb_schema schema = schema_of({{L"a+b", VT_I4, 4}, {L"c", VT_I4, 4}});
    const udb_indexes indexes = indexes_of({index_of(L"x;y", {L"A+B", L"c"}, false, true), index_of(L"", {L"c"})});
    const sql_table_clauses clauses = sql_make_table_clauses(L"t", schema, indexes, nullptr);
    EXPECT_EQ(clauses.indexes, (std::vector<std::wstring>{L"UNIQUE `x_y` (`a_b`, `c`)", L"INDEX  (`c`)"}));
    expect_server_takes(sql_make_create_table(L"t", clauses, nullptr));
}

// Columns of one kind, named after the group and numbered, and the type the
// server is asked for when the program refuses them.
struct column_group {
    int count;
    col_def column;
    std::wstring type;
};

struct boundary_case {
    const char* what;
    std::vector<column_group> groups;
    const char* refusal;  // the start of the program's words, null when the table fits
    const char* server;   // the server's words for the refused table
    bool long_text = false;  // the statement holds LONGTEXT (one the run chose, or given)
};

class SqlTableBoundaries : public SqlCreateTable {
protected:
    // The program and the server agree: a table the program builds is one
    // the server creates, a table it refuses is one the server refuses.
    void expect_agreement(const boundary_case& c, const std::wstring& storage = L"InnoDB")
    {
        SCOPED_TRACE(c.what);
        udb_schema schema;
        std::wstring raw = L"CREATE TABLE t (";
        for (const column_group& group : c.groups)
            for (int i = 0; i < group.count; ++i) {
                col_def def = group.column;
                // Four digits: the names of a group are of one length.
                def.name += std::to_wstring(10000 + i).substr(1);
                schema.push_back(schema_of({def})[0]);
                raw += (schema.size() > 1 ? L", " : L"") + def.name + L" " + group.type +
                       (def.description.empty() ? L"" : L" COMMENT '" + def.description + L"'");
            }
        raw += L") ENGINE=" + storage;
        if (c.refusal == nullptr) {
            std::wstring sql;
            ASSERT_NO_THROW(sql = statement(schema));
            EXPECT_EQ(sql.find(L"LONGTEXT") != std::wstring::npos, c.long_text);
            expect_server_takes(sql);
            return;
        }
        try {
            statement(schema);
            ADD_FAILURE() << "no refusal";
        } catch (const tk_exception& e) {
            EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
        }
        if (!test_server_settings())
            return;
        test_database db;
        try {
            test_connection(db.name()).execute(tk_to_utf8(raw));
            ADD_FAILURE() << "the server takes it";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.server), std::string::npos) << e.what();
        }
    }
};

constexpr const char* too_wide = "The table 't' is too wide";
constexpr const char* row_too_large = "Row size too large";

col_def typed_column(const wchar_t* name, const wchar_t* type, bool not_null = false)
{
    return {name, VT_BSTR, 255, not_null, false, ole_variant(), 0, type};
}

// A character set of one byte a character keeps 255 characters in 256
// bytes of InnoDB's page: 31 such VARCHAR(255) fit, 32 do not, and VARCHAR
// columns the run typed go off-page instead.
TEST_F(SqlTableBoundaries, SingleByteCharacterSetsCountOneByteACharacter)
{
    for (const wchar_t* char_set : {L"latin1", L"ascii", L"cp1251", L"latin2"}) {
        SCOPED_TRACE(tk_to_utf8(char_set));
        engine.set_char_set(char_set);
        const std::wstring type = std::wstring(L"VARCHAR(255) CHARACTER SET ") + char_set;
        expect_agreement(
            {"31 user-typed VARCHAR(255)", {{31, typed_column(L"c", L"VARCHAR(255)"), type}}, nullptr, ""});
        expect_agreement({"32 user-typed VARCHAR(255)", {{32, typed_column(L"c", L"VARCHAR(255)"), type}}, too_wide,
                          row_too_large});
        expect_agreement({"32 run-typed VARCHAR(255)", {{32, {L"c", VT_BSTR, 255}, type}}, nullptr, "", true});
    }
    // The whole row: two VARCHAR(32765) and their NULL flags make 65,535 bytes.
    engine.set_char_set(L"latin1");
    expect_agreement({"the row's last byte",
                      {{2, typed_column(L"v", L"VARCHAR(32765)"), L"VARCHAR(32765) CHARACTER SET latin1"}},
                      nullptr, ""});
    expect_agreement({"a byte over the row",
                      {{1, typed_column(L"v", L"VARCHAR(32765)"), L"VARCHAR(32765) CHARACTER SET latin1"},
                       {1, typed_column(L"w", L"VARCHAR(32766)"), L"VARCHAR(32766) CHARACTER SET latin1"}},
                      too_wide, row_too_large});
}

// InnoDB keeps a time's fractions of a second in a byte for each two digits:
// beside 380 LONGTEXT columns (21 bytes each in the page), DATETIME(3) takes
// 7 bytes, TIME(3) 5, TIMESTAMP(6) 7.
TEST_F(SqlTableBoundaries, FractionsOfASecondTakeTheirBytes)
{
    const column_group texts{380, {L"t", VT_BSTR, 0}, L"LONGTEXT"};
    col_def datetime{L"d", VT_DATE, 8, false, false, ole_variant(), 1};
    datetime.precision = 3;
    col_def time = datetime;
    time.reserved = 3;
    const col_def timestamp = typed_column(L"d", L"TIMESTAMP(6)");
    expect_agreement({"10 DATETIME(3)", {texts, {10, datetime, L"DATETIME(3)"}}, nullptr, "", true});
    expect_agreement({"11 DATETIME(3)", {texts, {11, datetime, L"DATETIME(3)"}}, too_wide, row_too_large});
    expect_agreement({"14 TIME(3)", {texts, {14, time, L"TIME(3)"}}, nullptr, "", true});
    expect_agreement({"15 TIME(3)", {texts, {15, time, L"TIME(3)"}}, too_wide, row_too_large});
    expect_agreement({"10 TIMESTAMP(6)", {texts, {10, timestamp, L"TIMESTAMP(6) NULL"}}, nullptr, "", true});
    expect_agreement({"11 TIMESTAMP(6)", {texts, {11, timestamp, L"TIMESTAMP(6) NULL"}}, too_wide, row_too_large});
}

// A size beyond 32 bits is no small size: the table is refused, as the
// server refuses it.
TEST_F(SqlTableBoundaries, ATypeWhoseSizeDoesNotFitIsRefused)
{
    expect_agreement({"VARCHAR(4294967297)", {{1, typed_column(L"c", L"VARCHAR(4294967297)"), L"VARCHAR(4294967297)"}},
                      "The column 'c0000' of the table 't' has the type VARCHAR(4294967297)", "out of range"});
}

// The server keeps a table's definition in 65,535 bytes: 290 of its own, 18
// and the name for each column, the comments, and for DEFAULT expressions
// 16, then 6, the name and the expression each.
TEST_F(SqlTableBoundaries, TheDefinitionFitsTheServersLimit)
{
    constexpr const char* too_large = "The table 't' has a definition of";
    constexpr const char* server_words = "Table definition is too large";
    const std::wstring name60(60, L'n');
    const col_def int64{name60, VT_I4, 4};
    expect_agreement({"795 names of 64 characters", {{795, int64, L"INT"}}, nullptr, ""});
    expect_agreement({"796 names of 64 characters", {{796, int64, L"INT"}}, too_large, server_words});
    col_def commented = int64;
    commented.name = std::wstring(60, L'm');
    commented.description = std::wstring(55, L'r');
    expect_agreement(
        {"and a comment of the last 55 bytes", {{794, int64, L"INT"}, {1, commented, L"INT"}}, nullptr, ""});
    commented.description += L"r";
    expect_agreement({"and one of 56", {{794, int64, L"INT"}, {1, commented, L"INT"}}, too_large, server_words});
    // Repeated headers take names of their own as long.
    expect_agreement({"850 repeated headers", {{850, {name60, VT_BSTR, 10}, L"VARCHAR(10)"}}, too_large, server_words});

    engine.set_tab_type(L"MyISAM");
    const col_def today{std::wstring(6, L'd'), VT_DATE, 8, false, false, ole_variant(), 10};
    expect_agreement({"1230 DEFAULT CURRENT_DATE()", {{1230, today, L"DATE DEFAULT CURRENT_DATE()"}}, nullptr, ""},
                     L"MyISAM");
    expect_agreement({"1231 DEFAULT CURRENT_DATE()", {{1231, today, L"DATE DEFAULT CURRENT_DATE()"}}, too_large,
                      server_words},
                     L"MyISAM");
}

// InnoDB keeps under half its page less 66 bytes of a row in the page: the
// limit follows the server's innodb_page_size (tests/SQL/CMakeLists.txt runs
// this test on servers of 4, 8, 32 and 64 KiB pages too). Without a server
// each page size is counted alone.
TEST_F(SqlTableBoundaries, TheRowFitsTheServersPage)
{
    std::vector<uint32_t> pages = {4096, 8192, 16384, 32768, 65536};
    if (const auto s = test_server_settings()) {
        engine.connect(s->host, s->user, s->password, static_cast<int>(s->port));
        pages = {engine.get_innodb_page_size()};
        if (const char* expected = std::getenv("RVL_INNODB_PAGE_SIZE")) {
            EXPECT_EQ(pages[0], std::stoul(expected));
        }
        EXPECT_EQ(tk_to_utf8(std::to_wstring(pages[0])),
                  test_connection().rows("SELECT @@innodb_page_size").at(0).at(0));
    }
    engine.set_char_set(L"latin1");
    for (const uint32_t page : pages) {
        SCOPED_TRACE(page);
        engine.set_innodb_page_size(page);
        const uint32_t limit = page / 2 - 66;
        // 24 bytes of the row's own, CHAR(255) of latin1 255, TINYINT 1.
        const auto row_of = [](uint32_t bytes) {
            const int chars = static_cast<int>((bytes - 24) / 255);
            return std::vector<column_group>{
                {chars, typed_column(L"c", L"CHAR(255)", true), L"CHAR(255) CHARACTER SET latin1 NOT NULL"},
                {static_cast<int>(bytes - 24 - 255 * chars), {L"i", VT_I1, 1, true}, L"TINYINT NOT NULL"}};
        };
        expect_agreement({"a byte under the limit", row_of(limit - 1), nullptr, ""});
        expect_agreement({"at the limit", row_of(limit), too_wide, row_too_large});
        // 1,017 BIGINT columns keep 8,288 bytes in the page.
        const column_group bigints{1017, {L"b", VT_I8, 8}, L"BIGINT"};
        expect_agreement({"1,017 BIGINT", {bigints}, 8288 < limit ? nullptr : too_wide, row_too_large});
    }
}

} // namespace
