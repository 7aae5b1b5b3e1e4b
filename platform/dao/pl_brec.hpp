// The record layer of BIFF5 and BIFF8 workbook streams: records one after
// another, and a reader over a record and the CONTINUE records that carry on
// its data. Every read is checked against the record's end: a record that
// claims bytes the stream does not have is a format_fault.
#pragma once

#include "platform/dao/pl_cpage.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::dao {

struct biff_record {
    uint16_t type = 0;
    std::string_view data;
};

class record_stream {
public:
    explicit record_stream(std::string_view stream, size_t offset = 0) : stream(stream), pos(offset) {}
    // False at the stream's end.
    bool next(biff_record& out);
    // The data of the CONTINUE records that follow, consumed.
    std::vector<std::string_view> continues();

private:
    std::string_view stream;
    size_t pos;
};

// Reads a record's data, moving into the data of its CONTINUE records.
class record_reader {
public:
    explicit record_reader(std::string_view data) : parts{data} {}
    explicit record_reader(std::vector<std::string_view> parts) : parts(std::move(parts)) {}

    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    double f64();
    void skip(size_t n);
    bool at_end();

    // A BIFF8 text: a count of characters (one or two bytes wide), an option
    // byte, then the characters, one or two bytes each; a CONTINUE record
    // met before the last character starts with a new option byte, also
    // when it comes right after the text's header.
    std::string unicode_text(bool wide_count);
    // A BIFF5 text: a count of bytes, then the bytes in the code page.
    std::string byte_text(bool wide_count, const codepage_text& codepage);
    // The same for a text that may declare more characters than its record
    // holds: it ends where the record ends (a character cut in two is left
    // out), and missing counts the characters it lacks. What may follow the
    // characters in the record is not read.
    std::string unicode_text_upto_end(bool wide_count, size_t& missing);
    std::string byte_text_upto_end(bool wide_count, const codepage_text& codepage, size_t& missing);

private:
    bool fill();  // steps to the next part when this one is used up
    std::string_view take(size_t n);
    // missing is null for a text that must be whole.
    std::string read_unicode(bool wide_count, size_t* missing);
    std::string read_bytes(bool wide_count, const codepage_text& codepage, size_t* missing);

    std::vector<std::string_view> parts;
    size_t part = 0, pos = 0;
};

} // namespace platform::dao
