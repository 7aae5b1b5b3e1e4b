#include "UDB/udb_rel.hpp"

#include "UDB/udb_uniq.hpp"
#include "TK/tk_log.hpp"
#include "platform/text/pl_case.hpp"

#include <algorithm>

namespace {

std::wstring blanks_to_underscores(std::wstring text)
{
    std::replace(text.begin(), text.end(), L' ', L'_');
    return text;
}

} // namespace

udb_relationship::udb_relationship(const std::wstring& name_, const std::wstring& name2_,
                                   const std::wstring& child_table_, const std::wstring& parent_table_,
                                   const std::vector<std::wstring>& fk_flds_,
                                   const std::vector<std::wstring>& pk_flds_, const std::wstring& properties_)
    : name(name_), name2(name2_), child_table(child_table_), parent_table(parent_table_), properties(properties_),
      fk_flds(fk_flds_), pk_flds(pk_flds_)
{
}

udb_relationship::udb_relationship(const std::wstring& child_table_, const std::wstring& parent_table_,
                                   const std::vector<std::wstring>& fk_flds_,
                                   const std::vector<std::wstring>& pk_flds_, const std::wstring& properties_)
    : udb_relationship(L"FK_" + blanks_to_underscores(parent_table_) + L"_" + blanks_to_underscores(child_table_),
                       std::wstring(), child_table_, parent_table_, fk_flds_, pk_flds_, properties_)
{
}

udb_relationship::udb_relationship(const udb_relationship& that)
    : name(that.name), name2(that.name2), child_table(that.child_table), parent_table(that.parent_table),
      properties(that.properties), fk_flds(that.fk_flds), pk_flds(that.pk_flds)
{
    tk_logger::log(2, "udb_relationship::copy ctor");
    tk_logger::log(2, "that.fk_flds.size=%d, fk_flds.size=%d", static_cast<int>(that.fk_flds.size()),
                   static_cast<int>(fk_flds.size()));
    tk_logger::log(2, "that.pk_flds.size=%d, pk_flds.size=%d", static_cast<int>(that.pk_flds.size()),
                   static_cast<int>(pk_flds.size()));
}

bool udb_relationships::is_acceptable_name(const std::wstring& name) const
{
    tk_logger::wlog(1, L"udb_relationships::is_acceptable_name(%s)", name.c_str());
    return std::none_of(begin(), end(),
                        [&](const udb_relationship& r) { return platform::equal_no_case(r.name, name); });
}

std::wstring udb_relationships::gen_relship_name(const udb_relationship& relationship) const
{
    tk_logger::log(1, "udb_relationships::gen_relship_name");
    std::wstring candidate = L"FK_" + relationship.parent_table + L"_" + relationship.child_table;
    for (unsigned attempt = 0; !is_acceptable_name(candidate); ++attempt) {
        tk_logger::wlog(2, L"%s is not acceptable as a FK name", candidate.c_str());
        candidate += udb_unique_suffix(attempt);
    }
    return candidate;
}
