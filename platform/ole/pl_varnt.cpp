// VARIANT life and type changes. A change reads the source as a number (exact
// where the type is exact, a double for R4, R8 and DATE) or as text, then
// writes the target from it; every failure leaves the destination untouched.
#include "platform/ole/pl_varnt.hpp"

#include "platform/ole/pl_bstr.hpp"
#include "platform/ole/pl_safar.hpp"
#include "platform/ole/pl_unkn.hpp"
#include "platform/ole/pl_varcv.hpp"
#include "platform/ole/pl_vdate.hpp"
#include "platform/ole/pl_vnum.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

using namespace pl_ole;

namespace {

constexpr double min_date = -657434.0;        // 0100-01-01
constexpr double max_date = 2958466.0;        // 10000-01-01, excluded

bool is_integer_type(VARTYPE vt)
{
    switch (vt) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4:
    case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
        return true;
    default:
        return false;
    }
}

bool is_number_type(VARTYPE vt)
{
    return is_integer_type(vt) || vt == VT_R4 || vt == VT_R8 || vt == VT_CY || vt == VT_DECIMAL ||
           vt == VT_BOOL || vt == VT_DATE;
}

bool is_known_type(VARTYPE vt)
{
    return is_number_type(vt) || vt == VT_EMPTY || vt == VT_NULL || vt == VT_BSTR || vt == VT_DISPATCH ||
           vt == VT_ERROR || vt == VT_UNKNOWN || vt == VT_VARIANT || (vt & VT_ARRAY) != 0;
}

struct number {
    bool real = false;
    double d = 0;
    exact e;
};

HRESULT read_text_number(BSTR text, VARTYPE target, number& out)
{
    std::string narrow;
    if (!ascii_text(text == nullptr ? L"" : text, narrow))
        return DISP_E_TYPEMISMATCH;
    if (target == VT_BOOL && (ascii_word_is(narrow, "true") || ascii_word_is(narrow, "false"))) {
        out.e = exact{ascii_word_is(narrow, "true") ? 1 : 0, 0};
        return S_OK;
    }
    if (target == VT_R4 || target == VT_R8) {
        out.real = true;
        return parse_double(narrow, out.d);
    }
    return parse_exact(narrow, out.e);
}

// The source as a number for a numeric target.
HRESULT read_number(const VARIANT& v, VARTYPE target, number& out)
{
    switch (v.vt) {
    case VT_EMPTY: out.e = exact{}; return S_OK;
    case VT_BOOL: out.e = exact{v.boolVal != 0 ? -1 : 0, 0}; return S_OK;
    case VT_I1: out.e = exact{v.cVal, 0}; return S_OK;
    case VT_UI1: out.e = exact{v.bVal, 0}; return S_OK;
    case VT_I2: out.e = exact{v.iVal, 0}; return S_OK;
    case VT_UI2: out.e = exact{v.uiVal, 0}; return S_OK;
    case VT_I4: case VT_INT: out.e = exact{v.lVal, 0}; return S_OK;
    case VT_UI4: case VT_UINT: out.e = exact{v.ulVal, 0}; return S_OK;
    case VT_I8: out.e = exact{v.llVal, 0}; return S_OK;
    case VT_UI8: out.e = exact{v.ullVal, 0}; return S_OK;
    case VT_CY: out.e = cy_exact(v.cyVal); return S_OK;
    case VT_DECIMAL: out.e = from_decimal(v.decVal); return S_OK;
    case VT_R4: out.real = true; out.d = v.fltVal; return S_OK;
    case VT_R8: case VT_DATE: out.real = true; out.d = v.dblVal; return S_OK;
    case VT_BSTR: return read_text_number(v.bstrVal, target, out);
    default: return DISP_E_TYPEMISMATCH;
    }
}

template <class T>
HRESULT write_int(const number& n, T& out)
{
    return n.real ? double_to_int(n.d, out) : exact_to_int(n.e, out);
}

HRESULT write_exact(const number& n, exact& out)
{
    if (!n.real) {
        out = n.e;
        return S_OK;
    }
    return exact_from_double(n.d, out);
}

HRESULT write_number(const number& n, VARTYPE t, VARIANT& out)
{
    switch (t) {
    case VT_I1: return write_int(n, out.cVal);
    case VT_UI1: return write_int(n, out.bVal);
    case VT_I2: return write_int(n, out.iVal);
    case VT_UI2: return write_int(n, out.uiVal);
    case VT_I4: case VT_INT: return write_int(n, out.lVal);
    case VT_UI4: case VT_UINT: return write_int(n, out.ulVal);
    case VT_I8: return write_int(n, out.llVal);
    case VT_UI8: return write_int(n, out.ullVal);
    case VT_BOOL:
        out.boolVal = (n.real ? n.d != 0 : n.e.mantissa != 0) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    case VT_R4: return double_to_float(n.real ? n.d : to_double(n.e), out.fltVal);
    case VT_R8: out.dblVal = n.real ? n.d : to_double(n.e); return S_OK;
    case VT_DATE: {
        const double d = n.real ? n.d : to_double(n.e);
        if (!(d >= min_date && d < max_date))
            return DISP_E_OVERFLOW;
        out.date = d;
        return S_OK;
    }
    case VT_CY: {
        exact e;
        const HRESULT hr = write_exact(n, e);
        return SUCCEEDED(hr) ? exact_to_cy(e, out.cyVal) : hr;
    }
    case VT_DECIMAL: {
        exact e;
        const HRESULT hr = write_exact(n, e);
        if (SUCCEEDED(hr))
            out.decVal = to_decimal(e);
        return hr;
    }
    default: return DISP_E_TYPEMISMATCH;
    }
}

// Up to digits significant digits, exponent in capitals, as VarBstrFromR8 writes.
HRESULT real_text(double d, int digits, std::string& out)
{
    if (!std::isfinite(d))
        return DISP_E_OVERFLOW;
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::general, digits);
    out.assign(buffer, r.ptr);
    for (char& c : out)
        if (c == 'e')
            c = 'E';
    return S_OK;
}

HRESULT source_text(const VARIANT& v, uint16_t flags, std::string& out)
{
    switch (v.vt) {
    case VT_EMPTY: out.clear(); return S_OK;
    case VT_BOOL:
        if ((flags & VARIANT_ALPHABOOL) != 0)
            out = v.boolVal != 0 ? "True" : "False";
        else
            out = v.boolVal != 0 ? "-1" : "0";
        return S_OK;
    case VT_R4: return real_text(v.fltVal, 7, out);
    case VT_R8: return real_text(v.dblVal, 15, out);
    case VT_DATE: return pl_ole::date_text(v.date, out) ? S_OK : DISP_E_OVERFLOW;
    case VT_CY: out = exact_text_trimmed(cy_exact(v.cyVal)); return S_OK;
    default: {
        number n;
        const HRESULT hr = read_number(v, VT_DECIMAL, n);
        if (SUCCEEDED(hr))
            out = exact_text(n.e);
        return hr;
    }
    }
}

HRESULT to_text(const VARIANT& v, uint16_t flags, VARIANT& out)
{
    if (v.vt == VT_BSTR) {
        out.bstrVal = SysAllocStringLen(v.bstrVal, SysStringLen(v.bstrVal));
        return out.bstrVal == nullptr ? E_OUTOFMEMORY : S_OK;
    }
    std::string text;
    const HRESULT hr = source_text(v, flags, text);
    if (FAILED(hr))
        return hr;
    const std::wstring wide(text.begin(), text.end());
    out.bstrVal = SysAllocStringLen(wide.data(), static_cast<uint32_t>(wide.size()));
    return out.bstrVal == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT convert(const VARIANT& src, uint16_t flags, VARTYPE t, VARIANT& out)
{
    if (!is_known_type(t) || !is_known_type(src.vt))
        return DISP_E_BADVARTYPE;
    if (t == src.vt)
        return VariantCopy(&out, &src);
    if (t == VT_EMPTY)
        return S_OK;
    if (t == VT_NULL)
        return src.vt == VT_EMPTY ? S_OK : DISP_E_TYPEMISMATCH;
    if (src.vt == VT_NULL)
        return DISP_E_TYPEMISMATCH;
    if (t == VT_BSTR)
        return to_text(src, flags, out);
    if (t == VT_DATE && src.vt == VT_BSTR)
        return VarDateFromStr(src.bstrVal == nullptr ? L"" : src.bstrVal, LOCALE_USER_DEFAULT, 0, &out.date);
    if (!is_number_type(t))
        return DISP_E_TYPEMISMATCH;
    number n;
    const HRESULT hr = read_number(src, t, n);
    return SUCCEEDED(hr) ? write_number(n, t, out) : hr;
}

} // namespace

void VariantInit(VARIANT* var)
{
    std::memset(static_cast<void*>(var), 0, sizeof *var);
}

HRESULT VariantClear(VARIANT* var)
{
    if (var == nullptr)
        return E_INVALIDARG;
    if (var->vt == VT_BSTR)
        SysFreeString(var->bstrVal);
    else if ((var->vt & VT_ARRAY) != 0 || var->vt == VT_SAFEARRAY || var->vt == VT_BLOB) {
        const HRESULT hr = SafeArrayDestroy(var->parray);
        if (FAILED(hr))
            return hr;
    } else if ((var->vt == VT_UNKNOWN || var->vt == VT_DISPATCH) && var->punkVal != nullptr)
        var->punkVal->Release();
    VariantInit(var);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src)
{
    if (dest == nullptr || src == nullptr)
        return E_INVALIDARG;
    if (dest == src)
        return S_OK;
    VARIANT copy = *src;
    if (src->vt == VT_BSTR && src->bstrVal != nullptr) {
        copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
        if (copy.bstrVal == nullptr)
            return E_OUTOFMEMORY;
    } else if ((src->vt & VT_ARRAY) != 0 || src->vt == VT_SAFEARRAY || src->vt == VT_BLOB) {
        const HRESULT hr = SafeArrayCopy(src->parray, &copy.parray);
        if (FAILED(hr))
            return hr;
    } else if ((src->vt == VT_UNKNOWN || src->vt == VT_DISPATCH) && src->punkVal != nullptr)
        src->punkVal->AddRef();
    const HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *dest = copy;
    return S_OK;
}

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, uint16_t flags, VARTYPE vt)
{
    if (dest == nullptr || src == nullptr)
        return E_INVALIDARG;
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = convert(*src, flags, vt, result);
    if (FAILED(hr))
        return hr;
    if (result.vt == VT_EMPTY)  // VariantCopy set its own tag
        result.vt = vt;
    hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *dest = result;
    return S_OK;
}
