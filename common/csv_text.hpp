// The text of CSV fields as wide text. A line whose bytes are valid UTF-8 is
// read as UTF-8; any other line as Windows-1252, the ANSI code page the files
// that are not UTF-8 come from.
#pragma once

#include "common/csv_line.hpp"

#include <memory>
#include <string>
#include <string_view>

namespace platform::dao {
class codepage_text;
}

class csv_decoder {
public:
    csv_decoder();
    ~csv_decoder();
    csv_decoder(const csv_decoder&) = delete;
    csv_decoder& operator=(const csv_decoder&) = delete;

    // Chooses the encoding of the line whose fields come next; true when the
    // line is read as Windows-1252.
    bool choose(const csv_line& line);
    void decode(std::string_view field, std::wstring& out) const;
    // True when the chosen line is ASCII alone: each byte is its character.
    bool all_ascii() const { return ascii; }
    // True when the chosen line is read as Windows-1252.
    bool is_ansi() const { return ansi; }

private:
    bool ascii = true;
    bool ansi = false;
    std::unique_ptr<platform::dao::codepage_text> windows_1252;  // from the first line that needs it
};
