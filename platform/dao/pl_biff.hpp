// Excel 5.0 to 2003 workbooks (.xls): the BIFF5 or BIFF8 workbook stream of a
// compound file. The workbook globals (code page, date system, number
// formats, cell styles, sheet list, shared strings) are read when the file
// opens; a sheet's records when the sheet is loaded.
#pragma once

#include "platform/dao/pl_cpage.hpp"
#include "platform/dao/pl_sheet.hpp"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace platform::dao {

class record_reader;
class record_stream;
struct biff_record;

class biff_reader : public sheet_source {
public:
    // file is the whole compound file; the reader keeps its own copy of the
    // workbook stream. An encrypted workbook raises encrypted_fault.
    biff_reader(std::string_view file, text_pool& pool);
    void load(size_t index, table_builder& out) override;

private:
    struct sheet_state;
    void read_globals();
    void add_format(record_reader& r);
    void add_sheet(record_reader& r);
    void read_strings(record_reader& r);
    std::string text(record_reader& r, bool wide_count) const;
    cell_kind style_kind(uint16_t xf) const;
    [[gnu::always_inline]] void read_record(const biff_record& r, record_stream& rs, sheet_state& s) const;
    void read_formula(record_reader& rd, sheet_state& s) const;

    text_pool& pool;
    std::string stream;
    bool biff8 = true;
    bool date1904 = false;
    codepage_text codepage;
    std::map<uint16_t, cell_kind> formats;  // number format id -> kind, as the workbook defines them
    std::vector<uint16_t> xf_formats;       // cell style -> number format id
    std::vector<size_t> sheet_offsets;
    std::vector<text_ref> shared_strings;
    std::vector<std::string> book_notes;  // told with every sheet
};

} // namespace platform::dao
