// Reading a 1,000,000-row x 10-column .xlsx sheet through the DAO-like
// object model, as the workbook side reads it (a query's recordset, its
// Fields, each Field's Value as a VARIANT, MoveNext), side by side with
// visiting the same cells straight in the column store (both load the sheet
// first). Target: the road through the layer takes no more than 1.25x the
// store's, so the readers' speed reaches the records.
//
// The workbook is generated once into the temporary folder (large, never
// committed): rvl_bench_dao_1m.xlsx.
#include "platform/dao/pl_daoco.hpp"
#include "platform/dao/pl_wbook.hpp"

#include <benchmark/benchmark.h>
#include <zip.h>

#include <filesystem>
#include <list>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

constexpr int rows = 1000000;
constexpr int columns = 10;

std::string sheet_xml()
{
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                      "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData><row>";
    for (int c = 0; c < columns; ++c)
        out += "<c t=\"inlineStr\"><is><t>Col" + std::to_string(c) + "</t></is></c>";
    out += "</row>";
    for (int r = 0; r < rows; ++r) {
        const std::string n = std::to_string(r);
        out += "<row><c><v>" + n + "</v></c><c><v>" + n + ".25</v></c><c t=\"inlineStr\"><is><t>text " + n +
               "</t></is></c><c s=\"1\"><v>" + std::to_string(40000 + r % 10000) + "</v></c><c t=\"b\"><v>" +
               std::to_string(r % 2) + "</v></c>";
        for (int c = 5; c < columns; ++c)
            out += "<c><v>" + std::to_string(r * c) + "</v></c>";
        out += "</row>";
    }
    return out + "</sheetData></worksheet>";
}

// libzip reads the part's text when the archive closes: parts keeps it
// until then, in place.
void add_part(zip_t* z, std::list<std::string>& parts, const char* name, std::string text)
{
    const std::string& kept = parts.emplace_back(std::move(text));
    zip_source_t* src = zip_source_buffer(z, kept.data(), kept.size(), 0);
    if (src == nullptr || zip_file_add(z, name, src, ZIP_FL_OVERWRITE) < 0)
        throw std::runtime_error("cannot add a part to the benchmark workbook");
}

const std::string& bench_file()
{
    static const std::string path = [] {
        const std::string p = (std::filesystem::temp_directory_path() / "rvl_bench_dao_1m.xlsx").string();
        if (std::filesystem::exists(p))
            return p;
        int error = 0;
        zip_t* z = zip_open(p.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        if (z == nullptr)
            throw std::runtime_error("cannot create the benchmark workbook");
        std::list<std::string> parts;
        const std::string main_ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
        const std::string rel_ns = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
        add_part(z, parts, "[Content_Types].xml",
                 "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                 "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>");
        add_part(z, parts, "_rels/.rels",
                 "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                 "<Relationship Id=\"r1\" Type=\"" + rel_ns + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>");
        add_part(z, parts, "xl/workbook.xml",
                 "<workbook xmlns=\"" + main_ns + "\" xmlns:r=\"" + rel_ns + "\"><sheets>"
                 "<sheet name=\"Data\" sheetId=\"1\" r:id=\"s1\"/></sheets></workbook>");
        add_part(z, parts, "xl/_rels/workbook.xml.rels",
                 "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                 "<Relationship Id=\"s1\" Type=\"" + rel_ns + "/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
                 "<Relationship Id=\"st\" Type=\"" + rel_ns + "/styles\" Target=\"styles.xml\"/></Relationships>");
        add_part(z, parts, "xl/styles.xml",
                 "<styleSheet xmlns=\"" + main_ns + "\"><cellXfs count=\"2\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/>"
                 "</cellXfs></styleSheet>");
        add_part(z, parts, "xl/worksheets/sheet1.xml", sheet_xml());
        if (zip_close(z) != 0)
            throw std::runtime_error("cannot write the benchmark workbook");
        return p;
    }();
    return path;
}

struct releaser {
    void operator()(IUnknown* p) const { p->Release(); }
};
template <class T> using held = std::unique_ptr<T, releaser>;

// A VT_BSTR value, freed at the end.
struct ole_text {
    VARIANT v{};
    explicit ole_text(const wchar_t* text)
    {
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocString(text);
    }
    ~ole_text() { VariantClear(&v); }
};

// The values' payloads summed, so nothing is optimised away.
double weigh(const VARIANT& v)
{
    return v.vt == VT_BSTR ? double(SysStringLen(v.bstrVal)) : v.vt == VT_BOOL ? 1.0 : v.dblVal;
}

void BM_column_store_visit(benchmark::State& state)
{
    const std::string& path = bench_file();
    double checksum = 0;
    for (auto _ : state) {
        auto book = platform::dao::workbook::open(path, true);
        const platform::dao::sheet_table& t = book->sheet(0);
        for (size_t r = 0; r < t.row_count(); ++r)
            for (size_t c = 0; c < t.column_count(); ++c) {
                const platform::dao::cell v = t.get(c, r);
                checksum += v.number + double(v.text.size()) + v.boolean;
            }
    }
    benchmark::DoNotOptimize(checksum);
    state.counters["rows/s"] = benchmark::Counter(double(rows) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_dao_layer_records(benchmark::State& state)
{
    const std::wstring path = std::filesystem::path(bench_file()).wstring();
    double checksum = 0;
    ole_text connect(L"Excel 12.0 Xml; IMEX=1;"), name(L""), sql(L"SELECT * FROM [Data$]"), file(path.c_str());
    VARIANT flag{}, type{}, options{};
    flag.vt = VT_BOOL;
    type.vt = options.vt = VT_I2;
    type.iVal = dbOpenDynaset;
    options.iVal = 4;
    for (auto _ : state) {
        DAODBEngine* engine = nullptr;
        DAODatabase* db = nullptr;
        _DAOQueryDef* query = nullptr;
        DAORecordset* rs = nullptr;
        CoCreateInstance(CLSID_DAODBEngine120, nullptr, CLSCTX_ALL, IID_DAODBEngine, reinterpret_cast<void**>(&engine));
        held<DAODBEngine> engine_held(engine);
        engine->OpenDatabase(file.v.bstrVal, flag, flag, connect.v, &db);
        held<DAODatabase> db_held(db);
        if (db == nullptr || FAILED(db->CreateQueryDef(name.v, sql.v, &query))) {
            state.SkipWithError("cannot open the benchmark workbook");
            break;
        }
        held<_DAOQueryDef> query_held(query);
        query->OpenRecordset(type, options, &rs);
        held<DAORecordset> rs_held(rs);
        VARIANT_BOOL eof = VARIANT_FALSE;
        while (SUCCEEDED(rs->get_EOF(&eof)) && eof != VARIANT_TRUE) {
            DAOFields* fields = nullptr;
            int16_t count = 0;
            rs->get_Fields(&fields);
            held<DAOFields> fields_held(fields);
            fields->get_Count(&count);
            for (int16_t i = 0; i < count; ++i) {
                VARIANT index{}, value{};
                index.vt = VT_UI2;
                index.uiVal = uint16_t(i);
                _DAOField* field = nullptr;
                fields->get_Item(index, &field);
                held<_DAOField> field_held(field);
                field->get_Value(&value);
                checksum += weigh(value);
                VariantClear(&value);
            }
            rs->MoveNext();
        }
    }
    benchmark::DoNotOptimize(checksum);
    state.counters["rows/s"] = benchmark::Counter(double(rows) * double(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_column_store_visit)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_dao_layer_records)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_MAIN();
