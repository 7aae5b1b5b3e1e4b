#include "OLE/ole_num.hpp"

#include "platform/ole/pl_varcv.hpp"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

size_t skip_blanks(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && is_blank(text[i]))
        ++i;
    return i;
}

size_t skip_digits(std::string_view text, size_t i)
{
    while (i < text.size() && is_digit(text[i]))
        ++i;
    return i;
}

} // namespace

__int128 ole_leading_integer(std::string_view text)
{
    size_t i = skip_blanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    __int128 value = 0;
    for (; i < text.size() && is_digit(text[i]); ++i)
        if (value < (__int128(1) << 100))
            value = value * 10 + (text[i] - '0');
    return negative ? -value : value;
}

bool ole_leading_real(std::string_view text, double& out)
{
    const size_t start = skip_blanks(text);
    size_t i = start;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    const size_t digits = i;
    i = skip_digits(text, i);
    bool any_digit = i > digits;
    if (i < text.size() && text[i] == '.') {
        const size_t fraction = i + 1;
        i = skip_digits(text, fraction);
        any_digit = any_digit || i > fraction;
    }
    out = 0;
    if (!any_digit)
        return true;
    size_t end = i;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < text.size() && is_digit(text[j]))
            end = skip_digits(text, j);
    }
    return SUCCEEDED(pl_ole::r8_from_text(text.substr(start, end - start), out));
}
