// Worksheet parts, which hold most of a workbook's bytes, are read by a
// small XML scanner made for them: it reads the inflated part straight into
// a buffer of its own and takes rows, cells, values and inline strings in
// place, where a general parser copies and converts every name, attribute
// and piece of text it meets and calls back for each.
//
// It takes what worksheets hold: elements with attributes, character data
// with the five predefined entities and character references, CDATA
// sections, comments and processing instructions, in UTF-8. Like the
// general parser it refuses, as format_fault, a document type declaration
// (and so any other entity), tags that do not nest, text outside the root,
// and kept text that is no valid UTF-8 or holds characters XML does not
// allow. A worksheet declared in another encoding is refused by name.
#pragma once

#include "platform/dao/pl_table.hpp"
#include "platform/dao/pl_zip.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::dao {

// What a worksheet's cells refer to: by cell style, whether a number is a
// date, a currency amount or a plain number. Shared strings are added by
// their index (table_builder::add_shared).
struct sheet_context {
    const std::vector<cell_kind>& styles;
};

// Reads the worksheet part into out; failures name the part.
void read_sheet(const zip_package& package, const std::string& part, const sheet_context& context, table_builder& out);

// A decimal index ("style index", "number format"...), else format_fault.
uint32_t parse_index(std::string_view text, const char* what);

// The length of the UTF-8 sequence at s (of n bytes) of a character XML
// allows, or 0.
size_t xml_char_length(const unsigned char* s, size_t n);

} // namespace platform::dao
