// Target: each case under 150 ns. The text forms of numbers and the parsing of
// dates run for every cell of a conversion. The logger is there and enabled at
// the programs' minimum level 3, so the per-operation lines are dropped as in
// a real run.
#include "OLE/ole_date.hpp"
#include "OLE/ole_var.hpp"
#include "TK/tk_log.hpp"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

struct quiet_logger {
    std::string path = "/tmp/bench_ole_" + std::to_string(::getpid()) + ".log";
    tk_logger logger{path.c_str(), true, 3, false};
    ~quiet_logger() { std::remove(path.c_str()); }
};

void BM_r8_to_string(benchmark::State& state)
{
    quiet_logger log;
    const ole_variant value(1234.5678);
    for (auto _ : state)
        benchmark::DoNotOptimize(value.to_string());
}

void BM_i4_to_string(benchmark::State& state)
{
    quiet_logger log;
    const ole_variant value(-1234567);
    for (auto _ : state)
        benchmark::DoNotOptimize(value.to_string());
}

void parse_date(benchmark::State& state, const char* text)
{
    quiet_logger log;
    const std::string input(text);
    for (auto _ : state)
        benchmark::DoNotOptimize(ole_date(input));
}

void BM_parse_date_time(benchmark::State& state) { parse_date(state, "2024-01-02 15:30:45"); }
void BM_parse_date(benchmark::State& state) { parse_date(state, "2024-01-02"); }
void BM_parse_not_a_date(benchmark::State& state) { parse_date(state, "Widget, large"); }

} // namespace

BENCHMARK(BM_r8_to_string);
BENCHMARK(BM_i4_to_string);
BENCHMARK(BM_parse_date_time);
BENCHMARK(BM_parse_date);
BENCHMARK(BM_parse_not_a_date);
