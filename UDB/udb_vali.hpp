// Name validators: whether a table, field, index or database name suits a
// target, and a safe, unique replacement when it does not. Each back end
// derives its own validators with its limits, characters and reserved words;
// the base holds the rules they share.
#pragma once

#include "UDB/udb_nmap.hpp"
#include "platform/text/pl_case.hpp"

#include <cstdint>
#include <string>
#include <vector>

class udb_validator {
public:
    // max_length: the longest acceptable name in characters, 0 for no limit.
    explicit udb_validator(uint32_t max_length);
    virtual ~udb_validator() = default;

    // Length, reserved words and illegal characters; duplicates are
    // is_duplicated's concern.
    virtual bool is_acceptable(const std::wstring& name) const;
    // True when an existing name is one name with this one (same_name). The
    // restricted names are compared the same way.
    virtual bool is_duplicated(const std::wstring& name) const;
    // The name in lower case, cut to fit (and a blank the cut leaves at its
    // end dropped), illegal characters made "_", and when still refused a
    // five-digit counter appended. The result is not
    // added to the existing names: callers do that when they take it.
    virtual std::wstring get_safe_name(const std::wstring& name);

    void add_existing_name(const std::wstring& name);
    void add_mapped_pair(const std::wstring& source_name, const std::wstring& safe_name);

    uint32_t max_length;
    // Source name -> the safe name chosen for it; the derived validators fill
    // and read it.
    t_names_map mapped_pairs;
    std::vector<wchar_t> illegal_chars;
    std::vector<std::wstring> restricted_names;  // the target's reserved words
    std::vector<std::wstring> existing_names;    // names taken in the guarded scope
    // When two names are one to the target: column and index names by the
    // server's weights; table validators take the server's case folding.
    bool (*same_name)(std::wstring_view, std::wstring_view) = platform::equal_names;

protected:
    // How much of the start of a name (at most all of it) the target stores
    // with suffix more ASCII characters after it, beyond max_length: the
    // base stores all.
    virtual size_t stored_length(const std::wstring& name, size_t suffix) const;

private:
    bool is_free(const std::wstring& name) const { return is_acceptable(name) && !is_duplicated(name); }
    std::wstring get_counted_name(std::wstring base) const;
};
