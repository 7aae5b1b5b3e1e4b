// libFuzzer target for the .xlsx reader. An input that starts like a zip is
// read as a whole package; any other input is cut at "\n@@\n" into the parts
// of a small package (root relationships, workbook, its relationships,
// shared strings, styles, sheet), stored uncompressed, so the mutations reach
// the XML handlers instead of dying in the inflater.
#include "platform/dao/pl_wbook.hpp"

#include <zip.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

using namespace platform::dao;

namespace {

const char* const part_names[] = {"_rels/.rels", "xl/workbook.xml", "xl/_rels/workbook.xml.rels",
                                  "xl/sharedStrings.xml", "xl/styles.xml", "xl/worksheets/sheet1.xml"};

std::string package_of(std::string_view input)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_source_keep(buffer);
    zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    std::string out;
    if (archive != nullptr) {
        for (const char* name : part_names) {
            const size_t cut = input.find("\n@@\n");
            const std::string_view part = input.substr(0, cut);
            input = cut == input.npos ? std::string_view() : input.substr(cut + 4);
            zip_source_t* s = zip_source_buffer(archive, part.data(), part.size(), 0);
            const zip_int64_t index = zip_file_add(archive, name, s, ZIP_FL_OVERWRITE);
            if (index < 0)
                zip_source_free(s);
            else
                zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_STORE, 0);
        }
        if (zip_close(archive) < 0)
            zip_discard(archive);
        else if (zip_source_open(buffer) == 0) {
            char block[4096];
            for (zip_int64_t n; (n = zip_source_read(buffer, block, sizeof block)) > 0;)
                out.append(block, size_t(n));
            zip_source_close(buffer);
        }
    }
    zip_source_free(buffer);
    zip_error_fini(&error);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string bytes = input.starts_with("PK") ? std::string(input) : package_of(input);
    try {
        auto book = workbook::open_bytes(std::move(bytes), "fuzz.xlsx", true);
        for (size_t i = 0; i < book->sheet_names().size(); ++i)
            book->sheet(i);
    } catch (const read_error&) {
    }
    return 0;
}
