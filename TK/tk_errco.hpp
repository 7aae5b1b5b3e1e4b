// Friendly messages for exception codes: a map from code to text, filled from
// the constant tables each front end hands the error handler at start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

struct tk_error_row {
    uint32_t code;
    const char* text;
};

class tk_error_converter {
public:
    tk_error_converter(size_t n, const tk_error_row* table);

    // Adds the rows of a further table; a code already held keeps its text.
    // A null table is an internal error, also when n is 0.
    void load_map(size_t n, const tk_error_row* table);

    // The text for a code, or an empty text when no table holds it.
    std::string convert(uint32_t code) const;

private:
    std::map<uint32_t, std::string> messages;
};
