// Rows into a server table: gathered statements and their boundaries, the
// explicit flush, refused rows, IGNORE against REPLACE, the one-row path
// after a large row and the prepared statement for long values.
#include "SQL/sql_exc.hpp"
#include "SQL/sql_tab.hpp"
#include "TK/tk_log.hpp"
#include "sql_server.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

namespace {

class SqlTableRows : public server_fixture {
protected:
    std::unique_ptr<sql_table> open_table(const std::string& create, const wchar_t* name = L"t")
    {
        look().execute(create);
        open(database ? database->mode : 2);
        auto table = database->get_table(name, 2);
        return std::unique_ptr<sql_table>(static_cast<sql_table*>(table.release()));
    }
    std::string count(const char* table = "t") const { return scalar(std::string("SELECT COUNT(*) FROM ") + table); }
};

std::wstring text_of(int row, size_t width)
{
    std::wstring text = L"row " + std::to_wstring(row) + L" \u00e9\u20ac'\\\"";
    text.resize(width, L'x');
    return text;
}

TEST_F(SqlTableRows, EveryRowArrivesAcrossBatchesAndFieldCountChanges)
{
    auto table = open_table("CREATE TABLE t (id INT PRIMARY KEY, txt VARCHAR(300), n INT)");
    const int rows = 12000;  // about 3.6 MB of values: several gathered statements
    for (int i = 1; i <= rows; ++i) {
        // A run of records without the last field in the middle: they name
        // their own columns and start a statement of their own.
        if (i > 5000 && i <= 5050)
            table->append_record(make_record({{L"id", i}, {L"txt", text_of(i, 300)}}));
        else
            table->append_record(make_record({{L"id", i}, {L"txt", text_of(i, 300)}, {L"n", i * 2}}));
    }
    EXPECT_EQ(table->row_count, rows);
    table->flush();
    EXPECT_EQ(count(), std::to_string(rows));
    EXPECT_EQ(scalar("SELECT SUM(id) FROM t"), std::to_string(static_cast<long long>(rows) * (rows + 1) / 2));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM t WHERE n IS NULL"), "50");
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM t WHERE n = 2 * id"), std::to_string(rows - 50));
    EXPECT_EQ(scalar("SELECT txt FROM t WHERE id = 7777"), utf8(text_of(7777, 300)));
}

TEST_F(SqlTableRows, GatheredRowsWaitForTheFlushOrTheDestructor)
{
    auto table = open_table("CREATE TABLE t (id INT, txt TEXT)");
    for (int i = 0; i < 10; ++i)
        table->append_record(make_record({{L"id", i}, {L"txt", L"a"}}));
    EXPECT_EQ(count(), "0");
    table->flush();
    EXPECT_EQ(count(), "10");
    table->flush();  // nothing pending: nothing sent
    EXPECT_EQ(count(), "10");
    table->append_record(make_record({{L"id", 10}, {L"txt", L"b"}}));
    table.reset();
    EXPECT_EQ(count(), "11");
}

TEST_F(SqlTableRows, TheDestructorOnlyLogsAFailedSend)
{
    test_dir dir;
    const std::string log_file = dir.file("run.log");
    tk_logger logger(log_file.c_str(), false, 3, false);
    logger.set_enabled(true);
    auto table = open_table("CREATE TABLE t (id INT)");
    table->append_record(make_record({{L"id", 1}}));
    look().execute("DROP TABLE t");
    EXPECT_NO_THROW(table.reset());
    EXPECT_NE(test_dir::read(log_file).find("Table 't': ERROR '"), std::string::npos);
}

TEST_F(SqlTableRows, ARefusedGatheredStatementIsSentAgainRowByRow)
{
    auto table = open_table("CREATE TABLE t (id INT PRIMARY KEY, txt VARCHAR(10))");
    look().execute("CREATE TRIGGER refuse BEFORE INSERT ON t FOR EACH ROW IF NEW.txt = 'bad' THEN "
                   "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused row'; END IF");
    const wchar_t* texts[] = {L"ok", L"bad", L"ok", L"bad", L"ok"};
    for (int i = 0; i < 5; ++i)
        table->append_record(make_record({{L"id", i + 1}, {L"txt", texts[i]}}));
    try {
        table->flush();
        FAIL() << "refused rows not reported";
    } catch (const sql_exception& e) {
        EXPECT_EQ(e.get_level(), 0);
        EXPECT_EQ(e.get_code(), 0x400000u + 1644u);
        EXPECT_EQ(e.get_message(), "2 of 5 rows were refused by the server:\nrecord #2: refused row\n"
                                   "record #4: refused row");
    }
    EXPECT_EQ(scalar("SELECT GROUP_CONCAT(id ORDER BY id) FROM t"), "1,3,5");
}

TEST_F(SqlTableRows, RowsRefusedWhileARowIsAppendedAreReportedAndTheRowStays)
{
    auto table = open_table("CREATE TABLE t (id INT, txt VARCHAR(10))");
    look().execute("CREATE TRIGGER refuse BEFORE INSERT ON t FOR EACH ROW IF NEW.txt = 'bad' THEN "
                   "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused row'; END IF");
    // The field the table lacks is told of once, with the first row.
    EXPECT_THROW(table->append_record(make_record({{L"id", 1}, {L"txt", L"bad"}, {L"x", 0}})), sql_batch_report);
    table->append_record(make_record({{L"id", 2}, {L"txt", L"ok"}, {L"x", 0}}));
    // Another field count sends what is gathered, without waiting for the
    // answer; the next send takes it, and its append reports the refusal.
    table->append_record(make_record({{L"id", 3}, {L"txt", L"ok"}}));
    try {
        table->append_record(make_record({{L"id", 4}, {L"txt", L"ok"}, {L"x", 0}}));
        FAIL() << "refusal not reported";
    } catch (const sql_exception& e) {
        EXPECT_EQ(e.get_message(), "1 of 2 rows were refused by the server:\nrecord #1: refused row");
    }
    EXPECT_EQ(table->row_count, 4);
    table->flush();
    EXPECT_EQ(scalar("SELECT GROUP_CONCAT(id ORDER BY id) FROM t"), "2,3,4");
}

TEST_F(SqlTableRows, AStatementBetweenBatchesLeavesTheRefusalToTheTable)
{
    auto table = open_table("CREATE TABLE t (id INT, txt VARCHAR(10))");
    look().execute("CREATE TRIGGER refuse BEFORE INSERT ON t FOR EACH ROW IF NEW.txt = 'bad' THEN "
                   "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused row'; END IF");
    EXPECT_THROW(table->append_record(make_record({{L"id", 1}, {L"txt", L"bad"}, {L"x", 0}})), sql_batch_report);
    table->append_record(make_record({{L"id", 2}, {L"txt", L"ok"}}));  // sends the first batch
    // Another statement on the connection (the widening of a column, say)
    // takes the batch's answer first and runs normally.
    EXPECT_EQ(database->query(L"ALTER TABLE t MODIFY txt VARCHAR(20)"), nullptr);
    EXPECT_EQ(scalar("SELECT CHARACTER_MAXIMUM_LENGTH FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = "
                     "DATABASE() AND TABLE_NAME = 't' AND COLUMN_NAME = 'txt'"),
              "20");
    try {
        table->flush();
        FAIL() << "refusal lost";
    } catch (const sql_exception& e) {
        EXPECT_EQ(e.get_message(), "1 of 1 rows were refused by the server:\nrecord #1: refused row");
    }
    EXPECT_EQ(scalar("SELECT GROUP_CONCAT(id ORDER BY id) FROM t"), "2");
}

// Warnings of a gathered statement: values the server changed are one report
// naming their records (numbered past a record that failed), duplicate keys
// are only counted.
TEST_F(SqlTableRows, ValuesTheServerChangedAreReportedWithTheirRecords)
{
    auto table = open_table("CREATE TABLE t (id INT PRIMARY KEY, n TINYINT)");
    look().execute("INSERT INTO t VALUES (1, 0)");
    table->append_record(make_record({{L"id", 1}, {L"n", 5}}));
    table->append_record(make_record({{L"id", 2}, {L"n", 300}}));
    EXPECT_THROW(table->append_record(make_record({{L"nope", 3}})), tk_exception);
    table->append_record(make_record({{L"id", 4}, {L"n", -999}}));
    try {
        table->flush();
        FAIL() << "changed values not reported";
    } catch (const sql_batch_report& e) {
        EXPECT_EQ(e.get_level(), 0);
        EXPECT_EQ(e.get_message(), "2 values were changed by the server:\n"
                                   "record #2: Out of range value for column 'n'\n"
                                   "record #4: Out of range value for column 'n'");
    }
    const sql_table::skipped_rows skipped = table->take_duplicates();
    EXPECT_EQ(skipped.count, 1u);
    EXPECT_NE(skipped.first.find("Duplicate entry '1'"), std::string::npos) << skipped.first;
    EXPECT_EQ(table->take_duplicates().count, 0u);
    EXPECT_EQ(scalar("SELECT GROUP_CONCAT(n ORDER BY id) FROM t"), "0,127,-128");
}

TEST_F(SqlTableRows, ATableDroppedUnderTheCopyEndsIt)
{
    auto table = open_table("CREATE TABLE t (id INT)");
    table->append_record(make_record({{L"id", 1}}));
    look().execute("DROP TABLE t");
    try {
        table->flush();
        FAIL() << "the lost rows were not reported";
    } catch (const sql_exception&) {
        FAIL() << "reported as a refusal of single rows";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 0);
        EXPECT_NE(e.get_message().find("the table was dropped while it was written; the rows from record #1 on "
                                       "were not written."),
                  std::string::npos)
            << e.get_message();
    }
}

TEST_F(SqlTableRows, GatheredRowsIgnoreDuplicatesUnlessTheDatabaseReplaces)
{
    auto table = open_table("CREATE TABLE t (id INT PRIMARY KEY, txt VARCHAR(10))");
    look().execute("INSERT INTO t VALUES (1, 'old')");
    table->append_record(make_record({{L"id", 1}, {L"txt", L"new"}}));
    table->append_record(make_record({{L"id", 2}, {L"txt", L"two"}}));
    table->flush();
    EXPECT_EQ(scalar("SELECT GROUP_CONCAT(txt ORDER BY id) FROM t"), "old,two");

    open(2 | udb_database::mode_replace);
    table.reset(static_cast<sql_table*>(database->get_table(L"t", 8).release()));
    table->append_record(make_record({{L"id", 1}, {L"txt", L"new"}}));
    table->flush();
    EXPECT_EQ(scalar("SELECT GROUP_CONCAT(txt ORDER BY id) FROM t"), "new,two");
}

// A statement that fails keeps nothing in a transactional table and the rows
// before the failing one in a table without transactions; either way each
// row is there once, and the count of rows taken is the table's.
TEST_F(SqlTableRows, AFailedStatementIsSentAgainFromTheRowTheTableDidNotKeep)
{
    for (const char* engine : {"InnoDB", "MEMORY", "MyISAM"}) {
        SCOPED_TRACE(engine);
        look().execute("DROP TABLE IF EXISTS t");
        look().execute(std::string("CREATE TABLE t (id INT PRIMARY KEY, txt VARCHAR(10)) ENGINE=") + engine);
        auto table = open_table("INSERT INTO t VALUES (3, 'old')");
        for (int i = 1; i <= 5; ++i)
            table->append_record(make_record({{L"id", i}, {L"txt", L"new"}}));
        table->flush();
        EXPECT_EQ(scalar("SELECT GROUP_CONCAT(id, txt ORDER BY id) FROM t"), "1new,2new,3old,4new,5new");
        EXPECT_EQ(table->rows_taken(), 4u);
        const sql_table::skipped_rows skipped = table->take_duplicates();
        EXPECT_EQ(skipped.count, 1u);
        EXPECT_NE(skipped.first.find("Duplicate entry '3'"), std::string::npos) << skipped.first;
    }
}

TEST_F(SqlTableRows, AfterALargeRowEveryRowGoesAloneThroughTheSlowPath)
{
    auto table = open_table("CREATE TABLE t (id INT PRIMARY KEY, txt LONGTEXT)");
    for (int i = 1; i <= 3; ++i)
        table->append_record(make_record({{L"id", i}, {L"txt", L"small"}}));
    const std::wstring large(1200000, L'\u00e9');  // over 1 MiB: long data
    table->append_record(make_record({{L"id", 4}, {L"txt", large}}));
    EXPECT_FALSE(server.engine.is_fast_insert());
    EXPECT_EQ(count(), "4");  // what was gathered went first
    table->append_record(make_record({{L"id", 5}, {L"txt", L"after"}}));
    EXPECT_EQ(count(), "5");  // sent at once
    EXPECT_EQ(scalar("SELECT CHAR_LENGTH(txt) FROM t WHERE id = 4"), "1200000");
    EXPECT_EQ(scalar("SELECT txt FROM t WHERE id = 4"), utf8(large));
    // One row a statement: a duplicate is the server's refusal, not skipped.
    try {
        table->append_record(make_record({{L"id", 5}, {L"txt", L"again"}}));
        FAIL() << "duplicate accepted";
    } catch (const sql_exception& e) {
        EXPECT_EQ(e.get_code(), 0x400000u + 1062u);
    }
    EXPECT_EQ(table->row_count, 5);
}

TEST_F(SqlTableRows, LongValuesGoAsTheirOwnBytesThroughThePreparedStatement)
{
    auto table = open_table("CREATE TABLE t (id INT, txt LONGTEXT, bin LONGBLOB)");
    std::wstring text;
    for (size_t i = 0; text.size() < 1500000; ++i)
        text += i % 3 == 0 ? L"\u20ac" : (i % 3 == 1 ? L"\U0001F600" : L"a\u00e9'\\");
    std::vector<unsigned char> bytes(1300000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i * 7 % 256);
    table->append_record(make_record({{L"id", 1}, {L"txt", text}, {L"bin", bytes}}));
    // A row over 1,000,000 whose fields are each under 1 MiB: the same
    // statement with no placeholder.
    const std::wstring half(600000, L'z');
    table->append_record(make_record({{L"id", 2}, {L"txt", half}, {L"bin", half}}));
    const auto rows = look().rows("SELECT id, txt, bin FROM t ORDER BY id");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1], utf8(text));
    EXPECT_EQ(rows[0][2], std::string(bytes.begin(), bytes.end()));
    EXPECT_EQ(rows[1][1], utf8(half));
    EXPECT_EQ(rows[1][2], utf8(half));
}

TEST_F(SqlTableRows, ValuesArriveWholeWhateverTheirCharacters)
{
    auto table = open_table("CREATE TABLE t (id INT, txt TEXT, bin BLOB)");
    // (A cell's text ends at its first NUL; binary values keep theirs.)
    const std::wstring nasty = L"a'b\\c\"d\r\n\x1a\t\U0001F600 end";
    const std::vector<unsigned char> bytes = {0, 1, 0x27, 0x5c, 0xff, 0};
    table->append_record(make_record({{L"id", 1}, {L"txt", nasty}, {L"bin", bytes}}));
    table->flush();
    const auto rows = look().rows("SELECT txt, bin FROM t");
    EXPECT_EQ(rows.at(0).at(0), utf8(nasty));
    EXPECT_EQ(rows.at(0).at(1), std::string(bytes.begin(), bytes.end()));
}

TEST_F(SqlTableRows, ARowLargerThanTheServerTakesIsRefusedBeforeSending)
{
    auto table = open_table("CREATE TABLE t (id INT, txt LONGTEXT)");
    const uint32_t packet = server.engine.get_max_allowed_packet();
    ASSERT_GT(packet, 0u);
    table->append_record(make_record({{L"id", 1}, {L"txt", L"small"}}));
    try {
        table->append_record(make_record({{L"id", 2}, {L"txt", std::wstring(packet + 10, L'q')}}));
        FAIL() << "row over max_allowed_packet accepted";
    } catch (const tk_exception& e) {
        EXPECT_STREQ(e.what(), "Row size exceeds 'max_allowed_packet': record #2 of the table 't' is not converted.");
        EXPECT_EQ(e.get_level(), 0);
    }
    EXPECT_EQ(count(), "1");
    EXPECT_EQ(table->row_count, 1);
}

// A record of none of the table's columns is refused; of a record with some
// of them, those are written, the others told of once, and the columns the
// record lacks take their defaults.
TEST_F(SqlTableRows, ARecordThatDoesNotFitTheTableIsRefused)
{
    auto table = open_table("CREATE TABLE t (id INT, txt TEXT)");
    try {
        table->append_record(make_record({{L"nope", 1}}));
        ADD_FAILURE() << "record written";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 0);
        EXPECT_NE(std::string(e.what()).find("does not conform to the destination table"), std::string::npos);
    }
    for (const auto& record : {make_record({{L"id", 1}, {L"other", L"x"}}),
                               make_record({{L"extra", 9}, {L"TXT", L"kept"}, {L"id", 3}})}) {
        try {
            table->append_record(record);
            ADD_FAILURE() << "field left out in silence";
        } catch (const sql_batch_report& e) {
            EXPECT_EQ(e.get_message().substr(0, 41), "The table 't' has no column for the field");
        }
    }
    table->append_record(make_record({{L"extra", 8}, {L"TXT", L"again"}, {L"id", 4}}));
    table->flush();
    EXPECT_EQ(scalar("SELECT GROUP_CONCAT(CONCAT(id, ':', IFNULL(txt, '-')) ORDER BY id) FROM t"),
              "1:-,3:kept,4:again");
}

} // namespace
