// change_type: converting a value in place. Binary kinds, text to truth
// values, dates and the rounding of reals to the 16- and 32-bit integers are
// handled here; every other pair goes through VariantChangeType, with the
// 64-bit side fields moved into and out of the VARIANT around the call. A
// value that does not fit its new type raises ole_cast_exception and keeps
// its old content.
#include "OLE/ole_var.hpp"

#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/text/pl_case.hpp"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

bool is_binary(VARTYPE vt) { return vt == VT_BLOB || vt == VT_BLOB_OBJECT || vt == ole_vt_bytes; }

bool equals_any(const std::string& text, std::initializer_list<const char*> words)
{
    for (const char* word : words)
        if (platform::compare_no_case(std::string_view(text), std::string_view(word)) == 0)
            return true;
    return false;
}

template <class T>
bool store_rounded(double value, T& out)
{
    if (!(value >= std::numeric_limits<T>::min() && value <= std::numeric_limits<T>::max()))
        return false;
    out = static_cast<T>(value);
    return true;
}

} // namespace

void ole_variant::change_type(VARTYPE t)
{
    const VARTYPE s = var.vt;
    tk_logger::log(1, "ole_variant::change_type(%d -> %d)", s, t);
    if ((s == ole_vt_bytes && t == VT_BLOB) || (s == VT_BLOB && t == ole_vt_bytes)) {
        tk_logger::log(1, "Replace by synonym");
        var.vt = t;
    } else if (s == t || s == VT_EMPTY || s == VT_NULL || (is_binary(s) && is_binary(t))) {
        tk_logger::log(1, "Type cannot be changed");
    } else if (s == VT_BSTR && t == VT_BOOL) {
        text_to_bool();
    } else if (s == VT_DATE) {
        if (t != VT_BSTR)
            throw ole_cast_exception();
        attach_wstring(date.to_wstring(6));
    } else if (t == VT_DATE) {
        const ole_date parsed = s == VT_BSTR ? ole_date(to_string()) : ole_date();
        if (!parsed.is_valid())
            throw ole_cast_exception();
        clear();
        var.vt = VT_DATE;
        date = parsed;
        refresh_variant_date();
    } else if (is_binary(t)) {
        change_to_binary();
    } else if (is_binary(s)) {
        change_from_binary(t);
    } else if ((s == VT_R4 || s == VT_R8) && (t == VT_I4 || t == VT_UI4 || t == VT_I2 || t == VT_UI2)) {
        round_to_integer(t);
    } else {
        change_type_generic(t);
    }
}

void ole_variant::text_to_bool()
{
    const std::string text = to_string();
    VARIANT_BOOL value;
    if (equals_any(text, {"yes", "t", "true"}))
        value = VARIANT_TRUE;
    else if (equals_any(text, {"no", "f", "false"}))
        value = VARIANT_FALSE;
    else
        throw ole_cast_exception();
    clear();
    var.vt = VT_BOOL;
    var.boolVal = value;
}

// Half away from zero, as a spreadsheet shows a rounded number.
void ole_variant::round_to_integer(VARTYPE t)
{
    const double value = std::round(var.vt == VT_R4 ? double(var.fltVal) : var.dblVal);
    VARIANT result{};
    bool fits = false;
    switch (t) {
    case VT_I4: fits = store_rounded(value, result.lVal); break;
    case VT_UI4: fits = store_rounded(value, result.ulVal); break;
    case VT_I2: fits = store_rounded(value, result.iVal); break;
    default: fits = store_rounded(value, result.uiVal); break;
    }
    if (!fits)
        throw ole_cast_exception();
    set_result(result, t);
}

// Installs a converted VARIANT of type t; 64-bit integers go to their side field.
void ole_variant::set_result(VARIANT& result, VARTYPE t)
{
    clear();
    if (t == VT_I8)
        i8_val = result.llVal;
    else if (t == VT_UI8)
        ui8_val = result.ullVal;
    else
        var = result;
    var.vt = t;
}

void ole_variant::change_type_generic(VARTYPE t)
{
    VARIANT source{};
    const VARIANT* from = &var;
    if (var.vt == VT_I8 || var.vt == VT_UI8) {
        source.vt = var.vt;
        if (var.vt == VT_I8)
            source.llVal = i8_val;
        else
            source.ullVal = ui8_val;
        from = &source;
    }
    VARIANT result{};
    if (FAILED(VariantChangeType(&result, from, 0, t))) {
        tk_logger::log(1, "VariantChangeType failed");
        tk_logger::log(1, "to_string()=%s", to_string().c_str());
        throw ole_cast_exception();
    }
    set_result(result, t);
}

void ole_variant::change_to_binary()
{
    tk_logger::log(1, "a_type is binary, src.vt=%d", var.vt);
    size_t size = 0;
    switch (var.vt) {
    case VT_I2: case VT_BOOL: case VT_UI2: size = 2; break;
    case VT_I4: case VT_R4: case VT_UI4: case VT_INT: case VT_UINT: size = 4; break;
    case VT_R8: case VT_CY: size = 8; break;
    case VT_I1: case VT_UI1: size = 1; break;
    case VT_DECIMAL: size = sizeof(DECIMAL); break;
    case VT_BSTR: {
        tk_logger::log(1, "VT_BSTR->binary");
        std::unique_ptr<char[]> ansi;
        std::vector<unsigned char> bytes;
        if (var.bstrVal != nullptr && tk_unicode_to_ansi2(var.bstrVal, ansi)) {
            const auto* text = reinterpret_cast<const unsigned char*>(ansi.get());
            *this = convert_to_byte_array(text, static_cast<uint32_t>(std::strlen(ansi.get())), bytes);
        }
        return;
    }
    default: throw ole_cast_exception();
    }
    unsigned char payload[sizeof(DECIMAL)];
    std::memcpy(payload, &var.decVal, size);  // the union's first bytes, little-endian
    std::vector<unsigned char> bytes;
    *this = convert_to_byte_array(payload, static_cast<uint32_t>(size), bytes);
}

void ole_variant::change_from_binary(VARTYPE t)
{
    tk_logger::log(1, "src.vt is binary, a_type=%d", t);
    const SAFEARRAY* array = byte_array();
    if (t != VT_BSTR || SafeArrayGetDim(array) != 1)
        return;
    const uint32_t n = std::min(get_safe_array_size(array), ole_max_array_text);
    if (n == 0) {
        attach_wstring(to_wstring());
        return;
    }
    const auto* bytes = static_cast<const char*>(array->pvData);
    const std::string text(bytes, strnlen(bytes, n));
    std::unique_ptr<wchar_t[]> wide;
    if (!tk_ansi_to_unicode(text.c_str(), wide))
        throw ole_cast_exception();
    attach_wstring(wide.get());
}
