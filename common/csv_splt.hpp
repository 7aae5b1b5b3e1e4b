// Cuts one logical CSV line into field texts. A double quote opens or closes
// a quoted part anywhere in a field and is not part of the text; inside a
// quoted part a doubled double quote stands for one double quote and the
// delimiter is plain text. Spaces are kept. An empty line is one empty field
// and a line that ends with the delimiter ends with an empty field.
#pragma once

#include <string>
#include <string_view>

class csv_splitter {
public:
    // An empty delimiter never matches: the line is one field.
    csv_splitter(std::wstring_view line, std::wstring_view delimiter) : line(line), delimiter(delimiter) {}

    // The next field's text into token; false once the last field was given.
    bool next(std::wstring& token);

private:
    bool delimiter_at(size_t pos) const;

    std::wstring_view line;
    std::wstring_view delimiter;
    size_t pos = 0;
    bool done = false;
};
