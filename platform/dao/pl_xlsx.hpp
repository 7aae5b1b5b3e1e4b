// Office Open XML workbooks (.xlsx, .xlsm): the package's relationships lead
// from the root to the workbook part and from there to the worksheets, the
// shared strings and the styles, wherever the writer put them. Every part is
// streamed: the worksheets through a scanner made for them (pl_sxml), the
// shared strings through a quick reader of plain XML (pl_qxml) that leaves
// what it does not take to expat, the others through expat; nothing but the
// cells' values is kept.
#pragma once

#include "platform/dao/pl_sheet.hpp"
#include "platform/dao/pl_zip.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::dao {

class xlsx_reader : public sheet_source {
public:
    // open makes a package of the file, anew at each call: the shared
    // strings are read with one of their own, on a thread of their own,
    // while the first worksheet loaded is read.
    xlsx_reader(std::function<zip_package()> open, text_pool& pool);
    void load(size_t index, table_builder& out) override;

private:
    // The shared strings in a pool of their own.
    struct strings_read {
        text_pool pool;
        std::vector<text_ref> refs;
    };

    void read_workbook(const std::string& part);
    void read_styles();
    strings_read read_strings() const;
    void keep_strings(strings_read read);
    void read_sheet_with_strings(const std::string& part, table_builder& out);

    std::function<zip_package()> open_package;
    zip_package package;
    text_pool& pool;
    bool date1904 = false;
    std::vector<std::string> sheet_parts;
    std::string strings_part, styles_part;
    bool shared_parts_read = false;
    std::vector<text_ref> shared_strings;
    std::vector<cell_kind> style_kinds;  // number, date or currency, by cell style index
};

// Undoes the _xHHHH_ escapes of OOXML strings ("_x000D_" is a carriage
// return, "_x005F_" a literal underscore).
void decode_xml_escapes(std::string& text);

// Joins a relationship's target to the folder of the part that holds it;
// a target beginning with "/" starts at the package's root.
std::string resolve_target(std::string_view base_folder, std::string_view target);

} // namespace platform::dao
