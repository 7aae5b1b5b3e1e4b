// Target: a log call below the minimum level costs under 5 ns, since every
// operation logs its entry on per-record paths and both programs keep level 3.
#include "TK/tk_log.hpp"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

void dropped_wlog(benchmark::State& state, bool enabled)
{
    const std::string path = "/tmp/bench_tk_" + std::to_string(::getpid()) + ".log";
    tk_logger logger(path.c_str(), enabled, 3, false);
    const wchar_t* name = L"people";
    int row = 0;
    for (auto _ : state) {
        tk_logger::wlog(2, L"sql_table::append_record(%s, %d, %S)", name, ++row, "x");
        benchmark::ClobberMemory();
    }
    std::remove(path.c_str());
}

void BM_dropped_wlog_logging_off(benchmark::State& state) { dropped_wlog(state, false); }
void BM_dropped_wlog_below_min_level(benchmark::State& state) { dropped_wlog(state, true); }

} // namespace

BENCHMARK(BM_dropped_wlog_logging_off);
BENCHMARK(BM_dropped_wlog_below_min_level);
