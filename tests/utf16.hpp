// A text as the bytes of a UTF-16 file: its byte order mark, then the units
// in that order.
#pragma once

#include <string>

inline std::string utf16(const std::u16string& text, bool little_endian)
{
    std::string bytes = little_endian ? "\xFF\xFE" : "\xFE\xFF";
    for (char16_t unit : text) {
        const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        bytes += little_endian ? low : high;
        bytes += little_endian ? high : low;
    }
    return bytes;
}
