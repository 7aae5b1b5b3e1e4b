#include "SQL/sql_view.hpp"

#include "SQL/sql_engi.hpp"
#include "TK/tk_call.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_nmap.hpp"
#include "UDB/udb_vali.hpp"
#include "platform/text/pl_case.hpp"

#include <algorithm>

namespace {

bool is_blank(wchar_t c)
{
    return c == L'\r' || c == L'\n' || c == L'\t' || c == L' ';
}

wchar_t ascii_lower(wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + (L'a' - L'A')) : c;
}

// The first occurrence of a lower-case ASCII word at or after from, ignoring
// the case of ASCII letters.
size_t find_no_case(const std::wstring& text, const std::wstring& word, size_t from)
{
    if (from > text.size())
        return std::wstring::npos;
    const auto it = std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), word.begin(),
                                word.end(), [](wchar_t a, wchar_t b) { return ascii_lower(a) == b; });
    return it == text.end() ? std::wstring::npos : static_cast<size_t>(it - text.begin());
}

// Replaces each call of the function that the test accepts (every one
// without a test); the search goes on after the searched word either way.
void rename_all(std::wstring& text, const std::wstring& word, const std::wstring& with, bool two_arguments_only)
{
    for (size_t pos = find_no_case(text, word, 0); pos != std::wstring::npos;
         pos = find_no_case(text, word, pos + word.size())) {
        if (tk_is_call(text, pos, word.size()) &&
            (!two_arguments_only || sql_view_converter::check_isnull_for_replace(text, pos)))
            text.replace(pos, word.size(), with);
    }
}

// The unit of DateDiff (Access's interval codes, or a unit's own name) as
// TIMESTAMPDIFF names it; empty when it has none.
std::wstring timestampdiff_unit(const std::wstring& unit)
{
    static const wchar_t* const units[][2] = {
        {L"yyyy", L"YEAR"}, {L"q", L"QUARTER"},   {L"m", L"MONTH"},   {L"y", L"DAY"},
        {L"d", L"DAY"},     {L"w", L"WEEK"},      {L"h", L"HOUR"},    {L"n", L"MINUTE"},
        {L"s", L"SECOND"},  {L"year", L"YEAR"},   {L"quarter", L"QUARTER"}, {L"month", L"MONTH"},
        {L"day", L"DAY"},   {L"week", L"WEEK"},   {L"hour", L"HOUR"}, {L"minute", L"MINUTE"},
        {L"second", L"SECOND"},
    };
    for (const auto& u : units)
        if (platform::equal_no_case(unit, u[0]))
            return u[1];
    return {};
}

// The first argument of a call whose "(" is at or after from: its text
// without quotes, and the end of its characters in text (npos when the
// argument has no end).
std::wstring first_argument(const std::wstring& text, size_t from, size_t& end)
{
    size_t at = text.find(L'(', from) + 1;
    while (at < text.size() && is_blank(text[at]))
        ++at;
    const wchar_t quote = at < text.size() ? text[at] : L'\0';
    if (quote == L'\'' || quote == L'"') {
        const size_t close = text.find(quote, at + 1);
        end = close == std::wstring::npos ? close : close + 1;
        return end == std::wstring::npos ? std::wstring() : text.substr(at + 1, close - at - 1);
    }
    const size_t comma = text.find(L',', at);
    if (comma == std::wstring::npos) {
        end = comma;
        return {};
    }
    end = comma;
    while (end > at && is_blank(text[end - 1]))
        --end;
    return text.substr(at, end - at);
}

// DateDiff(unit, a, b) counts from a to b as TIMESTAMPDIFF(UNIT, a, b) does.
// A unit TIMESTAMPDIFF has no match for fails the view.
void datediff_to_timestampdiff(std::wstring& text)
{
    const std::wstring word = L"datediff";
    for (size_t pos = find_no_case(text, word, 0); pos != std::wstring::npos;
         pos = find_no_case(text, word, pos + 1)) {
        if (!tk_is_call(text, pos, word.size()))
            continue;
        size_t end = 0;
        const std::wstring unit = first_argument(text, pos, end);
        const std::wstring mapped = end == std::wstring::npos ? std::wstring() : timestampdiff_unit(unit);
        if (mapped.empty())
            throw tk_exception(L"DateDiff with the interval '" + unit + L"' has no match in MySQL: " + text, 0);
        tk_logger::wlog(1, L"DateDiff interval '%s' becomes %s", unit.c_str(), mapped.c_str());
        text.replace(pos, end - pos, L"TIMESTAMPDIFF(" + mapped);
    }
}

// Bracketed names become backquoted ones. A name the names map has already
// replaced stands in backquotes inside its brackets and only loses them.
void brackets_to_backquotes(std::wstring& text)
{
    for (size_t open = text.find(L'['); open != std::wstring::npos; open = text.find(L'[', open)) {
        const size_t close = text.find(L']', open);
        if (close != std::wstring::npos && close >= open + 3 && text[open + 1] == L'`' && text[close - 1] == L'`') {
            text.erase(close, 1);
            text.erase(open, 1);
            open = close - 1;
        } else {
            text[open] = L'`';
        }
    }
    std::replace(text.begin(), text.end(), L']', L'`');
}

// The first occurrence of any text, ignoring case as names are compared.
size_t find_text_no_case(const std::wstring& text, const std::wstring& what)
{
    for (size_t pos = 0; pos + what.size() <= text.size(); ++pos)
        if (platform::equal_no_case(std::wstring_view(text).substr(pos, what.size()), what))
            return pos;
    return std::wstring::npos;
}

void cut_at_nul(std::wstring& text)
{
    const size_t nul = text.find(L'\0');
    if (nul != std::wstring::npos)
        text.resize(nul);
}

} // namespace

std::wstring sql_view_converter::fold_whitespace(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size());
    bool in_single = false;
    bool in_double = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (!in_single && !in_double && is_blank(c)) {
            out += L' ';
            while (i + 1 < text.size() && is_blank(text[i + 1]))
                ++i;
            continue;
        }
        if (c == L'\'' && !in_double)
            in_single = !in_single;
        else if (c == L'"' && !in_single)
            in_double = !in_double;
        out += c;
    }
    return out;
}

bool sql_view_converter::check_isnull_for_replace(const std::wstring& text, size_t position)
{
    tk_logger::wlog(1, L"sql_view_converter::check_isnull_for_replace(%s,%d)", text.c_str(),
                    position == std::wstring::npos ? -1 : static_cast<int>(position));
    // Six characters: the length of "isnull", taken for each of the names.
    if (position == std::wstring::npos || position >= text.size() || position + 6 >= text.size())
        return false;
    int depth = 0;
    int commas = 0;
    for (size_t i = position + 6; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'(') {
            ++depth;
        } else if (c == L',') {
            ++commas;
        } else if (c == L')') {
            if (depth == 1)
                break;
            --depth;
        }
    }
    return commas == 1;
}

std::wstring sql_view_converter::rename_functions(std::wstring text)
{
    rename_all(text, L"isnull", L"ifnull", true);
    rename_all(text, L"getdate", L"curdate", false);
    rename_all(text, L"len", L"length", false);
    datediff_to_timestampdiff(text);
    rename_all(text, L"dateadd", L"date_add", true);
    rename_all(text, L"replicate", L"repeat", true);
    return text;
}

std::wstring sql_view_converter::refine_view_in(const udb_names_map& names, const std::wstring& sql)
{
    std::wstring text = fold_whitespace(sql);
    cut_at_nul(text);
    text = names.do_global_replace1(text, L"`", L"`");
    tk_logger::wlog(2, L"After do_global_replace: result=%s", text.c_str());
    brackets_to_backquotes(text);
    tk_logger::wlog(2, L"After replacing []: result=%s", text.c_str());
    text = rename_functions(std::move(text)) + L";";
    cut_at_nul(text);
    return text;
}

bool sql_view_converter::is_select(const std::wstring& sql)
{
    return sql.size() >= 6 && platform::equal_no_case(std::wstring_view(sql).substr(0, 6), L"select");
}

std::wstring sql_view_converter::make_view_name(udb_validator& validator, udb_names_map& names,
                                                const std::wstring& name, const wchar_t* stored_log)
{
    if (validator.is_acceptable(name))
        return name;
    const std::wstring safe = validator.get_safe_name(tk_wtrim(name));
    names.add_tn_mapping(name, safe);
    tk_logger::wlog(2, stored_log, safe.c_str());
    tk_logger::wlog(1, L"udb_validator::add_existing_name(%s)", safe.c_str());
    validator.add_existing_name(safe);
    return safe;
}

std::wstring sql_view_converter::create_statement(const std::wstring& name, const std::wstring& refined_sql)
{
    return L"CREATE OR REPLACE VIEW " + sql_engine::get_safe_name(name) + L" AS " + refined_sql;
}

std::wstring sql_view_converter::refine_view_out(const std::wstring& database, const std::wstring& sql)
{
    std::wstring text = sql;
    const size_t open = text.find(L"/*");
    const size_t close = open == std::wstring::npos ? open : text.find(L"*/", open + 2);
    if (close != std::wstring::npos)
        text.erase(open, close + 2 - open);
    // The server writes the name backquoted, an inner backquote doubled.
    std::wstring name = database;
    const std::wstring prefix = L"`" + tk_wstring::replace_all(name, L"`", L"``") + L"`.";
    for (size_t pos = find_text_no_case(text, prefix); pos != std::wstring::npos;
         pos = find_text_no_case(text, prefix)) {
        tk_logger::log(1, "Remove template found at pos=%d", static_cast<int>(pos));
        text.erase(pos, prefix.size());
    }
    return text;
}
