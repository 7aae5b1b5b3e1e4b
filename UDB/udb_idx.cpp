#include "UDB/udb_idx.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "platform/text/pl_case.hpp"

#include <algorithm>

bool udb_index::starts_with_fields(const std::vector<std::wstring>& that) const
{
    tk_logger::wlog(1, L"udb_index(%s)::starts_with_fields", name.c_str());
    tk_logger::log(1, "this.size=%d, that.size=%d", static_cast<int>(fields.size()), static_cast<int>(that.size()));
    if (that.size() > fields.size()) {
        tk_logger::log(1, "starts_with_fields returns false");
        return false;
    }
    for (size_t i = 0; i < that.size(); ++i) {
        if (!platform::equal_no_case(that[i], fields[i])) {
            tk_logger::wlog(1, L"Field '%s' not found", that[i].c_str());
            return false;
        }
    }
    tk_logger::log(1, "starts_with_fields returns true");
    return true;
}

bool udb_indexes::is_acceptable_name(const std::wstring& name) const
{
    tk_logger::wlog(1, L"udb_indexes::is_acceptable_name(%s)", name.c_str());
    return std::none_of(begin(), end(), [&](const udb_index& i) { return platform::equal_no_case(i.name, name); });
}

bool udb_indexes::find2(const std::wstring& name) const
{
    tk_logger::log(1, "udb_indexes::find2");
    return std::any_of(begin(), end(), [&](const udb_index& i) { return platform::equal_no_case(i.name, name); });
}

udb_index& udb_indexes::get_index(const std::wstring& name)
{
    tk_logger::wlog(1, L"udb_indexes::get_index(%s)", name.c_str());
    auto found = std::find_if(begin(), end(), [&](const udb_index& i) { return platform::equal_no_case(i.name, name); });
    if (found == end())
        throw tk_mail_assertion("udb_idx", 179);
    return *found;
}

void udb_indexes::push_back(const udb_index& index)
{
    tk_logger::wlog(2, L"udb_indexes::push_back(%s)", index.name.c_str());
    if (!find2(index.name)) {
        tk_logger::log(2, "Index does not exist, add it");
        std::vector<udb_index>::push_back(index);
        return;
    }
    merge(get_index(index.name), index);
}

// The stronger kind wins: primary key over unique constraint over unique
// index over plain index. The entry keeps its place in the list.
void udb_indexes::merge(udb_index& existing, const udb_index& index)
{
    if (existing.primary) {
        tk_logger::log(2, "Primary key with the same name exists, skip it.");
    } else if (index.primary) {
        tk_logger::log(2, "Upgrade existing index to primary key.");
        existing = index;
    } else if (existing.unique_constraint) {
        tk_logger::log(2, "Unique constraint with the same name exists, skip it.");
    } else if (index.unique_constraint) {
        tk_logger::log(2, "Set unique constraint attributes for existing index.");
        existing = index;
        if (index.unique)
            tk_logger::log(2, "Unique index with the same name exists, skip it.");
    } else if (existing.unique) {
        tk_logger::log(2, "Unique index with the same name exists, skip it.");
    } else if (index.unique) {
        tk_logger::log(2, "Set unique attribute for existing index.");
        existing = index;
    }
}

bool udb_indexes::has_index_on_fields(const std::vector<std::wstring>& fields, bool unique_only) const
{
    tk_logger::log(1, "udb_indexes::has_index_on_fields");
    auto found = std::find_if(begin(), end(), [&](const udb_index& i) { return i.starts_with_fields(fields); });
    if (found == end())
        return false;
    return !unique_only || found->unique;
}

bool udb_indexes::is_idx_field(const std::wstring& field, bool primary_only) const
{
    tk_logger::wlog(1, L"udb_indexes::is_idx_field(%s)", field.c_str());
    for (const udb_index& index : *this) {
        if (primary_only && !index.primary)
            continue;
        if (std::find(index.fields.begin(), index.fields.end(), field) != index.fields.end()) {
            tk_logger::log(1, "index field");
            return true;
        }
    }
    tk_logger::log(1, "non-index field");
    return false;
}
