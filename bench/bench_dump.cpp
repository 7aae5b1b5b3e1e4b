// Target: the dump writer alone turns rows into at least 100 MB/s of SQL
// text. 1,000,000 generated rows of 10 mixed columns (numbers, texts with
// quotes and non-ASCII characters, dates, truth values) are written to a file;
// the counters give rows/s and bytes/s of the file.
#include "SQL/dmp_recs.hpp"
#include "SQL/sql_dump.hpp"
#include "SQL/sql_engi.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_rec.hpp"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int row_count = 1000000;
constexpr int distinct_rows = 1024;  // generated once, appended in turn

udb_schema bench_schema()
{
    struct column {
        const wchar_t* name;
        VARTYPE vt;
        uint32_t size;
        uint32_t reserved;
    };
    const column columns[] = {
        {L"id", VT_I4, 4, 0},        {L"name", VT_BSTR, 40, 0},  {L"city", VT_BSTR, 30, 0},
        {L"quantity", VT_I4, 4, 0},  {L"price", VT_R8, 8, 0},    {L"total", VT_I8, 8, 0},
        {L"sold", VT_DATE, 8, 1},    {L"paid", VT_BOOL, 2, 0},   {L"code", VT_BSTR, 10, 0},
        {L"note", VT_BSTR, 100, 0},
    };
    udb_schema schema;
    for (const column& c : columns)
        schema.push_back(std::make_shared<t_ftd>(c.size, c.name, c.vt, false, false, ole_variant(), c.reserved, L""));
    return schema;
}

std::vector<udb_record> bench_records(const udb_schema& schema)
{
    const wchar_t* const names[] = {L"O'Brien & Sons", L"M\u00fcller GmbH", L"\u6f22\u5b57 Trading", L"Smith"};
    const wchar_t* const cities[] = {L"K\u00f8benhavn", L"Paris", L"S\u00e3o Paulo", L"Back\\slash"};
    std::vector<udb_record> records(distinct_rows);
    for (int i = 0; i < distinct_rows; ++i) {
        const ole_variant values[] = {
            ole_variant(i),
            ole_variant(names[i % 4]),
            ole_variant(cities[i % 4]),
            ole_variant(i % 97),
            ole_variant(19.95 + i),
            ole_variant(static_cast<long long>(i) * 1000003),
            ole_variant(ole_date(std::string("2024-0") + std::to_string(1 + i % 9) + "-1" + std::to_string(i % 10) +
                                 " 12:34:56")),
            ole_variant(i % 2 == 0),
            ole_variant(L"C-" + std::to_wstring(i)),
            ole_variant(L"A note of some length for row " + std::to_wstring(i) + L", with \"quotes\" and a tab\t."),
        };
        for (size_t c = 0; c < schema.size(); ++c)
            records[i].push_back(std::make_unique<udb_field>(schema[c]->name, schema[c]->size, values[c], false, false));
    }
    return records;
}

void BM_dump_rows(benchmark::State& state)
{
    // As both programs run: a log file named, lines below level 3 dropped.
    const std::string log = "/tmp/bench_dump_" + std::to_string(::getpid()) + ".log";
    tk_logger logger(log.c_str(), true, 3, false);
    const std::string path = "/tmp/bench_dump_" + std::to_string(::getpid()) + ".sql";
    const udb_schema schema = bench_schema();
    const std::vector<udb_record> records = bench_records(schema);
    uintmax_t bytes = 0;
    for (auto _ : state) {
        sql_engine engine;
        dmp_database db(tk_to_unicode(path), dump_options());
        {
            const auto rs = db.create_table(L"sales", schema, udb_indexes());
            for (int i = 0; i < row_count; ++i)
                rs->append_record(records[i % distinct_rows]);
        }
        db.close();
        bytes += std::filesystem::file_size(path);
    }
    state.SetItemsProcessed(state.iterations() * row_count);
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    std::remove(path.c_str());
    std::remove(log.c_str());
}

BENCHMARK(BM_dump_rows)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
