#include "UDB/udb_nmap.hpp"

#include "TK/tk_log.hpp"
#include "platform/text/pl_case.hpp"
#include "platform/text/pl_names.hpp"

#include <unicode/uchar.h>

#include <cstdint>
#include <string_view>

namespace {

bool names_match(const std::wstring& a, const std::wstring& b, bool case_sensitive)
{
    return case_sensitive ? a == b : platform::equal_no_case(a, b);
}

// Characters that continue an identifier: an occurrence next to one of these
// is part of a longer name and stays as it is.
bool is_word_char(wchar_t c)
{
    return c == L'_' || c == L'$' || u_isalnum(static_cast<UChar32>(c));
}

struct replacement {
    std::wstring old_name;
    std::wstring new_text;
};

std::wstring enclose(const std::wstring& name, const std::wstring& prefix, const std::wstring& suffix)
{
    std::wstring text;
    if (!prefix.empty() && !name.starts_with(prefix))
        text = prefix;
    text += name;
    if (!suffix.empty() && !name.ends_with(suffix))
        text += suffix;
    return text;
}

// The longest name that stands as a whole word at pos; the earliest one of
// equal length. Null when none does.
const replacement* match_at(const std::wstring& text, size_t pos, const std::vector<replacement>& list)
{
    if (pos > 0 && is_word_char(text[pos - 1]))
        return nullptr;
    const replacement* best = nullptr;
    for (const replacement& r : list) {
        const size_t n = r.old_name.size();
        if (n > text.size() - pos || (best != nullptr && n <= best->old_name.size()))
            continue;
        if (pos + n < text.size() && is_word_char(text[pos + n]))
            continue;
        if (platform::equal_no_case(std::wstring_view(text).substr(pos, n), r.old_name))
            best = &r;
    }
    return best;
}

} // namespace

std::wstring udb_identifier_text(const std::wstring& name)
{
    std::wstring text = platform::identifier_chars(name);
    for (size_t i = text.size(); i-- > 0 && text[i] == L' ';)
        text[i] = L'_';
    return text;
}

std::wstring udb_backquoted(const std::wstring& name)
{
    std::wstring text = L"`";
    for (wchar_t c : udb_identifier_text(name)) {
        if (c == L'`')
            text += L'`';
        text += c;
    }
    return text + L"`";
}

std::wstring t_names_map::get_mapped_name(const std::wstring& name) const
{
    for (const auto& [source, destination] : *this) {
        if (platform::equal_no_case(source, name))
            return destination;
    }
    return name;
}

void udb_names_map::add_tn_mapping(const std::wstring& source_table, const std::wstring& destination_table)
{
    tk_logger::wlog(1, L"udb_names_map::add_tn_mapping(%s,%s)", source_table.c_str(), destination_table.c_str());
    table_map.insert({source_table, destination_table});
}

void udb_names_map::add_fn_map(const std::wstring& table, const t_names_map& pairs)
{
    tk_logger::wlog(2, L"udb_names_map::add_fn_map(%s)", table.c_str());
    field_map[table] = pairs;
}

std::wstring udb_names_map::get_tn_mapped_name(const std::wstring& name, bool case_sensitive) const
{
    tk_logger::wlog(1, L"udb_names_map::get_tn_mapped_name(%s)", name.c_str());
    for (const auto& [source, destination] : table_map) {
        tk_logger::wlog(1, L"Comparing with (%s,%s)", source.c_str(), destination.c_str());
        if (names_match(source, name, case_sensitive))
            return destination;
    }
    return name;
}

std::wstring udb_names_map::get_fn_mapped_name(const std::wstring& table, const std::wstring& field,
                                               bool case_sensitive) const
{
    tk_logger::wlog(1, L"udb_names_map::get_fn_mapped_name(%s,%s)", table.c_str(), field.c_str());
    auto found = field_map.find(table);
    if (found == field_map.end()) {
        tk_logger::wlog(1, L"Table '%s' not found", table.c_str());
        return field;
    }
    for (const auto& [source, destination] : found->second) {
        if (names_match(source, field, case_sensitive)) {
            tk_logger::wlog(1, L"Got mapped name: %s", destination.c_str());
            return destination;
        }
    }
    return field;
}

std::wstring udb_names_map::get_fn_orig_name(const std::wstring& table, const std::wstring& field,
                                             bool case_sensitive) const
{
    tk_logger::wlog(1, L"udb_names_map::get_fn_orig_name(%s,%s)", table.c_str(), field.c_str());
    tk_logger::log(1, "fn.size=%d", static_cast<int>(field_map.size()));
    tk_logger::log(1, "Step #1");
    auto found = field_map.find(table);
    if (found == field_map.end()) {
        tk_logger::wlog(1, L"Table '%s' not found", table.c_str());
        return field;
    }
    tk_logger::log(1, "Step #2");
    for (const auto& [source, destination] : found->second) {
        if (names_match(destination, field, case_sensitive)) {
            tk_logger::wlog(1, L"Got orignal name: %s", source.c_str());
            return source;
        }
    }
    return field;
}

std::wstring udb_names_map::do_global_replace1(const std::wstring& text, const std::wstring& prefix,
                                               const std::wstring& suffix) const
{
    tk_logger::wlog(2, L"udb_names_map::do_global_replace1(%s)", text.c_str());
    std::vector<const t_names_map*> maps{&table_map};
    for (const auto& entry : field_map)
        maps.push_back(&entry.second);
    return replace_words(text, maps, prefix, suffix);
}

std::wstring udb_names_map::do_global_replace2(const std::wstring& text, const t_names_map& pairs,
                                               const std::wstring& prefix, const std::wstring& suffix)
{
    tk_logger::wlog(2, L"udb_names_map::do_global_replace2(%s)", text.c_str());
    return replace_words(text, {&pairs}, prefix, suffix);
}

// One pass over the text with every pair at once, so an inserted name is
// never searched again and a later pair cannot rewrite what an earlier one
// produced. An empty source name matches nothing.
std::wstring udb_names_map::replace_words(const std::wstring& text, const std::vector<const t_names_map*>& maps,
                                          const std::wstring& prefix, const std::wstring& suffix)
{
    std::vector<replacement> list;
    for (const t_names_map* map : maps) {
        for (const auto& [old_name, new_name] : *map) {
            if (old_name.empty())
                continue;
            list.push_back({old_name, enclose(new_name, prefix, suffix)});
            tk_logger::wlog(2, L"Testing pair ('%s','%s')", old_name.c_str(), list.back().new_text.c_str());
        }
    }
    std::wstring result;
    result.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        const replacement* r = match_at(text, pos, list);
        if (r == nullptr) {
            result += text[pos++];
            continue;
        }
        tk_logger::wlog(2, L"'%s' was found at pos=%d", r->old_name.c_str(), static_cast<int>(pos));
        result += r->new_text;
        pos += r->old_name.size();
    }
    return result;
}
