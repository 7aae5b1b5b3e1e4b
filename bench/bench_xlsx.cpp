// Targets: reading a 1,000,000-row x 10-column .xlsx sheet (numbers, shared
// and inline strings, dates, booleans) into the column store and visiting
// every cell takes no more than 0.5x the floor of a general parser
// (inflating the sheet with libzip and running expat over it with no
// handlers), printed as x_floor from the same run, and peaks under 24 bytes
// per cell plus the text.
//
// The workbook is generated once into the temporary folder (it is large and
// never committed): rvl_bench_1m_v3.xlsx. Run: build-bench/bench/bench_xlsx
// For comparison, Debian's python3-openpyxl reads the same sheet in read-only
// mode (reported, no target here).
#include "platform/dao/pl_wbook.hpp"

#include <benchmark/benchmark.h>
#include <expat.h>
#include <zip.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

constexpr int rows = 1000000;
constexpr int columns = 10;
constexpr const char* sheet_part = "xl/worksheets/sheet1.xml";

std::string workbook_path()
{
    return (std::filesystem::temp_directory_path() / "rvl_bench_1m_v3.xlsx").string();
}

void write_sheet(const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
           "<dimension ref=\"A1:J" << rows + 1 << "\"/><sheetData>";
    out << "<row r=\"1\">";
    for (int c = 0; c < columns; ++c)
        out << "<c r=\"" << char('A' + c) << "1\" t=\"inlineStr\"><is><t>Col" << c << "</t></is></c>";
    out << "</row>";
    char num[32];
    for (int r = 2; r <= rows + 1; ++r) {
        const std::string rs = std::to_string(r);
        out << "<row r=\"" << rs << "\">";
        auto ref = [&](int c) { return char('A' + c) + rs; };
        out << "<c r=\"" << ref(0) << "\"><v>" << r << "</v></c>";
        *std::to_chars(num, num + sizeof num, r * 1.25 + 0.001).ptr = 0;
        out << "<c r=\"" << ref(1) << "\"><v>" << num << "</v></c>";
        out << "<c r=\"" << ref(2) << "\" t=\"s\"><v>" << r % 1000 << "</v></c>";
        out << "<c r=\"" << ref(3) << "\" t=\"inlineStr\"><is><t>inline text " << r << "</t></is></c>";
        out << "<c r=\"" << ref(4) << "\" s=\"1\"><v>" << 40000 + r % 10000 << "</v></c>";
        out << "<c r=\"" << ref(5) << "\" t=\"b\"><v>" << r % 2 << "</v></c>";
        *std::to_chars(num, num + sizeof num, -r / 7.0).ptr = 0;
        out << "<c r=\"" << ref(6) << "\"><v>" << num << "</v></c>";
        out << "<c r=\"" << ref(7) << "\" t=\"s\"><v>" << (r * 7) % 1000 << "</v></c>";
        out << "<c r=\"" << ref(8) << "\" s=\"1\"><v>" << 45000.5 + r % 365 << "</v></c>";
        out << "<c r=\"" << ref(9) << "\"><v>" << r % 97 << "</v></c>";
        out << "</row>";
    }
    out << "</sheetData></worksheet>";
}

void add_text(zip_t* z, const char* name, const std::string& text)
{
    // libzip copies nothing: the text must live until zip_close, so keep it
    static std::vector<std::unique_ptr<std::string>> keep;
    keep.push_back(std::make_unique<std::string>(text));
    zip_source_t* s = zip_source_buffer(z, keep.back()->data(), keep.back()->size(), 0);
    if (s == nullptr || zip_file_add(z, name, s, ZIP_FL_OVERWRITE) < 0)
        throw std::runtime_error("cannot add a part");
}

void generate(const std::string& path)
{
    const std::string sheet_file = path + ".sheet.xml";
    write_sheet(sheet_file);
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (z == nullptr)
        throw std::runtime_error("cannot create " + path);
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    const std::string ct = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
    add_text(z, "[Content_Types].xml",
             "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
             "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
             "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
             "<Override PartName=\"/xl/workbook.xml\" ContentType=\"" + ct + "sheet.main+xml\"/>"
             "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"" + ct + "worksheet+xml\"/>"
             "<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"" + ct + "sharedStrings+xml\"/>"
             "<Override PartName=\"/xl/styles.xml\" ContentType=\"" + ct + "styles+xml\"/></Types>");
    add_text(z, "_rels/.rels", "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                               "<Relationship Id=\"r1\" Type=\"" + rel + "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>");
    add_text(z, "xl/workbook.xml", "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                                   "xmlns:r=\"" + rel.substr(0, rel.size() - 1) + "\"><sheets>"
                                   "<sheet name=\"Data\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>");
    add_text(z, "xl/_rels/workbook.xml.rels",
             "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
             "<Relationship Id=\"rId1\" Type=\"" + rel + "worksheet\" Target=\"worksheets/sheet1.xml\"/>"
             "<Relationship Id=\"rId2\" Type=\"" + rel + "sharedStrings\" Target=\"sharedStrings.xml\"/>"
             "<Relationship Id=\"rId3\" Type=\"" + rel + "styles\" Target=\"styles.xml\"/></Relationships>");
    std::string strings = "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
    for (int i = 0; i < 1000; ++i)
        strings += "<si><t>shared string number " + std::to_string(i) + "</t></si>";
    add_text(z, "xl/sharedStrings.xml", strings + "</sst>");
    add_text(z, "xl/styles.xml", "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                                 "<cellXfs count=\"2\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/></cellXfs></styleSheet>");
    zip_source_t* s = zip_source_file(z, sheet_file.c_str(), 0, -1);
    if (s == nullptr || zip_file_add(z, sheet_part, s, ZIP_FL_OVERWRITE) < 0)
        throw std::runtime_error("cannot add the sheet");
    if (zip_close(z) < 0)
        throw std::runtime_error("cannot write " + path);
    std::filesystem::remove(sheet_file);
}

const std::string& bench_file()
{
    static const std::string path = [] {
        const std::string p = workbook_path();
        if (!std::filesystem::exists(p))
            generate(p);
        return p;
    }();
    return path;
}

long status_kb(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    return 0;
}

// Peak memory from here on: the kernel restarts the high-water mark.
void reset_peak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Wall seconds of one pass of the floor, for the reader's ratio.
double floor_seconds = 0;

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_floor_inflate_and_expat(benchmark::State& state)
{
    const std::string& path = bench_file();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        int error = 0;
        std::unique_ptr<zip_t, decltype(&zip_discard)> z(zip_open(path.c_str(), ZIP_RDONLY, &error), zip_discard);
        std::unique_ptr<zip_file_t, decltype(&zip_fclose)> f(zip_fopen(z.get(), sheet_part, 0), zip_fclose);
        std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> p(XML_ParserCreate(nullptr), XML_ParserFree);
        char block[1 << 16];
        for (zip_int64_t n; (n = zip_fread(f.get(), block, sizeof block)) > 0;)
            XML_Parse(p.get(), block, int(n), 0);
        XML_Parse(p.get(), "", 0, 1);
    }
    floor_seconds = seconds_since(start) / double(state.iterations());
    state.counters["rows/s"] = benchmark::Counter(double(rows) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_reader_into_column_store(benchmark::State& state)
{
    const std::string& path = bench_file();
    double checksum = 0;
    long base_kb = 0, peak_kb = 0;
    size_t text_bytes = 0;
    double read_seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        base_kb = status_kb("VmRSS:");
        reset_peak();
        auto book = platform::dao::workbook::open(path, true);
        const platform::dao::sheet_table& t = book->sheet(0);
        for (size_t r = 0; r < t.row_count(); ++r)
            for (size_t c = 0; c < t.column_count(); ++c) {
                const platform::dao::cell v = t.get(c, r);
                checksum += v.number + double(v.text.size()) + v.boolean;
            }
        read_seconds += seconds_since(start);
        peak_kb = status_kb("VmHWM:");
        text_bytes = 0;
        for (size_t r = 0; r < t.row_count(); ++r)
            for (size_t c : {2, 3, 7})
                text_bytes += t.get(c, r).text.size();
    }
    benchmark::DoNotOptimize(checksum);
    const double cells = double(rows) * columns;
    state.counters["rows/s"] = benchmark::Counter(double(rows) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["peak_bytes/cell"] = double(peak_kb - base_kb) * 1024 / cells;
    state.counters["peak_bytes/cell_less_text"] = (double(peak_kb - base_kb) * 1024 - double(text_bytes)) / cells;
    if (floor_seconds > 0)
        state.counters["x_floor"] = read_seconds / double(state.iterations()) / floor_seconds;
}

// Debian's python3-openpyxl in read-only mode iterating the same sheet's
// values, for comparison; skipped when it is not installed.
void BM_openpyxl_read_only(benchmark::State& state)
{
    const std::string& path = bench_file();
    if (std::system("/usr/bin/python3 -c 'import openpyxl' 2>/dev/null") != 0) {
        state.SkipWithError("python3-openpyxl is not installed");
        return;
    }
    const std::string command = "/usr/bin/python3 -c 'import sys, openpyxl\n"
                                "ws = openpyxl.load_workbook(sys.argv[1], read_only=True).worksheets[0]\n"
                                "n = sum(1 for row in ws.iter_rows(values_only=True) for v in row)\n"
                                "print(n)' " + path + " >/dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("openpyxl failed");
    state.counters["rows/s"] = benchmark::Counter(double(rows) * double(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_openpyxl_read_only)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_floor_inflate_and_expat)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_reader_into_column_store)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_MAIN();
