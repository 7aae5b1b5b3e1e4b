// Target: the CSV reader reads a 100 MB file (1M rows of 10 columns, some
// fields quoted with delimiters and line breaks inside) at 150 MB/s or more,
// handing out every record as the conversion reads it (is_eof, get_item,
// next), with a peak memory under 50 MB that does not grow with the file.
// The file is generated in /tmp for the run and removed afterwards.
#include "common/csv_util.hpp"

#include "TK/tk_log.hpp"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// Rows of ten columns, about 100 bytes each: numbers, words, a date, and
// every seventh row a quoted field holding the delimiter, a doubled quote
// and a line break.
void generate(const std::string& path, int rows)
{
    std::ofstream out(path, std::ios::binary);
    out << "id,name,city,amount,date,code,flag,note,qty,tail\n";
    std::string line;
    for (int i = 0; i < rows; ++i) {
        line.clear();
        for (const std::string& piece :
             {std::to_string(i), std::string(",customer"), std::to_string(i % 977), std::string(",Springfield,"),
              std::to_string(i % 10007), std::string("."), std::to_string(i % 100), std::string(",2024-05-"),
              std::to_string(10 + i % 19), std::string(" 12:30:00,C"), std::to_string(i % 5003),
              std::string(i % 2 ? ",yes," : ",no,"),
              std::string(i % 7 == 0 ? "\"quoted, with \"\"marks\"\"\nand a second line\"" : "plain note text here"),
              std::string(","), std::to_string(i % 313), std::string(",end of row\n")})
            line += piece;
        out << line;
    }
}

// The process's peak resident memory since the last reset, in bytes.
int64_t peak_memory()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            int64_t kb = 0;
            status >> kb;
            return kb * 1024;
        }
        status.ignore(1 << 16, '\n');
    }
    return 0;
}

void reset_peak_memory()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_csv_read(benchmark::State& state)
{
    const int rows = static_cast<int>(state.range(0));
    const std::string path = "/tmp/bench_csv_" + std::to_string(::getpid()) + ".csv";
    generate(path, rows);
    const std::wstring wide_path(path.begin(), path.end());
    int64_t bytes = 0;
    int64_t fields = 0;
    reset_peak_memory();
    for (auto _ : state) {
        csv_file file(wide_path, L",", true);
        for (; !file.is_eof(); file.next())
            fields += static_cast<int64_t>(file.get_item()->size());
        bytes += file.get_file_size();
    }
    state.SetBytesProcessed(bytes);
    state.counters["file_MB"] = static_cast<double>(bytes) / state.iterations() / 1e6;
    state.counters["fields"] = static_cast<double>(fields) / state.iterations();
    state.counters["peak_MB"] = static_cast<double>(peak_memory()) / 1e6;
    std::remove(path.c_str());
}

// 100,000 rows (about 10 MB) and 1,000,000 rows (about 100 MB): the peak
// memory must be the same for both.
BENCHMARK(BM_csv_read)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
