// One cell value: an OLE Automation VARIANT whose 64-bit integers live in side
// fields of their own and whose dates are kept as an ole_date, so a date, a
// time and a date with time stay distinct. Binary values are one-dimensional
// byte arrays (tag VT_ARRAY|VT_UI1; VT_BLOB is a synonym). Text forms: see
// to_string and to_wstring; parsing: from_string and from_wstring.
#pragma once

#include "OLE/ole_date.hpp"
#include "TK/tk_excep.hpp"
#include "platform/ole/pl_ole.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

constexpr VARTYPE ole_vt_bytes = VT_ARRAY | VT_UI1;
// Arrays longer than this are taken as this long wherever they become text.
constexpr uint32_t ole_max_array_text = 120000000;

// The types whose values are written as numbers.
bool ole_is_numeric_type(VARTYPE vt);

// A conversion between value types was refused or failed (level 0).
class ole_cast_exception : public tk_exception {
public:
    ole_cast_exception();
    ole_cast_exception(const ole_cast_exception&) = default;
};

// Text could not be parsed into the asked type (level 1).
class ole_type_exception : public tk_exception {
public:
    ole_type_exception();
    ole_type_exception(const ole_type_exception&) = default;
};

class ole_variant {
public:
    ole_variant();
    ole_variant(const ole_variant& that);
    ole_variant(const std::wstring& text);
    ole_variant(const wchar_t* text);  // text, never a bool
    ole_variant(const char* text);     // UTF-8 text
    ole_variant(const std::vector<unsigned char>& bytes);
    ole_variant(BSTR text);            // a copy up to the first zero
    ole_variant(bool value);
    ole_variant(char value);           // VT_I1
    ole_variant(signed char value);    // VT_I1
    ole_variant(unsigned char value);  // VT_UI1
    ole_variant(short value);
    ole_variant(unsigned short value);
    ole_variant(int value);            // VT_I4
    ole_variant(unsigned int value);   // VT_UI4
    ole_variant(long value);           // VT_I8: long is 64-bit here
    ole_variant(unsigned long value);  // VT_UI8
    ole_variant(long long value);      // VT_I8
    ole_variant(unsigned long long value);  // VT_UI8
    ole_variant(float value);
    ole_variant(double value);
    ole_variant(const CY& value);
    ole_variant(const DECIMAL& value);
    ole_variant(const ole_date& value);
    virtual ~ole_variant();

    ole_variant& operator=(const ole_variant& that);
    ole_variant& operator=(const std::wstring& text);
    ole_variant& operator=(const wchar_t* text);
    // An empty vector leaves the old content.
    ole_variant& operator=(const std::vector<unsigned char>& bytes);

    // The text forms: booleans 1 or 0, numbers with a point, binary data as
    // 0x and uppercase hexadecimal digits, dates as ole_date prints them.
    // Values that have no text form give an empty text.
    virtual std::string to_string() const;
    virtual std::wstring to_wstring() const;

    // A new value of type t read from text. Numbers are read from the text's
    // leading decimal part (0 when there is none); one that does not fit t
    // raises ole_cast_exception.
    static ole_variant from_string(const std::string& text, VARTYPE t);
    static ole_variant from_wstring(const std::wstring& text, VARTYPE t);
    // A piece of a text (as ANSI text with a terminating zero) or of a binary
    // value (as hexadecimal digits with a terminating zero); the result counts
    // characters or bytes. The buffer must hold the piece.
    int get_at(char* out, uint32_t position, uint32_t length) const;

    // Converts in place; ole_cast_exception when the value cannot be
    // converted, the value then keeps its old content.
    void change_type(VARTYPE t);

    bool to_bool() const;
    int32_t to_long() const;
    double to_double() const;
    float to_float() const;

    VARTYPE get_type() const { return var.vt; }
    const VARIANT& get_variant() const { return var; }
    int64_t get_i8() const { return i8_val; }
    uint64_t get_ui8() const { return ui8_val; }
    const ole_date& get_date() const { return date; }
    // Characters of a VT_BSTR value; 0 for any other type.
    uint32_t get_text_length() const;
    // Elements of a one-dimensional byte array (VT_ARRAY|VT_UI1 or VT_BLOB);
    // 0 for any other type or shape.
    uint32_t get_array_size() const;

    void allocate_safe_array(uint32_t count);
    // An empty vector changes nothing.
    void attach_binary(const std::vector<unsigned char>& bytes);
    void attach_string(const std::string& utf8);
    void attach_wstring(const std::wstring& text);
    // The value's raw bytes and their count. A text is converted to the ANSI
    // code page into buffer and bytes points into it; an array's bytes are its
    // own (valid while the value is unchanged). 0 for an empty value.
    int get_bytes1(const unsigned char*& bytes, std::unique_ptr<char[]>& buffer) const;

    // 0 unless one-dimensional.
    static uint32_t get_safe_array_size(const SAFEARRAY* array);
    static std::vector<unsigned char>& convert_to_byte_array(const unsigned char* bytes, uint32_t length,
                                                             std::vector<unsigned char>& out);

protected:
    int64_t i8_val = 0;
    uint64_t ui8_val = 0;
    ole_date date;
    VARIANT var{};  // VT_EMPTY, zeroed union

private:
    void copy_from(const ole_variant& that);
    void refresh_variant_date();
    void clear();
    void attach_text(const wchar_t* text, uint32_t length, int assertion_line);
    const SAFEARRAY* byte_array() const;
    void change_type_generic(VARTYPE t);
    void change_to_binary();
    void change_from_binary(VARTYPE t);
    void round_to_integer(VARTYPE t);
    void text_to_bool();
    void set_result(VARIANT& result, VARTYPE t);
};
