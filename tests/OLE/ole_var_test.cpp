// The cell value: construction, copies, byte arrays, type changes, numeric
// readings, text forms and parsers.
#include "OLE/ole_var.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

// Reaches the VARIANT to set payloads no constructor makes.
struct raw_variant : ole_variant {
    using ole_variant::ole_variant;
    VARIANT& raw() { return var; }
};

ole_variant bytes_value(std::vector<unsigned char> bytes) { return ole_variant(bytes); }

ole_variant decimal_value(const wchar_t* text)
{
    DECIMAL d{};
    EXPECT_EQ(VarDecFromStr(text, LCID_EN_US, 0, &d), S_OK);
    return ole_variant(d);
}

ole_date date_of(int y, int m, int d, int h, int mi, int s)
{
    SYSTEMTIME st{};
    st.wYear = uint16_t(y);
    st.wMonth = uint16_t(m);
    st.wDay = uint16_t(d);
    st.wHour = uint16_t(h);
    st.wMinute = uint16_t(mi);
    st.wSecond = uint16_t(s);
    return ole_date(st);
}

} // namespace

TEST(OleVariant, ConstructorsPickTheTypeByArgument)
{
    struct row {
        ole_variant value;
        VARTYPE type;
        std::string text;
    };
    const row rows[] = {
        {ole_variant(), VT_EMPTY, ""},
        {ole_variant(L"abc"), VT_BSTR, "abc"},  // text, never a bool
        {ole_variant("h\xC3\xA9"), VT_BSTR, "h\xC3\xA9"},
        {ole_variant(std::wstring(L"x")), VT_BSTR, "x"},
        {ole_variant(true), VT_BOOL, "1"},
        {ole_variant(false), VT_BOOL, "0"},
        {ole_variant(static_cast<signed char>(-5)), VT_I1, "-5"},
        {ole_variant('A'), VT_I1, "65"},
        {ole_variant(static_cast<unsigned char>(200)), VT_UI1, "200"},
        {ole_variant(static_cast<short>(-300)), VT_I2, "-300"},
        {ole_variant(static_cast<unsigned short>(60000)), VT_UI2, "60000"},
        {ole_variant(-70000), VT_I4, "-70000"},
        {ole_variant(4000000000u), VT_UI4, "4000000000"},
        {ole_variant(std::numeric_limits<long>::min()), VT_I8, "-9223372036854775808"},
        {ole_variant(std::numeric_limits<long long>::min()), VT_I8, "-9223372036854775808"},
        {ole_variant(std::numeric_limits<unsigned long>::max()), VT_UI8, "18446744073709551615"},
        {ole_variant(std::numeric_limits<unsigned long long>::max()), VT_UI8, "18446744073709551615"},
        {ole_variant(int64_t(5)), VT_I8, "5"},
        {ole_variant(1.5f), VT_R4, "1.500000e+00"},
        {ole_variant(1.5), VT_R8, "1.5000000000000000e+00"},
        {ole_variant(CY{15000}), VT_CY, "1.5"},
        {decimal_value(L"-1.25"), VT_DECIMAL, "-1.25"},
        {ole_variant(date_of(2024, 1, 2, 3, 4, 5)), VT_DATE, "2024-01-02 03:04:05"},
        {bytes_value({0x0A, 0xFF}), ole_vt_bytes, "0x0AFF"},
        {bytes_value({}), VT_EMPTY, ""},
    };
    for (const row& r : rows) {
        EXPECT_EQ(r.value.get_type(), r.type) << r.text;
        EXPECT_EQ(r.value.to_string(), r.text);
    }
}

TEST(OleVariant, CopiesAreDeepAndKeepSideFieldsAndDates)
{
    ole_variant text(L"abc");
    ole_variant copy(text);
    EXPECT_NE(copy.get_variant().bstrVal, text.get_variant().bstrVal);
    text = L"changed";
    EXPECT_EQ(copy.to_wstring(), L"abc");

    ole_variant big(int64_t(1) << 40);
    ole_variant big_copy;
    big_copy = big;
    EXPECT_EQ(big_copy.get_i8(), int64_t(1) << 40);
    EXPECT_EQ(big_copy.get_variant().llVal, 0);  // the number lives in the side field only

    ole_variant when(date_of(2024, 2, 29, 12, 0, 0));
    ole_variant when_copy(when);
    EXPECT_EQ(when_copy.get_date().to_string(6), "2024-02-29 12:00:00");
    EXPECT_DOUBLE_EQ(when_copy.get_variant().date, 45351.5);

    ole_variant bytes = bytes_value({1, 2});
    ole_variant bytes_copy;
    bytes_copy = bytes;
    EXPECT_NE(bytes_copy.get_variant().parray, bytes.get_variant().parray);
    bytes_copy = bytes_copy;  // self-assignment keeps the value
    EXPECT_EQ(bytes_copy.to_string(), "0x0102");
}

TEST(OleVariant, ByteArraysAndTextPayloads)
{
    ole_variant v(258);
    v.attach_binary({});
    EXPECT_EQ(v.get_type(), VT_I4);  // an empty vector changes nothing

    v.allocate_safe_array(3);
    EXPECT_EQ(v.get_type(), ole_vt_bytes);
    EXPECT_EQ(v.get_array_size(), 3u);
    v.attach_binary({7, 8, 9, 10});  // re-dimensioned in place
    EXPECT_EQ(v.to_string(), "0x0708090A");
    EXPECT_EQ(v.get_text_length(), 0u);

    const unsigned char* bytes = nullptr;
    std::unique_ptr<char[]> buffer;
    EXPECT_EQ(v.get_bytes1(bytes, buffer), 4);
    EXPECT_EQ(bytes[3], 10);
    EXPECT_EQ(buffer, nullptr);  // the array's own bytes

    v.attach_string("caf\xC3\xA9");
    EXPECT_EQ(v.get_type(), VT_BSTR);
    EXPECT_EQ(v.get_text_length(), 4u);
    EXPECT_EQ(v.get_array_size(), 0u);
    EXPECT_EQ(v.get_bytes1(bytes, buffer), 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes)), "caf\xC3\xA9");

    v.attach_wstring(std::wstring(L"a\0b", 3));
    EXPECT_EQ(v.get_text_length(), 3u);
    // A zero inside a cell's text is data: both text forms keep what follows it.
    EXPECT_EQ(v.to_wstring(), std::wstring(L"a\0b", 3));
    EXPECT_EQ(v.to_string(), std::string("a\0b", 3));
    EXPECT_EQ(ole_variant(v.get_variant().bstrVal).to_wstring(), std::wstring(L"a\0b", 3));

    ole_variant empty;
    EXPECT_EQ(empty.get_bytes1(bytes, buffer), 0);
    EXPECT_THROW(ole_variant(1.0).get_bytes1(bytes, buffer), tk_mail_assertion);

    std::vector<unsigned char> out{1, 2, 3, 4};
    const unsigned char source[] = {9, 8};
    EXPECT_EQ(ole_variant::convert_to_byte_array(source, 2, out), (std::vector<unsigned char>{9, 8}));
}

TEST(OleVariant, ArraysOfAnotherShapeHaveNoSizeOrText)
{
    raw_variant v;
    const SAFEARRAYBOUND bounds[] = {{2, 0}, {2, 0}};
    v.raw().vt = ole_vt_bytes;
    v.raw().parray = SafeArrayCreate(VT_UI1, 2, bounds);
    EXPECT_EQ(v.get_array_size(), 0u);
    EXPECT_EQ(v.to_string(), "");
    char out[8] = "x";
    EXPECT_EQ(v.get_at(out, 0, 2), 0);
    v.change_type(VT_BSTR);  // left as it is
    EXPECT_EQ(v.get_type(), ole_vt_bytes);
}

TEST(OleVariant, ChangeTypeTable)
{
    struct row {
        std::function<ole_variant()> make;
        VARTYPE to;
        VARTYPE type;      // expected type, or VT_ERROR: ole_cast_exception
        std::string text;  // expected text form
    };
    constexpr VARTYPE raises = VT_ERROR;
    const row rows[] = {
        {[] { return ole_variant(); }, VT_I4, VT_EMPTY, ""},
        {[] { raw_variant v; v.raw().vt = VT_NULL; return ole_variant(v); }, VT_BSTR, VT_NULL, ""},
        {[] { return ole_variant(L"Yes"); }, VT_BOOL, VT_BOOL, "1"},
        {[] { return ole_variant(L"F"); }, VT_BOOL, VT_BOOL, "0"},
        {[] { return ole_variant(L"maybe"); }, VT_BOOL, raises, "maybe"},
        // Text becomes the number it holds, or raises.
        {[] { return ole_variant(L"12"); }, VT_I4, VT_I4, "12"},
        {[] { return ole_variant(L"12"); }, VT_I8, VT_I8, "12"},
        {[] { return ole_variant(L"-7"); }, VT_UI8, raises, "-7"},
        {[] { return ole_variant(L"12abc"); }, VT_I4, raises, "12abc"},
        {[] { return ole_variant(L"inf"); }, VT_R8, raises, "inf"},
        {[] { return ole_variant(L"nan"); }, VT_R4, raises, "nan"},
        {[] { return ole_variant(L"1.25"); }, VT_R8, VT_R8, "1.2500000000000000e+00"},
        {[] { return ole_variant(L"99999"); }, VT_I2, raises, "99999"},
        // Reals to 16- and 32-bit integers round half away from zero.
        {[] { return ole_variant(2.5); }, VT_I4, VT_I4, "3"},
        {[] { return ole_variant(-2.5); }, VT_I4, VT_I4, "-3"},
        {[] { return ole_variant(65535.4f); }, VT_UI2, VT_UI2, "65535"},
        {[] { return ole_variant(1e10); }, VT_I2, raises, "1.0000000000000000e+10"},
        {[] { return ole_variant(-0.6); }, VT_UI4, raises, "-5.9999999999999998e-01"},
        {[] { return ole_variant(std::nan("")); }, VT_I4, raises, "0"},
        {[] { return ole_variant(2.5); }, VT_I8, VT_I8, "2"},  // half to even
        {[] { return ole_variant(1e19); }, VT_I8, raises, "1.0000000000000000e+19"},
        {[] { return ole_variant(-1.0); }, VT_UI8, raises, "-1.0000000000000000e+00"},
        {[] { return ole_variant(1.5); }, VT_CY, VT_CY, "1.5"},
        // 64-bit integers: no silent truncation.
        {[] { return ole_variant(int64_t(5000000000)); }, VT_I4, raises, "5000000000"},
        {[] { return ole_variant(int64_t(-40000)); }, VT_I2, raises, "-40000"},
        {[] { return ole_variant(int64_t(-1)); }, VT_UI8, raises, "-1"},
        {[] { return ole_variant(int64_t(-1)); }, VT_I1, VT_I1, "-1"},
        {[] { return ole_variant(int64_t(1)); }, VT_BOOL, VT_BOOL, "1"},  // true is -1
        {[] { return ole_variant(int64_t(123)); }, VT_BSTR, VT_BSTR, "123"},
        {[] { return ole_variant(int64_t(123)); }, VT_R8, VT_R8, "1.2300000000000000e+02"},
        {[] { return ole_variant(int64_t(123)); }, VT_CY, VT_CY, "123"},
        {[] { return ole_variant(int64_t(1000000000000000)); }, VT_CY, raises, "1000000000000000"},
        {[] { return ole_variant(int64_t(-123)); }, VT_DECIMAL, VT_DECIMAL, "-123"},
        {[] { return ole_variant(int64_t(7)); }, VT_UI8, VT_UI8, "7"},
        {[] { return ole_variant(int64_t(7)); }, VT_DATE, raises, "7"},
        {[] { return ole_variant(std::numeric_limits<uint64_t>::max()); }, VT_I8, raises, "18446744073709551615"},
        {[] { return ole_variant(std::numeric_limits<uint64_t>::max()); }, VT_BSTR, VT_BSTR,
         "18446744073709551615"},
        {[] { return ole_variant(std::numeric_limits<uint64_t>::max()); }, VT_R8, VT_R8, "1.8446744073709552e+19"},
        {[] { return ole_variant(CY{25000}); }, VT_I8, VT_I8, "2"},
        {[] { return ole_variant(CY{35000}); }, VT_I8, VT_I8, "4"},
        {[] { return decimal_value(L"65535.5"); }, VT_UI2, raises, "65535.5"},
        {[] { return decimal_value(L"-128.4"); }, VT_I1, VT_I1, "-128"},
        {[] { return decimal_value(L"1e20"); }, VT_I8, raises, "100000000000000000000"},
        // Other sources of the narrower integers convert too, checked.
        {[] { return ole_variant(static_cast<short>(-2)); }, VT_I4, VT_I4, "-2"},
        {[] { return ole_variant(4000000000u); }, VT_I4, raises, "4000000000"},
        {[] { return ole_variant(true); }, VT_I2, VT_I2, "-1"},
        {[] { return ole_variant(300); }, VT_I1, raises, "300"},
        // Dates.
        {[] { return ole_variant(date_of(2024, 1, 2, 3, 4, 5)); }, VT_BSTR, VT_BSTR, "2024-01-02 03:04:05"},
        {[] { return ole_variant(date_of(2024, 1, 2, 3, 4, 5)); }, VT_R8, raises, "2024-01-02 03:04:05"},
        {[] { return ole_variant(L"2024-01-02"); }, VT_DATE, VT_DATE, "2024-01-02"},
        {[] { return ole_variant(L"3:15:00 PM"); }, VT_DATE, VT_DATE, "0000-00-00 15:15:00"},
        {[] { return ole_variant(L"hello"); }, VT_DATE, raises, "hello"},
        {[] { return ole_variant(1.0); }, VT_DATE, raises, "1.0000000000000000e+00"},
        // Binary kinds.
        {[] { return ole_variant(258); }, ole_vt_bytes, ole_vt_bytes, "0x02010000"},
        {[] { return ole_variant(static_cast<short>(258)); }, VT_BLOB, ole_vt_bytes, "0x0201"},
        {[] { return ole_variant(1.0); }, ole_vt_bytes, ole_vt_bytes, "0x000000000000F03F"},
        {[] { return ole_variant(L"AB"); }, VT_BLOB_OBJECT, ole_vt_bytes, "0x4142"},
        {[] { return ole_variant(L""); }, ole_vt_bytes, VT_BSTR, ""},
        {[] { return ole_variant(int64_t(1)); }, ole_vt_bytes, raises, "1"},
        {[] { return bytes_value({0x41, 0x42, 0x00, 0x43}); }, VT_BSTR, VT_BSTR, "AB"},
        {[] { return bytes_value({0x41}); }, VT_BLOB, VT_BLOB, "0x41"},
        {[] { return bytes_value({0x41}); }, VT_BLOB_OBJECT, ole_vt_bytes, "0x41"},
        {[] { return bytes_value({0x41}); }, VT_I4, ole_vt_bytes, "0x41"},
        {[] { ole_variant v; v.allocate_safe_array(0); return v; }, VT_BSTR, VT_BSTR, ""},
        // The rest through the platform's conversion.
        {[] { return ole_variant(CY{15000}); }, VT_R8, VT_R8, "1.5000000000000000e+00"},
        {[] { return ole_variant(3); }, VT_R4, VT_R4, "3.000000e+00"},
        {[] { return ole_variant(1e300); }, VT_R4, raises, "1.0000000000000001e+300"},
        {[] { return ole_variant(7); }, VT_UNKNOWN, raises, "7"},
    };
    for (const row& r : rows) {
        ole_variant v = r.make();
        const VARTYPE before = v.get_type();
        if (r.type == raises) {
            EXPECT_THROW(v.change_type(r.to), ole_cast_exception) << r.text << " -> " << r.to;
            EXPECT_EQ(v.get_type(), before) << r.text;  // the old content stays
        } else {
            EXPECT_NO_THROW(v.change_type(r.to)) << r.text << " -> " << r.to;
            EXPECT_EQ(v.get_type(), r.type) << r.text << " -> " << r.to;
        }
        EXPECT_EQ(v.to_string(), r.text) << before << " -> " << r.to;
    }
}

TEST(OleVariant, NumericAndTruthReadings)
{
    struct row {
        ole_variant value;
        bool b;
        int32_t l;
        double d;
    };
    raw_variant bool_one;
    bool_one.raw().vt = VT_BOOL;
    bool_one.raw().boolVal = 1;  // only 0xFFFF is true
    const row rows[] = {
        {ole_variant(), false, 0, 0},
        {ole_variant(2.5), true, 2, 2.5},
        {ole_variant(-2.5f), true, -2, -2.5},
        {ole_variant(0.0), false, 0, 0},
        {ole_variant(true), true, 1, 1},
        {ole_variant(bool_one), false, 0, 0},
        {ole_variant(CY{25000}), true, 2, 2.5},
        {decimal_value(L"-7.5"), true, -8, -7.5},
        {ole_variant(4000000000u), true, 0, 4e9},  // to_long raises, below
        {ole_variant(int64_t(-5)), true, -5, -5},
        {ole_variant(uint64_t(5)), true, 5, 5},
        {ole_variant(static_cast<signed char>(-1)), true, -1, -1},
    };
    for (const row& r : rows) {
        EXPECT_EQ(r.value.to_bool(), r.b) << r.d;
        EXPECT_EQ(r.value.to_double(), r.d);
        EXPECT_FLOAT_EQ(r.value.to_float(), static_cast<float>(r.d));
        if (r.d != 4e9) {
            EXPECT_EQ(r.value.to_long(), r.l) << r.d;
        }
    }
    EXPECT_THROW(ole_variant(4000000000u).to_long(), ole_cast_exception);
    EXPECT_THROW(ole_variant(int64_t(1) << 40).to_long(), ole_cast_exception);
    EXPECT_THROW(ole_variant(1e10).to_long(), ole_cast_exception);
    EXPECT_THROW(ole_variant(std::nan("")).to_long(), ole_cast_exception);
    EXPECT_THROW(ole_variant(CY{std::numeric_limits<int64_t>::max()}).to_long(), ole_cast_exception);
    EXPECT_EQ(ole_variant(-1e300).to_float(), -std::numeric_limits<float>::infinity());
    EXPECT_EQ(ole_variant(L"12").to_long(), 0);
    EXPECT_FALSE(ole_variant(L"12").to_bool());
    EXPECT_THROW(ole_variant(L"12").to_double(), tk_mail_assertion);
    EXPECT_THROW(ole_variant(L"12").to_float(), tk_mail_assertion);
    EXPECT_THROW(ole_variant(date_of(2024, 1, 2, 0, 0, 0)).to_double(), tk_mail_assertion);
}

TEST(OleVariant, TextFormsByType)
{
    raw_variant null_value;
    null_value.raw().vt = VT_NULL;
    const ole_variant nan_value(std::nan(""));
    struct row {
        ole_variant value;
        std::string narrow;
        std::wstring wide;
    };
    const row rows[] = {
        {ole_variant(null_value), "", L""},
        {nan_value, "0", L"0"},
        {ole_variant(std::numeric_limits<double>::infinity()), "0", L"0"},
        {ole_variant(-std::numeric_limits<float>::infinity()), "0", L"0"},
        {ole_variant(CY{-15000}), "-1.5", L"-1.5"},
        {ole_variant(CY{std::numeric_limits<int64_t>::min()}), "-922337203685477.5808", L"-922337203685477.5808"},
        {decimal_value(L"0.0000000000000000000000000001"), "0.0000000000000000000000000001",
         L"0.0000000000000000000000000001"},
        {ole_variant(L"caf\u00e9"), "caf\xC3\xA9", L"caf\u00e9"},
        {bytes_value({0x0A, 0xFF}), "0x0AFF", L"0x0AFF"},
        {ole_variant(ole_date(std::string("23:59"))), "0000-00-00 23:59:00", L"0000-00-00 23:59:00"},
    };
    for (const row& r : rows) {
        EXPECT_EQ(r.value.to_string(), r.narrow);
        EXPECT_EQ(r.value.to_wstring(), r.wide) << r.narrow;
    }
    // Reals print exactly as printf's "%.16e" and "%.6e" do.
    for (double x : {0.0, -0.0, 1.0 / 3, -2.5e-300, 1.7976931348623157e308, 4.9e-324, 123456789.125}) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.16e", x);
        EXPECT_EQ(ole_variant(x).to_string(), expected);
        if (std::isfinite(float(x))) {
            std::snprintf(expected, sizeof expected, "%.6e", double(float(x)));
            EXPECT_EQ(ole_variant(float(x)).to_string(), expected);
        }
    }
    ole_variant empty_array;
    empty_array.allocate_safe_array(0);
    EXPECT_EQ(empty_array.to_string(), "");
    EXPECT_EQ(empty_array.to_wstring(), L"");
}

TEST(OleVariant, FromStringByType)
{
    struct row {
        std::string text;
        VARTYPE t;
        VARTYPE type;
        std::string printed;
    };
    const row rows[] = {
        {"1,5", VT_R8, VT_R8, "1.5000000000000000e+00"},
        {" -2.5e1xyz", VT_R8, VT_R8, "-2.5000000000000000e+01"},
        {"inf", VT_R8, VT_R8, "0.0000000000000000e+00"},
        {"nan", VT_R4, VT_R4, "0.000000e+00"},
        {"0x1p3", VT_R8, VT_R8, "0.0000000000000000e+00"},
        {"1e-400", VT_R8, VT_R8, "0.0000000000000000e+00"},
        {"12abc", VT_I4, VT_I4, "12"},
        {"  -12", VT_I2, VT_I2, "-12"},
        {"abc", VT_I4, VT_I4, "0"},
        {"", VT_I4, VT_EMPTY, ""},
        {"", VT_BSTR, VT_BSTR, ""},
        {"4294967295", VT_UI4, VT_UI4, "4294967295"},
        {"-9223372036854775808", VT_I8, VT_I8, "-9223372036854775808"},
        {"18446744073709551615", VT_UI8, VT_UI8, "18446744073709551615"},
        {"255", VT_UI1, VT_UI1, "255"},
        {"-128", VT_I1, VT_I1, "-128"},
        {"TRUE", VT_BOOL, VT_BOOL, "1"},
        {"yes", VT_BOOL, VT_BOOL, "1"},
        {"2", VT_BOOL, VT_BOOL, "1"},
        {"0", VT_BOOL, VT_BOOL, "0"},
        {"F", VT_BOOL, VT_BOOL, "0"},
        {"abc", VT_BOOL, VT_BOOL, "0"},
        {"1,5", VT_CY, VT_CY, "1.5"},
        {"abc", VT_CY, VT_EMPTY, ""},
        {"1234567890123456789012345678", VT_DECIMAL, VT_DECIMAL, "1234567890123456789012345678"},
        {"-0,25", VT_DECIMAL, VT_DECIMAL, "-0.25"},
        {"1e40", VT_DECIMAL, VT_R8, "1.0000000000000000e+40"},
        {"abc", VT_DECIMAL, VT_R8, "0.0000000000000000e+00"},
        {"2024-12-31", VT_DATE, VT_DATE, "2024-12-31"},
        {"not a date", VT_DATE, VT_EMPTY, ""},
        {"0x0aFF", ole_vt_bytes, ole_vt_bytes, "0x0AFF"},
        {"0AFF", ole_vt_bytes, ole_vt_bytes, "0x0AFF"},
        {"\\XFF", VT_BLOB, VT_BLOB, "0xFF"},
        {"0x", ole_vt_bytes, ole_vt_bytes, ""},
        {"0x0", ole_vt_bytes, VT_EMPTY, ""},
        {"zz", ole_vt_bytes, ole_vt_bytes, "0x00"},
        {"12", VT_INT, VT_INT, "12"},
        {"h\xC3\xA9", VT_BSTR, VT_BSTR, "h\xC3\xA9"},
    };
    for (const row& r : rows) {
        const ole_variant v = ole_variant::from_string(r.text, r.t);
        EXPECT_EQ(v.get_type(), r.type) << r.text << " as " << r.t;
        EXPECT_EQ(v.to_string(), r.printed) << r.text << " as " << r.t;
    }
    // Numbers that do not fit, and text the platform cannot convert.
    const std::pair<std::string, VARTYPE> refused[] = {
        {"99999", VT_I2}, {"-1", VT_UI1}, {"128", VT_I1}, {"4294967296", VT_UI4}, {"-1", VT_UI4},
        {"9223372036854775808", VT_I8}, {"-1", VT_UI8}, {"1e400", VT_R8}, {"1e39", VT_R4}, {"1e20", VT_CY},
        {"1e400", VT_DECIMAL},
    };
    for (const auto& [text, t] : refused)
        EXPECT_THROW(ole_variant::from_string(text, t), ole_cast_exception) << text << " as " << t;
    EXPECT_THROW(ole_variant::from_string("abc", VT_INT), ole_type_exception);
}

TEST(OleVariant, FromWstringAndPieces)
{
    EXPECT_EQ(ole_variant::from_wstring(L"0x0aFF", ole_vt_bytes).to_string(), "0x0AFF");
    EXPECT_EQ(ole_variant::from_wstring(std::wstring(L"ab\0c", 4), VT_BSTR).get_text_length(), 2u);
    EXPECT_EQ(ole_variant::from_wstring(L"", VT_BSTR).get_type(), VT_BSTR);
    EXPECT_EQ(ole_variant::from_wstring(L"42", VT_I4).to_long(), 42);
    EXPECT_EQ(ole_variant::from_wstring(L"caf\u00e9", VT_DATE).get_type(), VT_EMPTY);

    char out[16] = {};
    const ole_variant bytes = bytes_value({1, 2, 3});
    EXPECT_EQ(bytes.get_at(out, 1, 5), 2);
    EXPECT_STREQ(out, "0203");
    EXPECT_EQ(bytes.get_at(out, 3, 5), 0);
    const ole_variant text(L"h\u00e9llo");
    EXPECT_EQ(text.get_at(out, 1, 2), 3);  // two characters, three bytes
    EXPECT_STREQ(out, "\xC3\xA9l");
    EXPECT_EQ(text.get_at(out, 5, 2), 0);
    EXPECT_EQ(ole_variant(5).get_at(out, 0, 2), 0);
}

TEST(OleVariant, TypeClassesAndExceptions)
{
    for (VARTYPE vt = 0; vt < 80; ++vt) {
        const bool numeric = (vt >= VT_I2 && vt <= VT_CY) || vt == VT_BOOL || vt == VT_DECIMAL ||
                             (vt >= VT_I1 && vt <= VT_UINT);
        EXPECT_EQ(ole_is_numeric_type(vt), numeric) << vt;
    }
    EXPECT_FALSE(ole_is_numeric_type(ole_vt_bytes));
    const ole_cast_exception cast;
    EXPECT_STREQ(cast.what(), "Cannot cast from source type to destination type");
    EXPECT_EQ(cast.get_level(), 0);
    EXPECT_EQ(cast.get_code(), 0u);
    const ole_type_exception type;
    EXPECT_STREQ(type.what(), "The operating type is not supported yet");
    EXPECT_EQ(type.get_level(), 1);
}
