// The named conversions, each a thin call into the exact arithmetic, so every
// pair rounds and overflows alike.
#include "platform/ole/pl_varcv.hpp"

#include "platform/ole/pl_bstr.hpp"
#include "platform/ole/pl_vnum.hpp"

#include <string>

using namespace pl_ole;

namespace {

template <class T>
HRESULT dec_to_int(const DECIMAL* in, T* out)
{
    if (in == nullptr || out == nullptr)
        return E_INVALIDARG;
    return exact_to_int(from_decimal(*in), *out);
}

template <class T>
HRESULT real_to_int(double in, T* out)
{
    if (out == nullptr)
        return E_INVALIDARG;
    return double_to_int(in, *out);
}

HRESULT exact_to_dec(HRESULT hr, const exact& value, DECIMAL* out)
{
    if (SUCCEEDED(hr))
        *out = to_decimal(value);
    return hr;
}

// The text of a wide string read by parse, into an exact number.
HRESULT parse_wide(const OLECHAR* text, exact& value)
{
    std::string narrow;
    if (text == nullptr)
        return E_INVALIDARG;
    if (!ascii_text(text, narrow))
        return DISP_E_TYPEMISMATCH;
    return parse_exact(narrow, value);
}

} // namespace

HRESULT VarI1FromDec(const DECIMAL* in, int8_t* out) { return dec_to_int(in, out); }
HRESULT VarUI1FromDec(const DECIMAL* in, uint8_t* out) { return dec_to_int(in, out); }
HRESULT VarI2FromDec(const DECIMAL* in, int16_t* out) { return dec_to_int(in, out); }
HRESULT VarUI2FromDec(const DECIMAL* in, uint16_t* out) { return dec_to_int(in, out); }
HRESULT VarI4FromDec(const DECIMAL* in, int32_t* out) { return dec_to_int(in, out); }
HRESULT VarUI4FromDec(const DECIMAL* in, uint32_t* out) { return dec_to_int(in, out); }
HRESULT VarI8FromDec(const DECIMAL* in, int64_t* out) { return dec_to_int(in, out); }
HRESULT VarUI8FromDec(const DECIMAL* in, uint64_t* out) { return dec_to_int(in, out); }

HRESULT VarR4FromDec(const DECIMAL* in, float* out)
{
    if (in == nullptr || out == nullptr)
        return E_INVALIDARG;
    return double_to_float(to_double(from_decimal(*in)), *out);
}

HRESULT VarR8FromDec(const DECIMAL* in, double* out)
{
    if (in == nullptr || out == nullptr)
        return E_INVALIDARG;
    *out = to_double(from_decimal(*in));
    return S_OK;
}

HRESULT VarCyFromDec(const DECIMAL* in, CY* out)
{
    if (in == nullptr || out == nullptr)
        return E_INVALIDARG;
    return exact_to_cy(from_decimal(*in), *out);
}

HRESULT VarI4FromCy(CY in, int32_t* out)
{
    if (out == nullptr)
        return E_INVALIDARG;
    return exact_to_int(cy_exact(in), *out);
}

HRESULT VarI8FromCy(CY in, int64_t* out)
{
    if (out == nullptr)
        return E_INVALIDARG;
    return exact_to_int(cy_exact(in), *out);
}

HRESULT VarR4FromCy(CY in, float* out)
{
    if (out == nullptr)
        return E_INVALIDARG;
    *out = static_cast<float>(to_double(cy_exact(in)));
    return S_OK;
}

HRESULT VarR8FromCy(CY in, double* out)
{
    if (out == nullptr)
        return E_INVALIDARG;
    *out = to_double(cy_exact(in));
    return S_OK;
}

HRESULT VarDecFromCy(CY in, DECIMAL* out)
{
    if (out == nullptr)
        return E_INVALIDARG;
    *out = to_decimal(cy_exact(in));
    return S_OK;
}

HRESULT VarI4FromR8(double in, int32_t* out) { return real_to_int(in, out); }
HRESULT VarI8FromR4(float in, int64_t* out) { return real_to_int(in, out); }
HRESULT VarI8FromR8(double in, int64_t* out) { return real_to_int(in, out); }
HRESULT VarUI8FromR4(float in, uint64_t* out) { return real_to_int(in, out); }
HRESULT VarUI8FromR8(double in, uint64_t* out) { return real_to_int(in, out); }

HRESULT VarCyFromR8(double in, CY* out)
{
    if (out == nullptr)
        return E_INVALIDARG;
    exact value;
    HRESULT hr = exact_from_double(in, value);
    return SUCCEEDED(hr) ? exact_to_cy(value, *out) : hr;
}

HRESULT VarCyFromI8(int64_t in, CY* out)
{
    if (out == nullptr)
        return E_INVALIDARG;
    return exact_to_cy(exact{in, 0}, *out);
}

HRESULT VarDecFromI8(int64_t in, DECIMAL* out)
{
    if (out == nullptr)
        return E_INVALIDARG;
    *out = to_decimal(exact{in, 0});
    return S_OK;
}

HRESULT VarDecFromUI8(uint64_t in, DECIMAL* out)
{
    if (out == nullptr)
        return E_INVALIDARG;
    *out = to_decimal(exact{in, 0});
    return S_OK;
}

HRESULT VarDecFromR8(double in, DECIMAL* out)
{
    if (out == nullptr)
        return E_INVALIDARG;
    exact value;
    return exact_to_dec(exact_from_double(in, value), value, out);
}

HRESULT VarCyFromStr(const OLECHAR* text, LCID, uint32_t, CY* out)
{
    if (out == nullptr)
        return E_INVALIDARG;
    exact value;
    const HRESULT hr = parse_wide(text, value);
    return SUCCEEDED(hr) ? exact_to_cy(value, *out) : hr;
}

HRESULT VarDecFromStr(const OLECHAR* text, LCID, uint32_t, DECIMAL* out)
{
    if (out == nullptr)
        return E_INVALIDARG;
    exact value;
    return exact_to_dec(parse_wide(text, value), value, out);
}

HRESULT VarR8FromStr(const OLECHAR* text, LCID, uint32_t, double* out)
{
    std::string narrow;
    if (text == nullptr || out == nullptr)
        return E_INVALIDARG;
    if (!ascii_text(text, narrow))
        return DISP_E_TYPEMISMATCH;
    return parse_double(narrow, *out);
}

HRESULT pl_ole::r8_from_text(std::string_view text, double& out) { return parse_double(text, out); }

HRESULT VarBstrFromDec(const DECIMAL* in, LCID, uint32_t, BSTR* out)
{
    if (in == nullptr || out == nullptr)
        return E_INVALIDARG;
    const std::string text = exact_text(from_decimal(*in));
    const std::wstring wide(text.begin(), text.end());
    *out = SysAllocStringLen(wide.data(), static_cast<uint32_t>(wide.size()));
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}
