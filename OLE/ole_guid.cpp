// GUID text of cells. The located form is read strictly: the word guid, then
// an opening brace, 36 hexadecimal digits or dashes and a closing brace.
#include "OLE/ole_guid.hpp"

#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"

#include <cwctype>

namespace {

constexpr size_t guid_length = 36;

bool guid_chars(const std::wstring& text, size_t from)
{
    for (size_t i = from; i < from + guid_length; ++i)
        if (!(std::iswxdigit(text[i]) && text[i] < 128) && text[i] != L'-')
            return false;
    return true;
}

} // namespace

ole_guid_extractor::ole_guid_extractor(const std::string& given)
{
    std::unique_ptr<wchar_t[]> wide;
    examine(tk_ansi_to_unicode(given.c_str(), wide) ? std::wstring(wide.get()) : std::wstring());
}

ole_guid_extractor::ole_guid_extractor(const std::wstring& given)
{
    examine(given);
}

void ole_guid_extractor::examine(const std::wstring& given)
{
    tk_logger::wlog(1, L"ole_guid_extractor::ctor(%s)", given.c_str());
    if (given.size() < guid_length) {  // trimming only shortens it
        tk_logger::log(1, "Text is too short for GUID");
        return;
    }
    if (given.size() >= 91) {
        tk_logger::log(1, "Text is too long for GUID(1)");
        return;
    }
    text = tk_wtrim(given);
    const size_t n = text.size();
    if (n < guid_length) {
        tk_logger::log(1, "Text is too short for GUID");
        return;
    }
    if (n >= 46) {
        tk_logger::log(1, "Text is too long for GUID(2)");
        return;
    }
    if (n == guid_length) {
        tk_logger::log(1, "Checking simple form (1)");
        position = 0;
        b_valid = guid_chars(text, 0);
        if (!b_valid)
            tk_logger::log(1, "Simple form (1) of GUID is NOT valid");
        return;
    }
    if (n == guid_length + 2 && text.front() == L'{' && text.back() == L'}') {
        tk_logger::log(1, "Checking simple form (2)");
        position = 1;
        b_valid = guid_chars(text, 1);
        if (!b_valid)
            tk_logger::log(1, "Simple form (2) of GUID is NOT valid");
        return;
    }
    b_valid = locate();
    if (b_valid)
        tk_logger::log(1, "GUID is valid");
}

// "guid" (or "GUID"), anything up to an opening brace, the 36 characters and
// a closing brace; position is left on the first of the 36.
bool ole_guid_extractor::locate()
{
    const size_t lower = text.find(L"guid");
    const size_t upper = text.find(L"GUID");
    tk_logger::log(1, "Locating 'guid' (%d : %d)", static_cast<int>(lower), static_cast<int>(upper));
    const size_t start = lower != std::wstring::npos ? lower : upper;
    if (start == std::wstring::npos)
        return false;
    const size_t brace = text.find(L'{', start + 4);
    if (brace == std::wstring::npos || brace + guid_length + 1 >= text.size() + 0 ||
        text[brace + guid_length + 1] != L'}' || !guid_chars(text, brace + 1))
        return false;
    position = static_cast<int32_t>(brace + 1);
    return true;
}

std::wstring ole_guid_extractor::get_wguid() const
{
    return b_valid ? text.substr(static_cast<size_t>(position), guid_length) : std::wstring();
}

std::string ole_guid_extractor::get_guid() const
{
    return b_valid ? tk_to_ansi(get_wguid()) : std::string();
}
