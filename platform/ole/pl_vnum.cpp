// Exact decimal arithmetic for the conversions. Rounding is half to even
// everywhere, as OLE Automation rounds.
#include "platform/ole/pl_vnum.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace pl_ole {

namespace {

constexpr int128 mantissa_limit = int128(1) << 96;
constexpr int max_scale = DECIMAL_MAX_SCALE;

int128 power10(int n)
{
    int128 p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The text's parts, checked against the decimal-only syntax.
struct number_parts {
    bool negative = false;
    std::string_view int_digits;
    std::string_view frac_digits;
    long exponent = 0;
};

bool split_number(std::string_view text, number_parts& out)
{
    size_t i = 0, n = text.size();
    while (i < n && is_blank(text[i]))
        ++i;
    while (n > i && is_blank(text[n - 1]))
        --n;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        out.negative = text[i++] == '-';
    const size_t int_start = i;
    while (i < n && std::isdigit(static_cast<unsigned char>(text[i])))
        ++i;
    out.int_digits = text.substr(int_start, i - int_start);
    if (i < n && text[i] == '.') {
        const size_t frac_start = ++i;
        while (i < n && std::isdigit(static_cast<unsigned char>(text[i])))
            ++i;
        out.frac_digits = text.substr(frac_start, i - frac_start);
    }
    if (out.int_digits.empty() && out.frac_digits.empty())
        return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negative_exponent = false;
        if (i < n && (text[i] == '+' || text[i] == '-'))
            negative_exponent = text[i++] == '-';
        const size_t exp_start = i;
        for (; i < n && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
            if (out.exponent < 100000)  // saturate: far beyond any representable value
                out.exponent = out.exponent * 10 + (text[i] - '0');
        if (i == exp_start)
            return false;
        if (negative_exponent)
            out.exponent = -out.exponent;
    }
    return i == n;
}

// The power of ten of the first significant digit (0 for zero).
long decimal_magnitude(const number_parts& parts)
{
    const size_t int_first = parts.int_digits.find_first_not_of('0');
    if (int_first != std::string_view::npos)
        return long(parts.int_digits.size() - int_first) - 1 + parts.exponent;
    const size_t frac_first = parts.frac_digits.find_first_not_of('0');
    if (frac_first != std::string_view::npos)
        return -long(frac_first) - 1 + parts.exponent;
    return 0;
}

// Brings mantissa and scale into range, rounding half to even with the digit
// dropped last (round) and whether any non-zero digit was dropped before it.
HRESULT normalize(int128 m, long scale, int round, bool sticky, bool negative, exact& out)
{
    if (m == 0 && round == 0) {
        out = exact{0, static_cast<int>(std::clamp<long>(scale, 0, max_scale))};
        return S_OK;
    }
    if (scale > max_scale + 40) {  // every digit is dropped
        m = 0;
        round = 0;
        sticky = true;
        scale = max_scale;
    }
    for (;;) {
        while (scale > max_scale || (m >= mantissa_limit && scale > 0)) {
            sticky = sticky || round != 0;
            round = static_cast<int>(m % 10);
            m /= 10;
            --scale;
        }
        if (round > 5 || (round == 5 && (sticky || (m & 1) != 0)))
            ++m;
        round = 0;
        sticky = false;
        if (m < mantissa_limit || scale == 0)
            break;
    }
    for (; scale < 0 && m < mantissa_limit; ++scale)
        m *= 10;
    if (m >= mantissa_limit)
        return DISP_E_OVERFLOW;
    out.mantissa = negative ? -m : m;
    out.scale = static_cast<int>(scale);
    return S_OK;
}

std::string digits_of(int128 m)
{
    char buffer[48];
    char* p = buffer + sizeof buffer;
    do {
        *--p = static_cast<char>('0' + static_cast<int>(m % 10));
        m /= 10;
    } while (m != 0);
    return std::string(p, buffer + sizeof buffer);
}

} // namespace

HRESULT parse_exact(std::string_view text, exact& out)
{
    number_parts parts;
    if (!split_number(text, parts))
        return DISP_E_TYPEMISMATCH;
    int128 m = 0;
    int kept = 0, round = 0;
    bool sticky = false;
    long scale = -parts.exponent;
    auto take = [&](char c, bool fraction) {
        const int d = c - '0';
        if (kept == 0 && d == 0) {  // leading zeros carry no precision
            scale += fraction;
            return;
        }
        if (kept < 29) {
            m = m * 10 + d;
            ++kept;
            scale += fraction;
        } else if (kept++ == 29) {
            round = d;
            scale -= !fraction;
        } else {
            sticky = sticky || d != 0;
            scale -= !fraction;
        }
    };
    for (char c : parts.int_digits)
        take(c, false);
    for (char c : parts.frac_digits)
        take(c, true);
    return normalize(m, scale, round, sticky, parts.negative, out);
}

HRESULT parse_double(std::string_view text, double& out)
{
    number_parts parts;
    if (!split_number(text, parts))
        return DISP_E_TYPEMISMATCH;
    // from_chars takes no '+' and no blanks; the syntax is already checked.
    size_t first = 0, last = text.size();
    while (is_blank(text[first]))
        ++first;
    while (is_blank(text[last - 1]))
        --last;
    if (text[first] == '+')
        ++first;
    double value = 0;
    const auto result = std::from_chars(text.data() + first, text.data() + last, value,
                                        std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Underflow reads as zero; overflow does not fit.
        if (decimal_magnitude(parts) < 0) {
            out = parts.negative ? -0.0 : 0.0;
            return S_OK;
        }
        return DISP_E_OVERFLOW;
    }
    if (result.ec != std::errc{} || result.ptr != text.data() + last)
        return DISP_E_TYPEMISMATCH;
    out = value;
    return S_OK;
}

bool ascii_text(const OLECHAR* text, std::string& out)
{
    out.clear();
    if (text == nullptr)
        return true;
    for (; *text != 0; ++text) {
        if (*text < 0 || *text > 127)
            return false;
        out.push_back(static_cast<char>(*text));
    }
    return true;
}

bool ascii_word_is(std::string_view text, std::string_view word)
{
    if (text.size() != word.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
        if (c != word[i])
            return false;
    }
    return true;
}

exact from_decimal(const DECIMAL& in)
{
    const int128 m = (int128(in.Hi32) << 64) | int128(in.Lo64);
    exact out;
    // A scale beyond 28 (never made here) is rounded into range, not trusted.
    if (normalize(m, in.scale, 0, false, (in.sign & DECIMAL_NEG) != 0, out) != S_OK)
        out = exact{};
    return out;
}

DECIMAL to_decimal(const exact& in)
{
    const int128 m = in.mantissa < 0 ? -in.mantissa : in.mantissa;
    DECIMAL out{};
    out.scale = static_cast<uint8_t>(in.scale);
    out.sign = in.mantissa < 0 ? DECIMAL_NEG : 0;
    out.Hi32 = static_cast<uint32_t>(m >> 64);
    out.Lo64 = static_cast<uint64_t>(m);
    return out;
}

HRESULT exact_from_double(double in, exact& out)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, in, std::chars_format::general, 15);
    if (result.ec != std::errc{})
        return DISP_E_OVERFLOW;
    const HRESULT hr = parse_exact(std::string_view(buffer, result.ptr - buffer), out);
    return hr == DISP_E_TYPEMISMATCH ? DISP_E_OVERFLOW : hr;  // "inf" and "nan"
}

double to_double(const exact& in)
{
    std::string text = exact_text(in);
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

HRESULT round_exact(const exact& in, int128 low, int128 high, int128& out)
{
    const int128 unit = power10(in.scale);
    int128 q = in.mantissa / unit;
    const int128 r = in.mantissa % unit;  // carries the mantissa's sign
    const int128 twice = (r < 0 ? -r : r) * 2;
    if (twice > unit || (twice == unit && (q & 1) != 0))
        q += in.mantissa < 0 ? -1 : 1;
    if (q < low || q > high)
        return DISP_E_OVERFLOW;
    out = q;
    return S_OK;
}

HRESULT round_double(double in, int128 low, int128 high, int128& out)
{
    const double r = std::nearbyint(in);  // the default mode rounds half to even
    if (!(r > -0x1p100 && r < 0x1p100))  // NaN included
        return DISP_E_OVERFLOW;
    const int128 q = static_cast<int128>(r);
    if (q < low || q > high)
        return DISP_E_OVERFLOW;
    out = q;
    return S_OK;
}

HRESULT rescale(exact in, int scale, exact& out)
{
    if (scale >= in.scale) {
        const int128 m = in.mantissa * power10(scale - in.scale);
        if (m >= mantissa_limit || m <= -mantissa_limit)
            return DISP_E_OVERFLOW;
        out = exact{m, scale};
        return S_OK;
    }
    int128 m = 0;
    const exact shifted{in.mantissa, in.scale - scale};
    const HRESULT hr = round_exact(shifted, -mantissa_limit + 1, mantissa_limit - 1, m);
    if (FAILED(hr))
        return hr;
    out = exact{m, scale};
    return S_OK;
}

HRESULT exact_to_cy(const exact& in, CY& out)
{
    exact scaled;
    HRESULT hr = rescale(in, 4, scaled);
    if (SUCCEEDED(hr) && (scaled.mantissa < std::numeric_limits<int64_t>::min() ||
                          scaled.mantissa > std::numeric_limits<int64_t>::max()))
        hr = DISP_E_OVERFLOW;
    if (SUCCEEDED(hr))
        out.int64 = static_cast<int64_t>(scaled.mantissa);
    return hr;
}

HRESULT double_to_float(double in, float& out)
{
    if (std::isfinite(in) && std::fabs(in) > double(std::numeric_limits<float>::max()))
        return DISP_E_OVERFLOW;
    out = static_cast<float>(in);
    return S_OK;
}

std::string exact_text(const exact& in)
{
    std::string digits = digits_of(in.mantissa < 0 ? -in.mantissa : in.mantissa);
    if (in.scale > 0) {
        if (digits.size() <= size_t(in.scale))
            digits.insert(0, in.scale - digits.size() + 1, '0');
        digits.insert(digits.size() - in.scale, 1, '.');
    }
    if (in.mantissa < 0)
        digits.insert(0, 1, '-');
    return digits;
}

std::string exact_text_trimmed(const exact& in)
{
    std::string text = exact_text(in);
    if (in.scale > 0) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.')
            text.pop_back();
    }
    return text;
}

} // namespace pl_ole
