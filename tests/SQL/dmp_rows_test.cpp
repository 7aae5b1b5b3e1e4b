// The rows of a dump: multi-row statements and where they end, the switch to
// one statement per row, records that do not match the table, and values
// streamed in pieces.
#include "dmp_help.hpp"

#include "TK/tk_excep.hpp"

namespace {

class DumpRows : public ::testing::Test {
protected:
    DumpRows()
    {
        dump_options options;
        options.b_ins_comments = false;
        options.b_lock_write = false;
        db = engine.create_dump(tk_to_unicode(path), options);
    }

    // The statements after the table's CREATE TABLE.
    std::string rows_written()
    {
        db->close();
        const std::string text = test_dir::read(path);
        const std::string end = ") ENGINE=InnoDB;\r\n";
        return text.substr(text.find(end) + end.size());
    }

    sql_engine engine;
    test_dir dir;
    std::string path = dir.file("rows.sql");
    std::unique_ptr<dmp_database> db;
    const udb_schema ab = dmp_schema({{L"a", VT_I4, 4}, {L"b", VT_I4, 4}});
    const udb_schema it = dmp_schema({{L"id", VT_I4, 4}, {L"t", VT_BSTR, 0}});
};

// The pending statement reaches the file only when the recordset goes: a
// statement written in between comes before it.
TEST_F(DumpRows, SmallRowsGatherIntoOneStatement)
{
    auto rs = db->create_table(L"t", ab, udb_indexes());
    for (int i = 0; i < 3; ++i)
        rs->append_record(dmp_record(ab, {2 * i + 1, 2 * i + 2}));
    db->query(L"ALTER TABLE `t` MODIFY `a` BIGINT");
    rs.reset();
    EXPECT_EQ(rows_written(), "ALTER TABLE `t` MODIFY `a` BIGINT;\r\n"
                              "INSERT INTO `t`(`a`, `b`) VALUES(1, 2), (3, 4), (5, 6);\r\n");
}

TEST_F(DumpRows, AStatementEndsRightAfterTheRowThatPassesTheLimit)
{
    {
        const auto rs = db->create_table(L"t", it, udb_indexes());
        for (int i = 0; i < 6; ++i)
            rs->append_record(dmp_record(it, {i, std::wstring(300000, L'x')}));
    }
    const std::string text = rows_written();
    const std::string head = "INSERT INTO `t`(`id`, `t`) VALUES(";
    ASSERT_EQ(dmp_count(text, head), 2u);
    const std::string first = text.substr(0, text.find(";\r\n"));
    EXPECT_EQ(dmp_count(first, "'), ("), 3u);  // four rows: the fourth made it longer than 1,000,000 bytes
    EXPECT_EQ(text.find(";\r\n" + head + "4, '"), first.size());
    EXPECT_TRUE(engine.is_fast_insert());
}

// A row of exactly 1,000,000 bytes is still gathered; one byte more ends the
// pending statement and every later row, of any table, goes alone.
TEST_F(DumpRows, ARowOverTheLimitEndsFastInsertion)
{
    {
        const auto rs = db->create_table(L"t", it, udb_indexes());
        rs->append_record(dmp_record(it, {1, std::wstring(999996, L'a')}));
        EXPECT_TRUE(engine.is_fast_insert());
        rs->append_record(dmp_record(it, {2, std::wstring(999997, L'b')}));
        EXPECT_FALSE(engine.is_fast_insert());
        rs->append_record(dmp_record(it, {3, L"c"}));
    }
    {
        const auto rs = db->create_table(L"u", ab, udb_indexes());
        rs->append_record(dmp_record(ab, {4, 5}));
    }
    const std::string text = rows_written();
    EXPECT_EQ(text.substr(0, 38), "INSERT INTO `t`(`id`, `t`) VALUES(1, '");
    const std::string second = "');\r\nINSERT INTO `t`(`id`, `t`) \nVALUES (2, 'bbb";
    EXPECT_EQ(text.find(second), 38 + 999996u);
    EXPECT_NE(text.find("');\r\nINSERT INTO `t`(`id`, `t`) \nVALUES (3, 'c');\r\n"), std::string::npos);
    EXPECT_NE(text.find("INSERT INTO `u`(`a`, `b`) \nVALUES (4, 5);\r\n"), std::string::npos);
}

TEST_F(DumpRows, RecordsThatLackAColumn)
{
    const udb_schema a_only = dmp_schema({{L"a", VT_I4, 4}});
    {
        // The first row of a statement decides its columns.
        const auto rs = db->create_table(L"t", ab, udb_indexes());
        rs->append_record(dmp_record(a_only, {1}));
        rs->append_record(dmp_record(ab, {2, 3}));
    }
    {
        const auto rs = db->create_table(L"u", ab, udb_indexes());
        rs->append_record(dmp_record(ab, {4, 5}));
        try {
            rs->append_record(dmp_record(a_only, {6}));
            FAIL() << "no exception";
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.get_level(), 0);
            EXPECT_EQ(e.get_message().rfind("Generic error occurred while migrating the data.", 0), 0u);
        }
        rs->append_record(dmp_record(ab, {7, 8}));
    }
    {
        // A later row's fields in another order still go to their columns.
        const udb_schema ba = dmp_schema({{L"b", VT_I4, 4}, {L"a", VT_I4, 4}});
        const auto rs = db->create_table(L"v", ab, udb_indexes());
        rs->append_record(dmp_record(ab, {1, 2}));
        rs->append_record(dmp_record(ba, {3, 4}));
    }
    const std::string text = rows_written();
    EXPECT_NE(text.find("INSERT INTO `t`(`a`) VALUES(1), (2);\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("INSERT INTO `v`(`a`, `b`) VALUES(1, 2), (4, 3);\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("INSERT INTO `u`(`a`, `b`) VALUES(4, 5), (7, 8);\r\n"), std::string::npos) << text;
}

// The fields a record has go to the columns of their names, in the record's
// order; a field no column takes is a structure failure.
TEST_F(DumpRows, OneRowStatementsMatchFieldsByName)
{
    engine.clear_fast_insert();
    const udb_schema abc = dmp_schema({{L"a", VT_I4, 4}, {L"b", VT_I4, 4}, {L"c", VT_I4, 4}});
    const udb_schema ca = dmp_schema({{L"c", VT_I4, 4}, {L"a", VT_I4, 4}});
    const udb_schema xy = dmp_schema({{L"x", VT_I4, 4}, {L"a", VT_I4, 4}});
    {
        const auto rs = db->create_table(L"t", abc, udb_indexes());
        rs->append_record(dmp_record(ca, {1, 2}));
        EXPECT_THROW(rs->append_record(dmp_record(xy, {3, 4})), tk_exception);
        rs->append_record(dmp_record(abc, {5, 6, 7}));
    }
    EXPECT_EQ(rows_written(), "INSERT INTO `t`(`c`, `a`) \nVALUES (1, 2);\r\n"
                              "INSERT INTO `t`(`a`, `b`, `c`) \nVALUES (5, 6, 7);\r\n");
}

// Values over 1 MiB are written in pieces: binary as one hexadecimal literal,
// text as one escaped string.
TEST_F(DumpRows, LargeValuesAreStreamed)
{
    std::string bytes(2 * 1048576 + 3, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i % 251);
    std::wstring text(1048577, L'\'');
    text[0] = L'\u00e9';
    const udb_schema ib = dmp_schema({{L"id", VT_I4, 4}, {L"b", ole_vt_bytes, 0}, {L"t", VT_BSTR, 0}});
    {
        const auto rs = db->create_table(L"t", ib, udb_indexes());
        rs->append_record(dmp_record(ib, {1, dmp_bytes(bytes), text}));
    }
    EXPECT_EQ(rows_written(), "INSERT INTO `t`(`id`, `b`, `t`) \nVALUES (1, 0x" + dmp_hex(bytes) + ", '\xc3\xa9" +
                                  [] {
                                      std::string quotes;
                                      for (int i = 0; i < 1048576; ++i)
                                          quotes += "\\'";
                                      return quotes;
                                  }() + "');\r\n");
}

} // namespace
