// Texts of older workbooks, stored one or two bytes a character in the
// workbook's code page, as UTF-8.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct UConverter;

namespace platform::dao {

class codepage_text {
public:
    // An unknown code page reads as Windows-1252, the usual one.
    explicit codepage_text(uint16_t codepage = 1252);
    std::string to_utf8(std::string_view bytes) const;

private:
    struct closer { void operator()(UConverter* c) const; };
    std::unique_ptr<UConverter, closer> converter;
};

} // namespace platform::dao
