// Construction, copying, byte arrays, text payloads and the numeric readings
// of a cell value. The 64-bit integers live in i8_val and ui8_val and dates in
// date; the VARIANT's tag always names the type of the whole value.
#include "OLE/ole_var.hpp"

#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/text/pl_utf8.hpp"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace {

bool is_byte_array_tag(VARTYPE vt) { return vt == ole_vt_bytes || vt == VT_BLOB; }

// A value read as a 32-bit integer; ole_cast_exception when it does not fit.
int32_t checked_long(long double value)
{
    if (!(value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max()))
        throw ole_cast_exception();
    return static_cast<int32_t>(value);
}

// A double as the nearest float; beyond the float range, the infinity of its
// sign (a plain conversion would be undefined there).
float to_nearest_float(double value)
{
    if (std::fabs(value) > double(std::numeric_limits<float>::max()) && std::isfinite(value))
        return value < 0 ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

} // namespace

bool ole_is_numeric_type(VARTYPE vt) { return vt <= VT_UINT && ((0xFF487Cu >> vt) & 1) != 0; }

ole_cast_exception::ole_cast_exception() : tk_exception("Cannot cast from source type to destination type", 0) {}

ole_type_exception::ole_type_exception() : tk_exception("The operating type is not supported yet", 1) {}

ole_variant::ole_variant() { tk_logger::log(1, "ole_variant::empty ctor"); }

ole_variant::ole_variant(const ole_variant& that)
{
    tk_logger::log(1, "ole_variant::copy ctor (that.vt=%d)", that.var.vt);
    copy_from(that);
}

ole_variant::ole_variant(const std::wstring& text)
{
    tk_logger::wlog(1, L"ole_variant::ctor from wstring(%s)", text.c_str());
    attach_wstring(text);
}

ole_variant::ole_variant(const wchar_t* text)
{
    tk_logger::wlog(1, L"ole_variant::ctor from wchar_t*(%s)", text == nullptr ? L"" : text);
    attach_wstring(text == nullptr ? std::wstring() : std::wstring(text));
}

ole_variant::ole_variant(const char* text)
{
    tk_logger::log(1, "ole_variant::ctor from char*(%s)", text == nullptr ? "" : text);
    attach_string(text == nullptr ? std::string() : std::string(text));
}

ole_variant::ole_variant(const std::vector<unsigned char>& bytes)
{
    tk_logger::log(1, "ole_variant::ole_variant( const vector<byte>& that )");
    attach_binary(bytes);
}

ole_variant::ole_variant(BSTR text)
{
    tk_logger::log(1, "Construct ole_variant from BSTR");
    var.vt = VT_BSTR;
    if (text != nullptr && (var.bstrVal = SysAllocStringLen(text, SysStringLen(text))) == nullptr)
        throw std::bad_alloc();
}

ole_variant::ole_variant(bool value)
{
    tk_logger::log(1, "ole_variant::ctor from bool (%d)", value);
    var.vt = VT_BOOL;
    var.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

ole_variant::ole_variant(char value) : ole_variant(static_cast<signed char>(value)) {}

ole_variant::ole_variant(signed char value)
{
    tk_logger::log(1, "ole_variant::ctor from char(%d)", value);
    var.vt = VT_I1;
    var.cVal = value;
}

ole_variant::ole_variant(unsigned char value)
{
    tk_logger::log(1, "ole_variant::ctor from byte(%d)", value);
    var.vt = VT_UI1;
    var.bVal = value;
}

ole_variant::ole_variant(short value)
{
    tk_logger::log(1, "ole_variant::ctor from short(%d)", value);
    var.vt = VT_I2;
    var.iVal = value;
}

ole_variant::ole_variant(unsigned short value)
{
    tk_logger::log(1, "ole_variant::ctor from ushort(%d)", value);
    var.vt = VT_UI2;
    var.uiVal = value;
}

ole_variant::ole_variant(int value)
{
    tk_logger::log(1, "ole_variant::ctor from int(%d)", value);
    var.vt = VT_I4;
    var.lVal = value;
}

ole_variant::ole_variant(unsigned int value)
{
    tk_logger::log(1, "ole_variant::ctor from uint(%u)", value);
    var.vt = VT_UI4;
    var.ulVal = value;
}

ole_variant::ole_variant(long value) : ole_variant(static_cast<long long>(value)) {}

ole_variant::ole_variant(unsigned long value) : ole_variant(static_cast<unsigned long long>(value)) {}

ole_variant::ole_variant(long long value)
{
    tk_logger::log(1, "ole_variant::ctor(hyper, %I64d)", value);
    var.vt = VT_I8;
    i8_val = value;
}

ole_variant::ole_variant(unsigned long long value)
{
    tk_logger::log(1, "ole_variant::ctor(uhyper, %I64u)", value);
    var.vt = VT_UI8;
    ui8_val = value;
}

ole_variant::ole_variant(float value)
{
    tk_logger::log(1, "ole_variant::ctor from float(%f)", value);
    var.vt = VT_R4;
    var.fltVal = value;
}

ole_variant::ole_variant(double value)
{
    tk_logger::log(1, "ole_variant::ctor from double(%e)", value);
    var.vt = VT_R8;
    var.dblVal = value;
}

ole_variant::ole_variant(const CY& value)
{
    tk_logger::log(1, "Construct ole_variant from CY");
    var.vt = VT_CY;
    var.cyVal = value;
}

ole_variant::ole_variant(const DECIMAL& value)
{
    tk_logger::log(1, "Construct ole_variant from DECIMAL");
    var.vt = VT_DECIMAL;
    var.decVal = value;
}

ole_variant::ole_variant(const ole_date& value)
{
    tk_logger::log(1, "ole_variant::ole_variant( const ole_date& )");
    var.vt = VT_DATE;
    date = value;
    refresh_variant_date();
}

ole_variant::~ole_variant()
{
    tk_logger::log(1, "ole_variant::~ole_variant");
    clear();
}

ole_variant& ole_variant::operator=(const ole_variant& that)
{
    if (this != &that)
        copy_from(that);
    return *this;
}

ole_variant& ole_variant::operator=(const std::wstring& text)
{
    attach_wstring(text);
    return *this;
}

ole_variant& ole_variant::operator=(const wchar_t* text)
{
    attach_wstring(text == nullptr ? std::wstring() : std::wstring(text));
    return *this;
}

ole_variant& ole_variant::operator=(const std::vector<unsigned char>& bytes)
{
    attach_binary(bytes);
    return *this;
}

void ole_variant::copy_from(const ole_variant& that)
{
    if (FAILED(VariantCopy(&var, &that.var)))
        throw std::bad_alloc();
    i8_val = that.i8_val;
    ui8_val = that.ui8_val;
    if (var.vt == VT_DATE) {
        date = that.date;
        refresh_variant_date();
    }
}

// The VARIANT's own date number follows the date; pure times, whose date is
// zero, have none.
void ole_variant::refresh_variant_date()
{
    if (!SystemTimeToVariantTime(&date.st, &var.date))
        tk_logger::log(2, "Failed to convert SYSTEMTIME->VARIANT");
}

void ole_variant::clear()
{
    if (is_byte_array_tag(var.vt) || var.vt == VT_SAFEARRAY) {
        SafeArrayDestroy(var.parray);
        var.parray = nullptr;
        var.vt = VT_EMPTY;
    }
    VariantClear(&var);
}

const SAFEARRAY* ole_variant::byte_array() const
{
    return is_byte_array_tag(var.vt) ? var.parray : nullptr;
}

uint32_t ole_variant::get_text_length() const { return var.vt == VT_BSTR ? SysStringLen(var.bstrVal) : 0; }

uint32_t ole_variant::get_array_size() const { return get_safe_array_size(byte_array()); }

uint32_t ole_variant::get_safe_array_size(const SAFEARRAY* array)
{
    int32_t low = 0, high = 0;
    if (SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &low)) ||
        FAILED(SafeArrayGetUBound(array, 1, &high)) || high < low)
        return 0;
    return static_cast<uint32_t>(int64_t(high) - low + 1);
}

std::vector<unsigned char>& ole_variant::convert_to_byte_array(const unsigned char* bytes, uint32_t length,
                                                               std::vector<unsigned char>& out)
{
    out.assign(bytes, bytes + length);
    return out;
}

void ole_variant::allocate_safe_array(uint32_t count)
{
    tk_logger::log(1, "ole_variant::allocate_safe_array(%u)", count);
    SAFEARRAY* array = var.parray;
    if (is_byte_array_tag(var.vt) && SafeArrayGetDim(array) == 1) {
        if (get_safe_array_size(array) == count)
            return;
        const SAFEARRAYBOUND bound{count, array->rgsabound[0].lLbound};
        if (FAILED(SafeArrayRedim(array, &bound)))
            throw tk_mail_assertion("ole_var.cpp", 1354);
        return;
    }
    clear();
    var.parray = SafeArrayCreateVector(VT_UI1, 0, count);
    if (var.parray == nullptr)
        throw tk_mail_assertion("ole_var.cpp", 1354);
    var.vt = ole_vt_bytes;
}

void ole_variant::attach_binary(const std::vector<unsigned char>& bytes)
{
    if (bytes.empty())
        return;
    allocate_safe_array(static_cast<uint32_t>(bytes.size()));
    void* data = nullptr;
    SafeArrayAccessData(var.parray, &data);
    std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(var.parray);
}

// Makes the value a BSTR of the given characters (embedded zeros kept).
void ole_variant::attach_text(const wchar_t* text, uint32_t length, int assertion_line)
{
    // A text replacing a text reuses its block where it fits.
    if (var.vt == VT_BSTR) {
        if (SysReAllocStringLen(&var.bstrVal, text, length) == 0)
            throw tk_mail_assertion("ole_var.cpp", assertion_line);
        return;
    }
    BSTR fresh = SysAllocStringLen(text, length);
    if (fresh == nullptr)
        throw tk_mail_assertion("ole_var.cpp", assertion_line);
    clear();
    var.vt = VT_BSTR;
    var.bstrVal = fresh;
}

void ole_variant::attach_string(const std::string& utf8)
{
    const std::wstring wide = platform::from_utf8(utf8);
    attach_text(wide.data(), static_cast<uint32_t>(wide.size()), 1434);
}

void ole_variant::attach_wstring(const std::wstring& text)
{
    attach_text(text.data(), static_cast<uint32_t>(text.size()), 1469);
}

int ole_variant::get_bytes1(const unsigned char*& bytes, std::unique_ptr<char[]>& buffer) const
{
    bytes = nullptr;
    switch (var.vt) {
    case VT_EMPTY:
    case VT_NULL:
        tk_logger::log(1, "OLE_Variant is empty");
        return 0;
    case VT_BSTR: {
        std::string text;
        if (var.bstrVal == nullptr || !tk_unicode_to_ansi3(var.bstrVal, text))
            return 0;
        buffer = std::make_unique<char[]>(text.size() + 1);
        std::memcpy(buffer.get(), text.c_str(), text.size() + 1);
        bytes = reinterpret_cast<const unsigned char*>(buffer.get());
        return static_cast<int>(text.size());
    }
    case ole_vt_bytes:
    case VT_BLOB:
        if (SafeArrayGetDim(var.parray) != 1)
            return 0;
        bytes = static_cast<const unsigned char*>(var.parray->pvData);
        return static_cast<int>(get_safe_array_size(var.parray));
    default:
        throw tk_mail_assertion("ole_var.cpp", 1235);
    }
}

bool ole_variant::to_bool() const
{
    tk_logger::log(1, "ole_variant::to_bool (vt=%d)", var.vt);
    switch (var.vt) {
    case VT_BOOL: return var.uiVal == 0xFFFF;
    case VT_I8: return i8_val != 0;
    case VT_UI8: return ui8_val != 0;
    case VT_I2: case VT_I4: case VT_UI4: case VT_R4: case VT_R8: case VT_CY: case VT_DECIMAL:
    case VT_I1: case VT_UI1: case VT_UI2:
        return to_double() != 0.0;
    default: return false;
    }
}

int32_t ole_variant::to_long() const
{
    tk_logger::log(1, "ole_variant::to_long (vt=%d)", var.vt);
    switch (var.vt) {
    case VT_EMPTY: case VT_NULL: return 0;
    case VT_BOOL: return var.uiVal == 0xFFFF ? 1 : 0;
    case VT_R4: return checked_long(std::trunc(static_cast<long double>(var.fltVal)));
    case VT_R8: return checked_long(std::trunc(static_cast<long double>(var.dblVal)));
    case VT_CY: {
        int32_t out = 0;
        if (FAILED(VarI4FromCy(var.cyVal, &out)))
            throw ole_cast_exception();
        return out;
    }
    case VT_DECIMAL: {
        int32_t out = 0;
        if (FAILED(VarI4FromDec(&var.decVal, &out)))
            throw ole_cast_exception();
        return out;
    }
    case VT_I2: case VT_I4: case VT_UI4: case VT_I1: case VT_UI1: case VT_UI2: case VT_I8: case VT_UI8:
        return checked_long(to_double());
    default: return 0;
    }
}

double ole_variant::to_double() const
{
    tk_logger::log(1, "ole_variant::to_double (vt=%d)", var.vt);
    double out = 0;
    switch (var.vt) {
    case VT_EMPTY: case VT_NULL: return 0;
    case VT_I2: return var.iVal;
    case VT_I4: return var.lVal;
    case VT_UI4: return var.ulVal;
    case VT_R4: return var.fltVal;
    case VT_R8: return var.dblVal;
    case VT_CY: return SUCCEEDED(VarR8FromCy(var.cyVal, &out)) ? out : 0;
    case VT_BOOL: return var.uiVal == 0xFFFF ? 1.0 : 0.0;
    case VT_DECIMAL: return SUCCEEDED(VarR8FromDec(&var.decVal, &out)) ? out : 0;
    case VT_I1: return var.cVal;
    case VT_UI1: return var.bVal;
    case VT_UI2: return var.uiVal;
    case VT_I8: return static_cast<double>(i8_val);
    case VT_UI8: return static_cast<double>(ui8_val);
    default: throw tk_mail_assertion("ole_var.cpp", 940);
    }
}

float ole_variant::to_float() const
{
    tk_logger::log(1, "ole_variant::to_float (vt=%d)", var.vt);
    float out = 0;
    switch (var.vt) {
    case VT_CY: return SUCCEEDED(VarR4FromCy(var.cyVal, &out)) ? out : 0;
    case VT_DECIMAL: return SUCCEEDED(VarR4FromDec(&var.decVal, &out)) ? out : 0;
    case VT_I8: return static_cast<float>(i8_val);
    case VT_UI8: return static_cast<float>(ui8_val);
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_UI4: case VT_R4: case VT_R8: case VT_BOOL:
    case VT_I1: case VT_UI1: case VT_UI2:
        return to_nearest_float(to_double());
    default: throw tk_mail_assertion("ole_var.cpp", 800);
    }
}
