// libFuzzer target for the worksheet scanner: the input is the worksheet
// part itself, stored uncompressed in a package whose other parts are fixed,
// so every mutation reaches the scanner.
#include "platform/dao/pl_wbook.hpp"

#include "xlsx_make.hpp"

#include <cstdint>
#include <string>

using namespace platform::dao;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string strings = std::string("<sst xmlns=\"") + xlsx_main_ns + "\"><si><t>s</t></si></sst>";
    try {
        auto book = workbook::open_bytes(xlsx_package(std::string(reinterpret_cast<const char*>(data), size), strings,
                                                      ZIP_CM_STORE),
                                         "fuzz.xlsx", false);
        const sheet_table& t = book->sheet(0);
        for (size_t c = 0; c < t.column_count() && c < 64; ++c)
            for (size_t r = 0; r < t.row_count() && r < 64; ++r)
                t.get(c, r);
    } catch (const read_error&) {
    }
    return 0;
}
