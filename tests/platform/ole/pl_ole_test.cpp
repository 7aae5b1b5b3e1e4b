// The OLE Automation layer: strings, arrays, variant copies, type changes,
// the named conversions, variant dates and reference counting.
#include "platform/ole/pl_ole.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>

namespace {

// A VARIANT that clears itself.
struct var_guard {
    VARIANT v{};
    ~var_guard() { VariantClear(&v); }
};

VARIANT text_variant(const wchar_t* text)
{
    VARIANT v{};
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    return v;
}

// The text a VARIANT converts to, or "!" and the failure code.
std::wstring as_text(const VARIANT& v)
{
    var_guard out;
    const HRESULT hr = VariantChangeType(&out.v, &v, 0, VT_BSTR);
    if (FAILED(hr))
        return L"!" + std::to_wstring(static_cast<uint32_t>(hr));
    return std::wstring(out.v.bstrVal, SysStringLen(out.v.bstrVal));
}

DECIMAL decimal_of(const wchar_t* text)
{
    DECIMAL d{};
    EXPECT_EQ(VarDecFromStr(text, LCID_EN_US, 0, &d), S_OK) << text;
    return d;
}

std::wstring decimal_text(const DECIMAL& d)
{
    BSTR text = nullptr;
    EXPECT_EQ(VarBstrFromDec(&d, LCID_EN_US, 0, &text), S_OK);
    std::wstring out(text, SysStringLen(text));
    SysFreeString(text);
    return out;
}

} // namespace

TEST(PlBstr, KeepsEmbeddedZerosAndCountsNullAsEmpty)
{
    const wchar_t text[] = {L'a', 0, L'b'};
    BSTR s = SysAllocStringLen(text, 3);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(SysStringByteLen(s), 3 * sizeof(wchar_t));
    EXPECT_EQ(s[1], 0);
    EXPECT_EQ(s[2], L'b');
    EXPECT_EQ(s[3], 0);  // zero-terminated too
    SysFreeString(s);

    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    SysFreeString(nullptr);
    BSTR zeros = SysAllocStringLen(nullptr, 2);
    EXPECT_EQ(SysStringLen(zeros), 2u);
    EXPECT_EQ(zeros[0], 0);
    SysFreeString(zeros);
}

// A string replaced again and again (a field of row after row) keeps its
// block while the new text fits, and is whole and terminated every time.
TEST(PlBstr, ReallocationReusesTheBlockWhileTheTextFits)
{
    BSTR s = SysAllocString(L"twelve chars");
    const BSTR first = s;
    ASSERT_EQ(SysReAllocStringLen(&s, L"short", 5), 1);
    EXPECT_EQ(s, first);
    EXPECT_EQ(std::wstring(bstr_view(s)), L"short");
    EXPECT_EQ(s[5], 0);

    // Back to the block's whole room, then from a part of itself.
    ASSERT_EQ(SysReAllocStringLen(&s, L"twelve chars", 12), 1);
    EXPECT_EQ(s, first);
    ASSERT_EQ(SysReAllocStringLen(&s, s + 7, 5), 1);
    EXPECT_EQ(std::wstring(bstr_view(s)), L"chars");

    // A null text gives room of that length for the caller to fill.
    ASSERT_EQ(SysReAllocStringLen(&s, nullptr, 3), 1);
    EXPECT_EQ(s, first);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(s[3], 0);

    // Beyond the room: a new block with the whole text.
    const std::wstring longer(40, L'x');
    ASSERT_EQ(SysReAllocStringLen(&s, longer.data(), 40), 1);
    EXPECT_EQ(std::wstring(bstr_view(s)), longer);
    EXPECT_EQ(s[40], 0);

    // A null string gets a block; a null place is refused.
    BSTR none = nullptr;
    ASSERT_EQ(SysReAllocStringLen(&none, L"ab", 2), 1);
    EXPECT_EQ(std::wstring(bstr_view(none)), L"ab");
    EXPECT_EQ(SysReAllocStringLen(nullptr, L"ab", 2), 0);
    SysFreeString(none);
    SysFreeString(s);
}

TEST(PlSafeArray, CreatesRedimensionsLocksAndCopies)
{
    SAFEARRAY* a = SafeArrayCreateVector(VT_UI1, 5, 3);
    ASSERT_NE(a, nullptr);
    int32_t low = 0, high = 0;
    EXPECT_EQ(SafeArrayGetDim(a), 1u);
    EXPECT_EQ(SafeArrayGetLBound(a, 1, &low), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(a, 1, &high), S_OK);
    EXPECT_EQ(low, 5);
    EXPECT_EQ(high, 7);
    EXPECT_EQ(SafeArrayGetLBound(a, 2, &low), DISP_E_BADINDEX);

    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(a, &data), S_OK);
    static_cast<unsigned char*>(data)[0] = 0xAB;
    EXPECT_EQ(SafeArrayDestroy(a), DISP_E_ARRAYISLOCKED);
    const SAFEARRAYBOUND bigger{5, 5};
    EXPECT_EQ(SafeArrayRedim(a, &bigger), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnaccessData(a), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(a), E_INVALIDARG);

    ASSERT_EQ(SafeArrayRedim(a, &bigger), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(a, 1, &high), S_OK);
    EXPECT_EQ(high, 9);
    const auto* bytes = static_cast<const unsigned char*>(a->pvData);
    EXPECT_EQ(bytes[0], 0xAB);  // kept
    EXPECT_EQ(bytes[4], 0);     // new elements are zero

    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(a, &copy), S_OK);
    EXPECT_NE(copy->pvData, a->pvData);
    EXPECT_EQ(static_cast<const unsigned char*>(copy->pvData)[0], 0xAB);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
    EXPECT_EQ(SafeArrayDestroy(a), S_OK);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

TEST(PlSafeArray, RefusesElementsWithoutFixedSizeAndKeepsShapes)
{
    const SAFEARRAYBOUND two[] = {{2, 0}, {3, 1}};
    EXPECT_EQ(SafeArrayCreate(VT_BSTR, 1, two), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_UI1, 0, two), nullptr);
    SAFEARRAY* a = SafeArrayCreate(VT_UI1, 2, two);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(SafeArrayGetDim(a), 2u);
    EXPECT_EQ(a->storage.size(), 6u);
    SafeArrayDestroy(a);
}

TEST(PlVariant, CopyIsDeepAndClearZeroesTheUnion)
{
    var_guard a, b;
    a.v = text_variant(L"abc");
    b.v.vt = VT_I4;
    b.v.lVal = 7;
    ASSERT_EQ(VariantCopy(&b.v, &a.v), S_OK);
    EXPECT_EQ(b.v.vt, VT_BSTR);
    EXPECT_NE(b.v.bstrVal, a.v.bstrVal);
    EXPECT_EQ(std::wstring(b.v.bstrVal), L"abc");

    var_guard arr, arr_copy;
    arr.v.vt = VT_ARRAY | VT_UI1;
    arr.v.parray = SafeArrayCreateVector(VT_UI1, 0, 2);
    ASSERT_EQ(VariantCopy(&arr_copy.v, &arr.v), S_OK);
    EXPECT_NE(arr_copy.v.parray, arr.v.parray);

    ASSERT_EQ(VariantClear(&b.v), S_OK);
    EXPECT_EQ(b.v.vt, VT_EMPTY);
    EXPECT_EQ(b.v.llVal, 0);
    EXPECT_EQ(b.v.decVal.Hi32, 0u);
}

TEST(PlVariant, ChangeTypeTable)
{
    struct row {
        VARTYPE from;
        double value;  // for numeric sources
        VARTYPE to;
        std::wstring text;  // the result as text, or "!" and the failure code
    };
    const std::wstring overflow = L"!" + std::to_wstring(static_cast<uint32_t>(DISP_E_OVERFLOW));
    const std::wstring mismatch = L"!" + std::to_wstring(static_cast<uint32_t>(DISP_E_TYPEMISMATCH));
    const row rows[] = {
        {VT_R8, 2.5, VT_I4, L"2"},         // half to even
        {VT_R8, 3.5, VT_I4, L"4"},
        {VT_R8, -2.5, VT_I4, L"-2"},
        {VT_R8, 1.5, VT_CY, L"1.5"},
        {VT_R8, 0.1, VT_R8, L"0.1"},
        {VT_R8, 1e20, VT_R8, L"1E+20"},
        {VT_R8, 32767.5, VT_I2, overflow},  // rounds to 32768
        {VT_R8, -0.5, VT_UI1, L"0"},
        {VT_R8, -1, VT_UI4, overflow},
        {VT_R8, 1e10, VT_I4, overflow},
        {VT_R8, std::numeric_limits<double>::quiet_NaN(), VT_I8, overflow},
        {VT_R8, std::numeric_limits<double>::infinity(), VT_BSTR, overflow},
        {VT_R8, 1e300, VT_R4, overflow},
        {VT_R8, 1e300, VT_DECIMAL, overflow},
        {VT_R8, 9.3e14, VT_CY, overflow},
        {VT_R8, 45351.5, VT_DATE, L"2024-02-29 12:00:00"},
        {VT_R8, 1e9, VT_DATE, overflow},
        {VT_R8, 3, VT_BOOL, L"-1"},
        {VT_R8, 0, VT_BOOL, L"0"},
        {VT_I4, 70000, VT_I2, overflow},
        {VT_I4, -1, VT_UI2, overflow},
        {VT_I4, 255, VT_UI1, L"255"},
        {VT_I4, 42, VT_DECIMAL, L"42"},
        {VT_I4, 42, VT_NULL, mismatch},
        {VT_I4, 42, VT_EMPTY, L""},
        {VT_EMPTY, 0, VT_I4, L"0"},
        {VT_NULL, 0, VT_I4, mismatch},
    };
    for (const row& r : rows) {
        var_guard src, out;
        src.v.vt = r.from;
        if (r.from == VT_R8)
            src.v.dblVal = r.value;
        else if (r.from == VT_I4)
            src.v.lVal = static_cast<int32_t>(r.value);
        const HRESULT hr = VariantChangeType(&out.v, &src.v, 0, r.to);
        std::wstring got;
        if (FAILED(hr)) {
            got = L"!" + std::to_wstring(static_cast<uint32_t>(hr));
            EXPECT_EQ(out.v.vt, VT_EMPTY);  // untouched
        } else {
            EXPECT_EQ(out.v.vt, r.to);
            got = as_text(out.v);
        }
        EXPECT_EQ(got, r.text) << r.from << " " << r.value << " -> " << r.to;
    }
}

TEST(PlVariant, TextIsReadByADecimalOnlyParser)
{
    struct row {
        const wchar_t* text;
        VARTYPE to;
        std::wstring expected;
    };
    const std::wstring mismatch = L"!" + std::to_wstring(static_cast<uint32_t>(DISP_E_TYPEMISMATCH));
    const std::wstring overflow = L"!" + std::to_wstring(static_cast<uint32_t>(DISP_E_OVERFLOW));
    const row rows[] = {
        {L"12", VT_I4, L"12"},
        {L" -12 ", VT_I2, L"-12"},
        {L"2.5", VT_I4, L"2"},
        {L"1.5e3", VT_I8, L"1500"},
        {L"+.5", VT_R8, L"0.5"},
        {L"1e-400", VT_R8, L"0"},
        {L"12abc", VT_I4, mismatch},
        {L"inf", VT_R8, mismatch},
        {L"-infinity", VT_R8, mismatch},
        {L"nan", VT_R8, mismatch},
        {L"0x1p3", VT_R8, mismatch},
        {L"0x10", VT_I4, mismatch},
        {L"", VT_I4, mismatch},
        {L".", VT_R8, mismatch},
        {L"1e", VT_R8, mismatch},
        {L"1,5", VT_R8, mismatch},
        {L"1e400", VT_R8, overflow},
        {L"0.001e312", VT_R8, overflow},
        {L"1000000e-330", VT_R8, L"0"},
        {L"99999", VT_I2, overflow},
        {L"1e30", VT_I8, overflow},
        {L"True", VT_BOOL, L"-1"},
        {L"false", VT_BOOL, L"0"},
        {L"2", VT_BOOL, L"-1"},
        {L"922337203685477.5807", VT_CY, L"922337203685477.5807"},
        {L"922337203685477.5808", VT_CY, overflow},
        {L"2024-01-02 03:04:05", VT_DATE, L"2024-01-02 03:04:05"},
        {L"not a date", VT_DATE, mismatch},
        {L"caf\u00e9", VT_I4, mismatch},
    };
    for (const row& r : rows) {
        var_guard src, out;
        src.v = text_variant(r.text);
        const HRESULT hr = VariantChangeType(&out.v, &src.v, 0, r.to);
        const std::wstring got = FAILED(hr) ? L"!" + std::to_wstring(static_cast<uint32_t>(hr)) : as_text(out.v);
        EXPECT_EQ(got, r.expected) << r.text << " -> " << r.to;
    }
}

TEST(PlVariant, ChangeTypeInPlaceFreesTheOldString)
{
    var_guard v;
    v.v = text_variant(L"41");
    ASSERT_EQ(VariantChangeType(&v.v, &v.v, 0, VT_UI1), S_OK);
    EXPECT_EQ(v.v.vt, VT_UI1);
    EXPECT_EQ(v.v.bVal, 41);
    var_guard b;
    b.v.vt = VT_BOOL;
    b.v.boolVal = VARIANT_TRUE;
    var_guard t;
    ASSERT_EQ(VariantChangeType(&t.v, &b.v, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
    EXPECT_EQ(std::wstring(t.v.bstrVal), L"True");
    EXPECT_EQ(VariantChangeType(&t.v, &b.v, 0, 0x7FF), DISP_E_BADVARTYPE);
}

TEST(PlVarConversions, RoundHalfToEvenAndReportOverflow)
{
    int64_t i8 = 0;
    uint64_t u8 = 0;
    int32_t i4 = 0;
    EXPECT_EQ(VarI8FromR8(2.5, &i8), S_OK);
    EXPECT_EQ(i8, 2);
    EXPECT_EQ(VarI8FromR8(-3.5, &i8), S_OK);
    EXPECT_EQ(i8, -4);
    EXPECT_EQ(VarI8FromR4(1.5f, &i8), S_OK);
    EXPECT_EQ(i8, 2);
    i8 = 99;
    EXPECT_EQ(VarI8FromR8(9.3e18, &i8), DISP_E_OVERFLOW);
    EXPECT_EQ(i8, 99);  // untouched
    EXPECT_EQ(VarI8FromR8(std::nan(""), &i8), DISP_E_OVERFLOW);
    EXPECT_EQ(VarUI8FromR8(-1.0, &u8), DISP_E_OVERFLOW);
    EXPECT_EQ(VarUI8FromR8(1.8e19, &u8), S_OK);
    EXPECT_EQ(VarUI8FromR4(-0.4f, &u8), S_OK);
    EXPECT_EQ(u8, 0u);
    EXPECT_EQ(VarI4FromR8(-2147483648.4, &i4), S_OK);
    EXPECT_EQ(i4, std::numeric_limits<int32_t>::min());

    CY cy{};
    EXPECT_EQ(VarCyFromI8(922337203685477, &cy), S_OK);
    EXPECT_EQ(cy.int64, 9223372036854770000);
    EXPECT_EQ(VarCyFromI8(922337203685478, &cy), DISP_E_OVERFLOW);
    EXPECT_EQ(VarCyFromR8(1.00005, &cy), S_OK);
    EXPECT_EQ(cy.int64, 10000);  // 1.00005 rounds half to even at four places
    cy.int64 = 25000;            // 2.5
    EXPECT_EQ(VarI4FromCy(cy, &i4), S_OK);
    EXPECT_EQ(i4, 2);
    cy.int64 = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(VarI4FromCy(cy, &i4), DISP_E_OVERFLOW);
    EXPECT_EQ(VarI8FromCy(cy, &i8), S_OK);
    EXPECT_EQ(i8, 922337203685478);
    double r8 = 0;
    EXPECT_EQ(VarR8FromCy(CY{-15000}, &r8), S_OK);
    EXPECT_EQ(r8, -1.5);

    const DECIMAL d = decimal_of(L"32767.5");
    int16_t i2 = 0;
    uint16_t u2 = 0;
    int8_t i1 = 0;
    EXPECT_EQ(VarI2FromDec(&d, &i2), DISP_E_OVERFLOW);
    EXPECT_EQ(VarUI2FromDec(&d, &u2), S_OK);
    EXPECT_EQ(u2, 32768);
    const DECIMAL neg = decimal_of(L"-128.5");
    EXPECT_EQ(VarI1FromDec(&neg, &i1), S_OK);
    EXPECT_EQ(i1, -128);
    const DECIMAL neg2 = decimal_of(L"-129.5");
    EXPECT_EQ(VarI1FromDec(&neg2, &i1), DISP_E_OVERFLOW);
    EXPECT_EQ(VarR8FromDec(&neg, &r8), S_OK);
    EXPECT_EQ(r8, -128.5);
}

TEST(PlVarConversions, DecimalRoundTripsTwentyEightDigitsAndRoundsBeyond)
{
    struct row {
        const wchar_t* text;
        const wchar_t* printed;
    };
    const row rows[] = {
        {L"1234567890123456789012345678", L"1234567890123456789012345678"},
        {L"-0.1234567890123456789012345678", L"-0.1234567890123456789012345678"},
        {L"79228162514264337593543950335", L"79228162514264337593543950335"},  // 2^96 - 1
        {L"1.23456789012345678901234567891", L"1.2345678901234567890123456789"},
        {L"0.00000000000000000000000000005", L"0.0000000000000000000000000000"},  // half to even
        {L"0.00000000000000000000000000015", L"0.0000000000000000000000000002"},
        {L"12345678901234567890123456785.5", L"12345678901234567890123456786"},
        {L"1.50", L"1.50"},
        {L"1e3", L"1000"},
        {L"-0", L"0"},
        {L"000123.4500", L"123.4500"},
    };
    for (const row& r : rows)
        EXPECT_EQ(decimal_text(decimal_of(r.text)), r.printed) << r.text;

    DECIMAL d{};
    EXPECT_EQ(VarDecFromStr(L"79228162514264337593543950336", LCID_EN_US, 0, &d), DISP_E_OVERFLOW);
    EXPECT_EQ(VarDecFromStr(L"1e29", LCID_EN_US, 0, &d), DISP_E_OVERFLOW);
    EXPECT_EQ(VarDecFromStr(L"nan", LCID_EN_US, 0, &d), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VarDecFromR8(0.1, &d), S_OK);
    EXPECT_EQ(decimal_text(d), L"0.1");
    EXPECT_EQ(VarDecFromI8(std::numeric_limits<int64_t>::min(), &d), S_OK);
    EXPECT_EQ(decimal_text(d), L"-9223372036854775808");
    EXPECT_EQ(VarDecFromUI8(std::numeric_limits<uint64_t>::max(), &d), S_OK);
    EXPECT_EQ(decimal_text(d), L"18446744073709551615");
    uint64_t u8 = 0;
    EXPECT_EQ(VarUI8FromDec(&d, &u8), S_OK);
    EXPECT_EQ(u8, std::numeric_limits<uint64_t>::max());
    int64_t i8 = 0;
    EXPECT_EQ(VarI8FromDec(&d, &i8), DISP_E_OVERFLOW);
}

TEST(PlVariantTime, ConvertsBothWaysAndRoundsToTheSecond)
{
    struct row {
        SYSTEMTIME st;
        DATE date;
    };
    const row rows[] = {
        {{1899, 12, 0, 30, 0, 0, 0, 0}, 0.0},
        {{1900, 1, 0, 1, 0, 0, 0, 0}, 2.0},
        {{2024, 2, 0, 29, 12, 0, 0, 0}, 45351.5},
        {{1899, 12, 0, 29, 6, 0, 0, 0}, -1.25},
        {{100, 1, 0, 1, 0, 0, 0, 0}, -657434.0},
        {{9999, 12, 0, 31, 0, 0, 0, 0}, 2958465.0},
    };
    for (const row& r : rows) {
        DATE d = 0;
        ASSERT_TRUE(SystemTimeToVariantTime(&r.st, &d)) << r.date;
        EXPECT_DOUBLE_EQ(d, r.date);
        SYSTEMTIME back{};
        ASSERT_TRUE(VariantTimeToSystemTime(d, &back));
        EXPECT_EQ(back.wYear, r.st.wYear);
        EXPECT_EQ(back.wMonth, r.st.wMonth);
        EXPECT_EQ(back.wDay, r.st.wDay);
        EXPECT_EQ(back.wHour, r.st.wHour);
    }
    SYSTEMTIME st{};
    ASSERT_TRUE(VariantTimeToSystemTime(0.6 / 86400, &st));
    EXPECT_EQ(st.wSecond, 1);
    EXPECT_EQ(st.wMilliseconds, 0);
    ASSERT_TRUE(VariantTimeToSystemTime(1.0 - 0.2 / 86400, &st));  // rounds into the next day
    EXPECT_EQ(st.wDay, 31);
    EXPECT_EQ(st.wHour, 0);
    EXPECT_EQ(st.wDayOfWeek, 0);  // 1899-12-31 was a Sunday

    const SYSTEMTIME bad[] = {{2023, 2, 0, 29, 0, 0, 0, 0}, {2024, 13, 0, 1, 0, 0, 0, 0},
                              {2024, 1, 0, 1, 24, 0, 0, 0}, {99, 1, 0, 1, 0, 0, 0, 0},
                              {0, 0, 0, 0, 10, 0, 0, 0}};
    DATE d = 0;
    for (const SYSTEMTIME& s : bad)
        EXPECT_FALSE(SystemTimeToVariantTime(&s, &d)) << s.wYear << "-" << s.wMonth << "-" << s.wDay;
    EXPECT_FALSE(VariantTimeToSystemTime(std::nan(""), &st));
    EXPECT_FALSE(VariantTimeToSystemTime(3e6, &st));
}

TEST(PlVariantTime, PlainDateParserForms)
{
    struct row {
        const wchar_t* text;
        const wchar_t* printed;  // null: not a date
    };
    const row rows[] = {
        {L"2024-01-02", L"2024-01-02"},
        {L"2024/1/2 3:04", L"2024-01-02 03:04:00"},
        {L"1/2/2024", L"2024-01-02"},
        {L"13/2/2024", L"2024-02-13"},
        {L"2.1.2024 23:59:59", L"2024-01-02 23:59:59"},
        {L"Jan 2, 2024", L"2024-01-02"},
        {L"2 January 2024 3:15 PM", L"2024-01-02 15:15:00"},
        {L"12:30 AM", L"00:30:00"},
        {L"1/2/99", L"1999-01-02"},
        {L"1/2/29", L"2029-01-02"},
        {L"2024-02-30", nullptr},
        {L"2024-01-02 24:00", nullptr},
        {L"10:60", nullptr},
        {L"13:00 PM", nullptr},
        {L"12", nullptr},
        {L"hello world", nullptr},
        {L"Foo 2, 2024", nullptr},
        {L"1/2", nullptr},
        {L"", nullptr},
        {L"2024-01-02T03:04", nullptr},
    };
    for (const row& r : rows) {
        DATE d = 0;
        const HRESULT hr = VarDateFromStr(r.text, LOCALE_SYSTEM_DEFAULT, 0, &d);
        if (r.printed == nullptr) {
            EXPECT_EQ(hr, DISP_E_TYPEMISMATCH) << r.text;
            continue;
        }
        ASSERT_EQ(hr, S_OK) << r.text;
        VARIANT v{};
        v.vt = VT_DATE;
        v.date = d;
        EXPECT_EQ(as_text(v), r.printed) << r.text;
    }
}

namespace {

constexpr IID iid_probe = {0x12345678, 1, 2, {1, 2, 3, 4, 5, 6, 7, 8}};

struct probe : pl_unknown {
    explicit probe(bool& gone) : gone(gone) {}
    ~probe() override { gone = true; }
    void* query_interface(REFIID iid) override { return iid == iid_probe ? this : nullptr; }
    bool& gone;
};

} // namespace

TEST(PlUnknown, CountsReferencesAndAnswersItsInterfaces)
{
    bool gone = false;
    IUnknown* object = new probe(gone);  // owned by its reference count
    EXPECT_EQ(object->AddRef(), 2u);
    void* out = nullptr;
    EXPECT_EQ(object->QueryInterface(iid_probe, &out), S_OK);
    EXPECT_EQ(out, static_cast<void*>(static_cast<probe*>(object)));
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(object->QueryInterface(IID{9, 9, 9, {}}, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(object->Release(), 3u);
    EXPECT_EQ(object->Release(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_FALSE(gone);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_TRUE(gone);
}
