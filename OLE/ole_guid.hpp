// Tells whether a cell's text holds a GUID and hands out its 36 characters.
// Three forms are read: the bare 36 characters (hexadecimal digits and
// dashes), the same in braces, and a braced GUID after the word guid inside a
// longer text.
#pragma once

#include <cstdint>
#include <string>

class ole_guid_extractor {
public:
    explicit ole_guid_extractor(const std::string& text);
    explicit ole_guid_extractor(const std::wstring& text);

    // Empty when the text holds no GUID.
    std::string get_guid() const;
    std::wstring get_wguid() const;

    int32_t position = -1;  // where the 36 characters start in text
    std::wstring text;      // the examined text, trimmed
    bool b_valid = false;

private:
    void examine(const std::wstring& given);
    bool locate();
};
