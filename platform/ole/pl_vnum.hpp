// Exact decimal numbers, the common ground of the layer's conversions: a
// signed mantissa below 2^96 and a scale of 0 to 28 decimal places, which
// holds every integer type, currency and DECIMAL exactly. Internal to the
// layer.
#pragma once

#include "platform/ole/pl_oletp.hpp"

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace pl_ole {

using int128 = __int128;

struct exact {
    int128 mantissa = 0;  // |mantissa| < 2^96
    int scale = 0;        // 0 to 28
};

// The decimal-only reading of a whole text: optional blanks, a sign, digits
// with at most one point (at least one digit), an optional exponent, optional
// blanks. Digits beyond the 29th significant one are rounded half to even.
// DISP_E_TYPEMISMATCH for anything else, DISP_E_OVERFLOW when too large.
HRESULT parse_exact(std::string_view text, exact& out);
// The same syntax read as the nearest double; DISP_E_OVERFLOW beyond its range.
HRESULT parse_double(std::string_view text, double& out);
// A wide text as narrow when it is plain ASCII; false otherwise.
bool ascii_text(const OLECHAR* text, std::string& out);
// True when text equals word (lowercase ASCII) without regard to ASCII case.
bool ascii_word_is(std::string_view text, std::string_view word);

exact from_decimal(const DECIMAL& in);
DECIMAL to_decimal(const exact& in);
// 15 significant digits of a finite double; DISP_E_OVERFLOW for NaN, the
// infinities and magnitudes beyond 96 bits.
HRESULT exact_from_double(double in, exact& out);
double to_double(const exact& in);

// Rounded half to even to an integer within [low, high].
HRESULT round_exact(const exact& in, int128 low, int128 high, int128& out);
HRESULT round_double(double in, int128 low, int128 high, int128& out);
// To scale decimal places (rounding half to even when fewer).
HRESULT rescale(exact in, int scale, exact& out);

// "-" when negative, the digits, a point before the last scale digits.
std::string exact_text(const exact& in);
// The same without trailing zeros after the point (nor a bare point).
std::string exact_text_trimmed(const exact& in);

// Currency holds four decimal places in a signed 64-bit integer.
HRESULT exact_to_cy(const exact& in, CY& out);
inline exact cy_exact(CY in) { return exact{in.int64, 4}; }
// A double that does not fit a float (the infinities aside) overflows.
HRESULT double_to_float(double in, float& out);

template <class T>
HRESULT exact_to_int(const exact& in, T& out)
{
    int128 value = 0;
    const HRESULT hr = round_exact(in, std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), value);
    if (SUCCEEDED(hr))
        out = static_cast<T>(value);
    return hr;
}

template <class T>
HRESULT double_to_int(double in, T& out)
{
    int128 value = 0;
    const HRESULT hr = round_double(in, std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), value);
    if (SUCCEEDED(hr))
        out = static_cast<T>(value);
    return hr;
}

} // namespace pl_ole
