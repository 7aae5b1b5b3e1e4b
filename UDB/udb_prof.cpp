#include "UDB/udb_prof.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_files.hpp"
#include "TK/tk_lines.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/files/pl_files.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";

// A character's place in UTF-16 code-unit order: characters beyond the
// basic plane are written with surrogates (0xD800-0xDFFF), so they sort
// after U+D7FF and before U+E000.
uint32_t utf16_weight(wchar_t c)
{
    const uint32_t code = static_cast<uint32_t>(c);
    if (code < 0xD800)
        return code;
    if (code < 0xE000 || code > 0xFFFF)
        return 0x10000 + code;
    return 0x200000 + code;
}

// What the line format cannot carry as it is: a line break would end the
// line, and an equal sign would split a key or a plain line (a query text, a
// worksheet name, a "Type Mappings" line). These, and the escape character
// itself, are written as %XX; any other "%" reads as itself, so profiles
// written before keep their meaning.
struct escaped_char {
    wchar_t c;
    const wchar_t* code;
    const wchar_t* lower_code;
};

const escaped_char escapes[] = {
    {L'%', L"%25", L"%25"}, {L'\r', L"%0D", L"%0d"}, {L'\n', L"%0A", L"%0a"}, {L'=', L"%3D", L"%3d"}};

const escaped_char* escape_of(wchar_t c)
{
    for (const escaped_char& e : escapes)
        if (e.c == c)
            return &e;
    return nullptr;
}

// The escaped character whose code stands at text[at], or null.
const escaped_char* code_at(const std::wstring& text, size_t at)
{
    if (text[at] != L'%')
        return nullptr;
    for (const escaped_char& e : escapes)
        if (text.compare(at, 3, e.code) == 0 || text.compare(at, 3, e.lower_code) == 0)
            return &e;
    return nullptr;
}

std::wstring escape(const std::wstring& text, bool equal_sign)
{
    std::wstring out;
    for (wchar_t c : text) {
        const escaped_char* e = escape_of(c);
        if (e == nullptr || (c == L'=' && !equal_sign))
            out += c;
        else
            out += e->code;
    }
    return out;
}

std::wstring unescape(const std::wstring& text)
{
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        const escaped_char* e = code_at(text, i);
        out += e != nullptr ? e->c : text[i];
        if (e != nullptr)
            i += 2;
    }
    return out;
}

} // namespace

bool udb_profile::utf16_less::operator()(const std::wstring& a, const std::wstring& b) const
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](wchar_t x, wchar_t y) {
        return utf16_weight(x) < utf16_weight(y);
    });
}

udb_profile::udb_profile()
{
    for (const wchar_t* name : {udb_available_queries, udb_selected_tables, udb_selected_views, udb_generic_settings})
        add_section(name);
}

void udb_profile::add_section(const std::wstring& name) { sections.try_emplace(name); }

void udb_profile::set_value(const std::wstring& section, const std::wstring& key, const std::wstring& value)
{
    sections[section].emplace_back(key, value);
}

void udb_profile::add_list_item(const std::wstring& section, const std::wstring& line)
{
    lists[section].push_back(line);
}

std::wstring udb_profile::get_value(const std::wstring& section, const std::wstring& key) const
{
    const auto found = sections.find(section);
    if (found == sections.end())
        return {};
    for (const udb_profile_entry& entry : found->second)
        if (entry.first == key)
            return entry.second;
    return {};
}

std::vector<std::wstring>& udb_profile::get_list(const std::wstring& section) { return lists[section]; }

const udb_profile_entries& udb_profile::entries_of(const wchar_t* section) const
{
    const auto found = sections.find(section);
    if (found == sections.end())
        throw tk_exception_ex();
    return found->second;
}

const udb_profile_entries& udb_profile::get_available_queries() const { return entries_of(udb_available_queries); }
const udb_profile_entries& udb_profile::get_selected_tables() const { return entries_of(udb_selected_tables); }
const udb_profile_entries& udb_profile::get_selected_views() const { return entries_of(udb_selected_views); }

bool udb_profile::load(const std::wstring& path)
{
    tk_logger::wlog(2, L"udb_profile::load(%s)", path.c_str());
    if (!tk_is_file_exist2(path, tk_exist_not_folder))
        throw tk_exception("Profile '" + tk_to_utf8(path) +
                               "' does not exist. Please verify the correct path/name was given.",
                           1);
    std::string narrow;
    if (!tk_unicode_to_ansi3(path.c_str(), narrow)) {
        failure = L"its path holds characters the file system cannot name";
        return false;
    }
    tk_line_reader reader(narrow);
    if (!reader.is_open()) {
        failure = L"it cannot be opened (" + tk_to_unicode(std::strerror(errno)) + L")";
        return false;
    }
    const std::wstring* section = nullptr;  // none before the first section line
    std::string line;
    for (size_t number = 1; reader.next(line); ++number) {
        if (number == 1 && line.starts_with(utf8_bom))
            line.erase(0, utf8_bom.size());
        if (!read_line(tk_to_unicode(line), section)) {
            failure = L"line " + std::to_wstring(number) + L" comes before any [section] line, so it is not a "
                                                           L"profile: " + tk_wtrim(tk_to_unicode(line));
            return false;
        }
    }
    if (reader.failed()) {
        failure = L"reading it failed (" + tk_to_unicode(std::strerror(errno)) + L")";
        return false;
    }
    return true;
}

// Takes one line into the profile; false for a non-empty line outside any
// section.
bool udb_profile::read_line(const std::wstring& line, const std::wstring*& section)
{
    const std::wstring trimmed = tk_wtrim(line);
    if (trimmed.empty())
        return true;
    if (trimmed.front() == L'[' && trimmed.back() == L']') {
        section = &sections.try_emplace(trimmed.substr(1, trimmed.size() - 2)).first->first;
        return true;
    }
    if (section == nullptr)
        return false;
    // The value runs to the end of the line as written: blanks at its end
    // belong to it (a password may end with one).
    const size_t equal = line.find(L'=');
    if (equal != std::wstring::npos) {
        sections[*section].emplace_back(unescape(tk_wtrim(line.substr(0, equal))),
                                        unescape(line.substr(equal + 1)));
        return true;
    }
    lists[*section].push_back(unescape(line));
    sections[*section].emplace_back(unescape(trimmed), std::wstring());
    return true;
}

bool udb_profile::store(const std::wstring& path) const
{
    tk_logger::log(2, "udb_profile::store)");
    std::string narrow;
    if (!tk_unicode_to_ansi3(path.c_str(), narrow))
        return false;
    std::string text;
    const auto header = [&text](const std::wstring& name) {
        text += '[';
        text += tk_to_utf8(name);
        text += "]\r\n";
    };
    for (const auto& [name, entries] : sections) {
        header(name);
        const bool bare_names = name == udb_selected_tables;
        for (const auto& [key, value] : entries) {
            text += tk_to_utf8(escape(key, true));
            if (!(bare_names && value.empty())) {
                text += '=';
                text += tk_to_utf8(escape(value, false));
            }
            text += "\r\n";
        }
        text += "\r\n";
    }
    for (const auto& [name, lines] : lists) {
        header(name);
        for (const std::wstring& line : lines)
            text += tk_to_utf8(escape(line, true)) + "\r\n";
    }
    return platform::replace_file(narrow, text);
}
