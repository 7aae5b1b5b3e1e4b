// Small shared text helpers: trimming, splitting, replacing, lower-casing,
// hexadecimal forms, a prefix test, and the conversions between the ANSI code
// page (UTF-8 on this platform), UTF-8 and wide text.
#pragma once

#include <cstddef>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

// Code pages understood by tk_to_ansi; -1 also means the ANSI code page.
constexpr int tk_cp_acp = 0;
constexpr int tk_cp_thread_acp = 3;
constexpr int tk_cp_utf8 = 65001;

// Only the space character counts as a blank; tabs and line ends stay.
std::string tk_rtrim(const std::string& text);
std::wstring tk_wrtrim(const std::wstring& text);
std::string tk_trim(const std::string& text);
std::wstring tk_wtrim(const std::wstring& text);

// Cuts at every separator, empty pieces included; an empty text gives none.
std::vector<std::string> tk_split(const std::string& text, char separator);
std::vector<std::wstring> tk_wsplit(const std::wstring& text, wchar_t separator);

struct tk_string {
    // Replaces every occurrence left to right, never searching inserted text
    // again; changes text in place and returns a copy of the result.
    static std::string replace_all(std::string& text, const std::string& what, const std::string& with);
    // True when text begins with prefix: byte for byte when exact, else
    // without regard to case.
    static bool compare_no_case(const std::string& text, const std::string& prefix, bool exact);
};

struct tk_wstring {
    static bool split(const std::wstring& text, wchar_t separator, std::vector<std::wstring>& out);
    static std::wstring replace_all(std::wstring& text, const std::wstring& what, const std::wstring& with);
    // A to Z become a to z; every other character stays.
    static std::wstring to_lower(std::wstring& text);
};

// The date of a moment as YYYY-MM-DD: the one form of a date the log and
// the dump's header write, whatever the locale.
std::string tk_iso_date(const std::tm& moment);
// The current moment in local time.
std::tm tk_local_now();

// Each byte as two uppercase hexadecimal digits, then a terminating zero;
// out must hold 2 * count + 1 characters.
void tk_bytes_to_hex(size_t count, const unsigned char* bytes, char* out);
void tk_bytes_to_whex(size_t count, const unsigned char* bytes, wchar_t* out);

// Conversions of whole texts; each result ends at the first zero character.
// Failures raise a level-0 tk_exception_ex.
std::string tk_to_utf8(const std::wstring& text);
std::wstring tk_to_unicode(const std::string& text);
std::string tk_to_ansi(const std::wstring& text, int code_page = -1);

// Conversions of zero-terminated text; failures (a null text among them)
// return false. The out buffers are replaced.
bool tk_ansi_to_unicode(const char* text, std::unique_ptr<wchar_t[]>& out);
// out holds out_size bytes; a text whose converted form does not fit with its
// terminator is refused.
bool tk_unicode_to_ansi1(const wchar_t* text, char* out, size_t out_size);
bool tk_unicode_to_ansi2(const wchar_t* text, std::unique_ptr<char[]>& out);
bool tk_unicode_to_ansi3(const wchar_t* text, std::string& out);
