// The text forms of a cell value and the parsers of text into typed values.
// Numbers are always written and read with a point as decimal separator, and
// read by a decimal-only reader: infinity, NaN and hexadecimal forms are not
// numbers, so no such text ever reaches a statement.
#include "OLE/ole_var.hpp"

#include "OLE/ole_num.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/text/pl_case.hpp"
#include "platform/text/pl_utf8.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <limits>

namespace {

template <class T>
std::string number_text(T value)
{
    char buffer[24];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, r.ptr);
}

// printf's "%.<digits>e" of a finite double; "0" for NaN and the infinities.
std::string real_text(double value, int digits)
{
    if (!std::isfinite(value)) {
        tk_logger::log(3, "Got NaN, replace it with 0");
        return "0";
    }
    char buffer[40];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, digits);
    return std::string(buffer, r.ptr);
}

// The text of a VT_BSTR result, as ANSI text with a point as decimal separator.
std::string platform_text(HRESULT hr, BSTR text)
{
    std::string out;
    if (FAILED(hr) || text == nullptr || !tk_unicode_to_ansi3(text, out))
        out.clear();
    std::replace(out.begin(), out.end(), ',', '.');
    return out;
}

template <class C>
std::basic_string<C> hex_text(const SAFEARRAY* array, uint32_t count)
{
    std::basic_string<C> out(2 + 2 * size_t(count) + 1, C('0'));
    out[1] = C('x');
    const auto* bytes = static_cast<const unsigned char*>(array->pvData);
    if constexpr (sizeof(C) == 1)
        tk_bytes_to_hex(count, bytes, out.data() + 2);
    else
        tk_bytes_to_whex(count, bytes, out.data() + 2);
    out.pop_back();  // the terminator written by the helper
    return out;
}

// The leading decimal number; ole_cast_exception when too large for a double.
double leading_real(std::string_view text)
{
    double value = 0;
    if (!ole_leading_real(text, value))
        throw ole_cast_exception();
    return value;
}

template <class T>
T checked_integer(__int128 value)
{
    if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max())
        throw ole_cast_exception();
    return static_cast<T>(value);
}

std::string with_points(std::string text)
{
    std::replace(text.begin(), text.end(), ',', '.');
    return text;
}

// A hexadecimal digit of either case; any other character contributes 0.
template <class C>
unsigned hex_digit(C c)
{
    if (c >= C('0') && c <= C('9'))
        return unsigned(c - C('0'));
    if (c >= C('A') && c <= C('F'))
        return unsigned(c - C('A') + 10);
    if (c >= C('a') && c <= C('f'))
        return unsigned(c - C('a') + 10);
    return 0;
}

template <class C>
ole_variant binary_from_text(const std::basic_string<C>& text, VARTYPE t)
{
    tk_logger::log(1, "GOT BLOB");
    ole_variant result;
    if (text.empty()) {
        tk_logger::log(1, "Empty BLOB");
        return result;
    }
    if (text.size() % 2 != 0) {
        tk_logger::log(2, "Incorrect BLOB (size is odd)");
        return result;
    }
    const bool prefix = (text[0] == C('0') || text[0] == C('\\')) && (text[1] == C('x') || text[1] == C('X'));
    const uint32_t count = static_cast<uint32_t>(text.size() / 2 - (prefix ? 1 : 0));
    tk_logger::log(1, "Got BLOB size: %d", count);
    result.allocate_safe_array(count);
    auto* bytes = static_cast<unsigned char*>(result.get_variant().parray->pvData);
    for (size_t i = prefix ? 2 : 0, k = 0; i + 1 < text.size() && text[i] != 0 && text[i + 1] != 0; i += 2, ++k)
        bytes[k] = static_cast<unsigned char>(hex_digit(text[i]) << 4 | hex_digit(text[i + 1]));
    result.change_type(t);
    return result;
}

ole_variant bool_from_text(const std::string& text)
{
    for (const char* word : {"1", "yes", "t", "true"})
        if (platform::compare_no_case(std::string_view(text), std::string_view(word)) == 0)
            return ole_variant(true);
    for (const char* word : {"0", "no", "f", "false"})
        if (platform::compare_no_case(std::string_view(text), std::string_view(word)) == 0)
            return ole_variant(false);
    return ole_variant(ole_leading_integer(text) != 0);
}

ole_variant currency_from_text(const std::string& text)
{
    const std::wstring wide = platform::from_utf8(with_points(text));
    CY value{};
    const HRESULT hr = VarCyFromStr(wide.c_str(), LCID_EN_US, 0, &value);
    if (hr == DISP_E_OVERFLOW)
        throw ole_cast_exception();
    if (FAILED(hr)) {
        tk_logger::log(2, "VarCyFromStr failed: %08X", static_cast<uint32_t>(hr));
        return ole_variant();
    }
    return ole_variant(value);
}

ole_variant decimal_from_text(const std::string& text)
{
    const std::string prepared = with_points(text);
    const std::wstring wide = platform::from_utf8(prepared);
    DECIMAL value{};
    const HRESULT hr = VarDecFromStr(wide.c_str(), LCID_EN_US, 0, &value);
    if (FAILED(hr)) {
        tk_logger::log(2, "ERROR: VarDecFromStr for '%s' failed (hr=%08X)", prepared.c_str(), static_cast<uint32_t>(hr));
        return ole_variant(leading_real(prepared));
    }
    return ole_variant(value);
}

ole_variant date_from_text(const std::string& text)
{
    const ole_date date(text);
    return date.is_valid() ? ole_variant(date) : ole_variant();
}

} // namespace

std::string ole_variant::to_string() const
{
    tk_logger::log(1, "ole_variant::to_string (vt=%08X)", var.vt);
    switch (var.vt) {
    case ole_vt_bytes:
    case VT_BLOB: {
        const SAFEARRAY* array = var.parray;
        const uint32_t n = std::min(get_safe_array_size(array), ole_max_array_text);
        return n == 0 ? std::string() : hex_text<char>(array, n);
    }
    case VT_DECIMAL: {
        BSTR text = nullptr;
        const HRESULT hr = VarBstrFromDec(&var.decVal, LCID_EN_US, 0, &text);
        std::string out = platform_text(hr, text);
        SysFreeString(text);
        return out;
    }
    case VT_DATE: return date.to_string(6);
    case VT_CY: {
        VARIANT copy{};
        const HRESULT hr = VariantChangeType(&copy, &var, 0, VT_BSTR);
        std::string out = platform_text(hr, copy.bstrVal);
        VariantClear(&copy);
        return out;
    }
    case VT_BSTR:
        // The whole string: a zero inside a cell's text is data, not its end.
        return platform::to_utf8(bstr_view(var.bstrVal));
    case VT_BOOL: return var.uiVal == 0xFFFF ? "1" : "0";
    case VT_R8: return real_text(var.dblVal, 16);
    case VT_R4: return real_text(var.fltVal, 6);
    case VT_I2: return number_text(var.iVal);
    case VT_I4: case VT_INT: return number_text(var.lVal);
    case VT_I1: return number_text(int(var.cVal));
    case VT_UI1: return number_text(unsigned(var.bVal));
    case VT_UI2: return number_text(var.uiVal);
    case VT_UI4: case VT_UINT: return number_text(var.ulVal);
    case VT_I8: return number_text(i8_val);
    case VT_UI8: return number_text(ui8_val);
    default: return std::string();
    }
}

std::wstring ole_variant::to_wstring() const
{
    tk_logger::log(1, "ole_variant::to_wstring (vt=%08X)", var.vt);
    switch (var.vt) {
    case VT_BSTR:
        return std::wstring(bstr_view(var.bstrVal));
    case ole_vt_bytes:
    case VT_BLOB: {
        const SAFEARRAY* array = var.parray;
        const uint32_t n = std::min(get_safe_array_size(array), ole_max_array_text);
        return n == 0 ? std::wstring() : hex_text<wchar_t>(array, n);
    }
    default: return tk_to_unicode(to_string());
    }
}

ole_variant ole_variant::from_string(const std::string& text, VARTYPE t)
{
    tk_logger::log(1, "ole_variant::from_string('%s', 0x%08X)", text.c_str(), t);
    if (text.empty() && t != VT_BSTR)
        return ole_variant();
    switch (t) {
    case VT_I2: return ole_variant(checked_integer<int16_t>(ole_leading_integer(text)));
    case VT_I4: return ole_variant(checked_integer<int32_t>(ole_leading_integer(text)));
    case VT_I1: return ole_variant(checked_integer<signed char>(ole_leading_integer(text)));
    case VT_UI1: return ole_variant(checked_integer<unsigned char>(ole_leading_integer(text)));
    case VT_UI2: return ole_variant(checked_integer<uint16_t>(ole_leading_integer(text)));
    case VT_UI4: return ole_variant(checked_integer<uint32_t>(ole_leading_integer(text)));
    case VT_I8: return ole_variant(checked_integer<long long>(ole_leading_integer(text)));
    case VT_UI8: return ole_variant(checked_integer<unsigned long long>(ole_leading_integer(text)));
    case VT_R4: {
        const double value = leading_real(with_points(text));
        if (std::fabs(value) > double(std::numeric_limits<float>::max()))
            throw ole_cast_exception();
        return ole_variant(static_cast<float>(value));
    }
    case VT_R8: return ole_variant(leading_real(with_points(text)));
    case VT_CY: return currency_from_text(text);
    case VT_DECIMAL: return decimal_from_text(text);
    case VT_DATE: return date_from_text(text);
    case VT_BOOL: return bool_from_text(text);
    case VT_BLOB:
    case ole_vt_bytes: return binary_from_text(text, t);
    default: {
        ole_variant value;
        value.attach_string(text);
        if (FAILED(VariantChangeType(&value.var, &value.var, 0, t)))
            throw ole_type_exception();
        return value;
    }
    }
}

ole_variant ole_variant::from_wstring(const std::wstring& text, VARTYPE t)
{
    tk_logger::wlog(1, L"ole_variant::from_wstring(%s,%d)", text.c_str(), t);
    if (t == VT_BLOB || t == ole_vt_bytes)
        return binary_from_text(text, t);
    if (t == VT_BSTR) {
        ole_variant value;
        value.attach_wstring(std::wstring(text.c_str()));
        return value;
    }
    return from_string(platform::to_utf8(text), t);
}

int ole_variant::get_at(char* out, uint32_t position, uint32_t length) const
{
    tk_logger::log(1, "ole_variant::get_at(pos=%d, length=%d)", position, length);
    if (var.vt == VT_BSTR) {
        const uint32_t n = SysStringLen(var.bstrVal);
        if (position >= n)
            return 0;
        const std::wstring piece(var.bstrVal + position, std::min(length, n - position));
        std::string text;
        if (!tk_unicode_to_ansi3(piece.c_str(), text) || text.empty())
            return 0;
        std::memcpy(out, text.c_str(), text.size() + 1);
        return static_cast<int>(text.size());
    }
    const SAFEARRAY* array = byte_array();
    if (array == nullptr || SafeArrayGetDim(array) != 1)
        return 0;
    const uint32_t n = std::min(get_safe_array_size(array), ole_max_array_text);
    if (position >= n)
        return 0;
    const uint32_t count = std::min(length, n - position);
    tk_bytes_to_hex(count, static_cast<const unsigned char*>(array->pvData) + position, out);
    return static_cast<int>(count);
}
