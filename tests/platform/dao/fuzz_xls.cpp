// libFuzzer target for the .xls reader: the input is a compound file, read
// as a workbook with every sheet loaded.
#include "platform/dao/pl_wbook.hpp"

#include <cstdint>
#include <string>

using namespace platform::dao;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        auto book = workbook::open_bytes(std::string(reinterpret_cast<const char*>(data), size), "fuzz.xls", true);
        for (size_t i = 0; i < book->sheet_names().size(); ++i)
            book->sheet(i);
    } catch (const read_error&) {
    }
    return 0;
}
