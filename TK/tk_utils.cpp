#include "TK/tk_utils.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "platform/syserr/pl_syserr.hpp"
#include "platform/text/pl_case.hpp"
#include "platform/text/pl_utf8.hpp"

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

template <class S>
S rtrim(const S& text)
{
    const auto end = text.find_last_not_of(typename S::value_type(' '));
    if (end == S::npos) {
        if (!text.empty())
            tk_logger::log(1, "Special processing for all-spaces-string");
        return S();
    }
    return text.substr(0, end + 1);
}

template <class S>
S trim(const S& text)
{
    S cut = rtrim(text);
    const auto start = cut.find_first_not_of(typename S::value_type(' '));
    return start == S::npos ? S() : cut.substr(start);
}

template <class S>
std::vector<S> split(const S& whole, typename S::value_type separator)
{
    // The text counts up to its first zero character.
    const S text = whole.substr(0, whole.find(typename S::value_type(0)));
    std::vector<S> pieces;
    if (text.empty())
        return pieces;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        pieces.push_back(text.substr(start, at == S::npos ? S::npos : at - start));
        if (at == S::npos)
            return pieces;
        start = at + 1;
    }
}

template <class S>
S replace_all(S& text, const S& what, const S& with)
{
    if (what.empty())
        return text;
    for (size_t at = text.find(what); at != S::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

template <class Ch>
void bytes_to_hex(size_t count, const unsigned char* bytes, Ch* out)
{
    static const char digits[] = "0123456789ABCDEF";
    for (size_t i = 0; i < count; ++i) {
        *out++ = Ch(digits[bytes[i] >> 4]);
        *out++ = Ch(digits[bytes[i] & 0x0F]);
    }
    *out = Ch(0);
}

// The part of a text before its first zero character.
template <class S>
auto up_to_zero(const S& text)
{
    using view = std::basic_string_view<typename S::value_type>;
    return view(text).substr(0, view(text).find(typename S::value_type(0)));
}

bool is_ansi_code_page(int code_page)
{
    return code_page == -1 || code_page == tk_cp_acp || code_page == tk_cp_thread_acp || code_page == tk_cp_utf8;
}

} // namespace

std::string tk_rtrim(const std::string& text) { return rtrim(text); }
std::wstring tk_wrtrim(const std::wstring& text) { return rtrim(text); }
std::string tk_trim(const std::string& text) { return trim(text); }
std::wstring tk_wtrim(const std::wstring& text) { return trim(text); }

std::vector<std::string> tk_split(const std::string& text, char separator) { return split(text, separator); }

std::vector<std::wstring> tk_wsplit(const std::wstring& text, wchar_t separator)
{
    return split(text, separator);
}

std::string tk_string::replace_all(std::string& text, const std::string& what, const std::string& with)
{
    tk_logger::log(1, "tk_string::replace_all('%s','%s')", what.c_str(), with.c_str());
    return ::replace_all(text, what, with);
}

bool tk_string::compare_no_case(const std::string& text, const std::string& prefix, bool exact)
{
    if (prefix.empty())
        return true;
    if (prefix.size() > text.size())
        return false;
    const std::string_view head(text.data(), prefix.size());
    if (exact)
        return head == prefix;
    tk_logger::log(1, "tk_string::compare_no_case");
    return platform::compare_no_case(head, std::string_view(prefix)) == 0;
}

bool tk_wstring::split(const std::wstring& text, wchar_t separator, std::vector<std::wstring>& out)
{
    tk_logger::wlog(1, L"tk_wstring::split(%c)", separator);
    out = tk_wsplit(text, separator);
    return true;
}

std::wstring tk_wstring::replace_all(std::wstring& text, const std::wstring& what, const std::wstring& with)
{
    tk_logger::wlog(1, L"tk_wstring::replace_all(%s,%s)", what.c_str(), with.c_str());
    return ::replace_all(text, what, with);
}

std::wstring tk_wstring::to_lower(std::wstring& text)
{
    tk_logger::wlog(1, L"tk_wstring::to_lower(%s)", text.c_str());
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c + (L'a' - L'A'));
    return text;
}

void tk_bytes_to_hex(size_t count, const unsigned char* bytes, char* out)
{
    if (out == nullptr)
        throw tk_mail_assertion("tk_utils.cpp", 903);
    bytes_to_hex(count, bytes, out);
}

void tk_bytes_to_whex(size_t count, const unsigned char* bytes, wchar_t* out)
{
    if (out == nullptr)
        throw tk_mail_assertion("tk_utils.cpp", 917);
    bytes_to_hex(count, bytes, out);
}

std::string tk_to_utf8(const std::wstring& text)
{
    return platform::to_utf8(up_to_zero(text));
}

std::wstring tk_to_unicode(const std::string& text)
{
    return platform::from_utf8(up_to_zero(text));
}

std::string tk_to_ansi(const std::wstring& text, int code_page)
{
    if (!is_ansi_code_page(code_page)) {
        platform::set_last_error(platform::error_invalid_parameter);
        throw tk_exception_ex("Cannot convert to ANSI string: ", 0);
    }
    return platform::to_utf8(up_to_zero(text));
}

bool tk_ansi_to_unicode(const char* text, std::unique_ptr<wchar_t[]>& out)
{
    if (text == nullptr)
        return false;
    const std::wstring wide = platform::from_utf8(text);
    out = std::make_unique<wchar_t[]>(wide.size() + 1);
    std::wmemcpy(out.get(), wide.c_str(), wide.size() + 1);
    return true;
}

bool tk_unicode_to_ansi1(const wchar_t* text, char* out, size_t out_size)
{
    if (text == nullptr || out == nullptr)
        return false;
    const std::string narrow = platform::to_utf8(text);
    if (narrow.size() + 1 > out_size) {
        platform::set_last_error(platform::error_insufficient_buffer);
        return false;
    }
    std::memcpy(out, narrow.c_str(), narrow.size() + 1);
    return true;
}

bool tk_unicode_to_ansi2(const wchar_t* text, std::unique_ptr<char[]>& out)
{
    tk_logger::log(1, "tk_unicode_to_ansi2");
    if (text == nullptr)
        return false;
    const std::string narrow = platform::to_utf8(text);
    tk_logger::log(1, "n_ansi=%d, n_unicode=%d", narrow.size(), std::wcslen(text));
    out = std::make_unique<char[]>(narrow.size() + 1);
    std::memcpy(out.get(), narrow.c_str(), narrow.size() + 1);
    return true;
}

bool tk_unicode_to_ansi3(const wchar_t* text, std::string& out)
{
    if (text == nullptr) {
        tk_logger::log(1, "tk_unicode_to_ansi3 - return false");
        return false;
    }
    out = platform::to_utf8(text);
    tk_logger::log(1, "tk_unicode_to_ansi3 - return true");
    return true;
}

std::string tk_iso_date(const std::tm& moment)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", moment.tm_year + 1900, moment.tm_mon + 1, moment.tm_mday);
    return text;
}

std::tm tk_local_now()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}
