// The text of CSV fields as wide text. A line whose bytes are valid UTF-8 is
// read as UTF-8. In any other line each well-formed UTF-8 sequence is still
// its character, and each byte that belongs to none is read as Windows-1252,
// the ANSI code page the files that are not UTF-8 come from: one stray byte
// does not change the rest of its line, and a file in Windows-1252 throughout
// reads as that code page.
#pragma once

#include "common/csv_line.hpp"

#include <array>
#include <memory>
#include <string>
#include <string_view>

class csv_decoder {
public:
    csv_decoder();
    ~csv_decoder();
    csv_decoder(const csv_decoder&) = delete;
    csv_decoder& operator=(const csv_decoder&) = delete;

    // Chooses the encoding of the line whose fields come next; true when some
    // of its bytes are read as Windows-1252.
    bool choose(const csv_line& line);
    void decode(std::string_view field, std::wstring& out) const;
    // True when the chosen line is ASCII alone: each byte is its character.
    bool all_ascii() const { return ascii; }
    // True when some bytes of the chosen line are read as Windows-1252.
    bool is_ansi() const { return ansi; }

private:
    bool ascii = true;
    bool ansi = false;
    // The characters of the bytes 0x80-0xFF in Windows-1252, from the first
    // line that needs them.
    std::unique_ptr<std::array<wchar_t, 128>> windows_1252;
};
