// The value types of OLE Automation as the rest of the system uses them: type
// tags, the tagged VARIANT, truth values, currency, decimals, dates, system
// times, length-prefixed strings, arrays and result codes. The names are the
// ones the calling code was written against; the layouts are our own.
#pragma once

#include <cstdint>

using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
using DATE = double;  // days since 1899-12-30; the fraction is the time of day
using HRESULT = int32_t;
using LCID = uint32_t;
using OLECHAR = wchar_t;
// A length-prefixed wide string: the 32-bit byte count sits just before the
// first character; embedded zeros are kept; a null BSTR counts as empty.
using BSTR = OLECHAR*;

enum : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_SAFEARRAY = 27,
    VT_BLOB = 65,
    VT_BLOB_OBJECT = 70,
    VT_ARRAY = 0x2000,
};

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Result codes: negative values are failures.
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);
constexpr HRESULT DISP_E_ARRAYISLOCKED = static_cast<HRESULT>(0x8002000Du);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// Locales: only the point is ever used as the decimal separator here, so the
// locale arguments are accepted and ignored.
constexpr LCID LOCALE_USER_DEFAULT = 0x400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x800;
constexpr LCID LCID_EN_US = 1033;

// Currency: the value times 10,000 in a signed 64-bit integer.
struct CY {
    int64_t int64;
};

// A 96-bit unsigned mantissa, a power-of-ten scale (0 to 28) and a sign;
// the value is (-1)^sign * mantissa / 10^scale.
struct DECIMAL {
    uint16_t wReserved;
    uint8_t scale;
    uint8_t sign;  // DECIMAL_NEG or 0
    uint32_t Hi32;
    uint64_t Lo64;
};
constexpr uint8_t DECIMAL_NEG = 0x80;
constexpr uint8_t DECIMAL_MAX_SCALE = 28;

struct SYSTEMTIME {
    uint16_t wYear;
    uint16_t wMonth;
    uint16_t wDayOfWeek;
    uint16_t wDay;
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
};

struct SAFEARRAY;
struct IUnknown;

// The tagged value. Initialising and clearing it zero the whole union, so a
// payload read under the wrong tag is at worst zero, never stale.
struct VARIANT {
    VARTYPE vt;
    uint16_t wReserved1;
    uint16_t wReserved2;
    uint16_t wReserved3;
    union {
        DECIMAL decVal;  // first and largest: "VARIANT v{}" zeroes the whole union
        int64_t llVal;
        uint64_t ullVal;
        int32_t lVal;
        uint32_t ulVal;
        int32_t intVal;
        uint32_t uintVal;
        int16_t iVal;
        uint16_t uiVal;
        int8_t cVal;
        uint8_t bVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        HRESULT scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        SAFEARRAY* parray;
    };
};
