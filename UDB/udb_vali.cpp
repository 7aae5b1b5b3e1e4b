#include "UDB/udb_vali.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"

#include <algorithm>

namespace {

constexpr unsigned counter_digits = 5;
constexpr unsigned counter_limit = 100000;

// A name cut to length: a blank the cut leaves at its end goes too, as no
// name may end in one; the name is then no other name's and needs no
// counter.
void cut(std::wstring& name, size_t length)
{
    if (name.size() <= length)
        return;
    name.resize(length);
    while (!name.empty() && name.back() == L' ')
        name.pop_back();
}

} // namespace

udb_validator::udb_validator(uint32_t max_length_) : max_length(max_length_)
{
    tk_logger::log(2, "udb_validator::ctor");
}

void udb_validator::add_existing_name(const std::wstring& name)
{
    tk_logger::wlog(1, L"udb_validator::add_existing_name(%s)", name.c_str());
    existing_names.push_back(name);
}

void udb_validator::add_mapped_pair(const std::wstring& source_name, const std::wstring& safe_name)
{
    tk_logger::wlog(1, L"udb_validator::add_mapped_pair(%s,%s)", source_name.c_str(), safe_name.c_str());
    mapped_pairs.insert({source_name, safe_name});
}

bool udb_validator::is_acceptable(const std::wstring& name) const
{
    tk_logger::wlog(2, L"udb_validator::is_acceptable(%s)", name.c_str());
    if (max_length != 0 && name.size() > max_length) {
        tk_logger::log(1, "The name is too long");
        return false;
    }
    for (const std::wstring& restricted : restricted_names) {
        if (same_name(name, restricted)) {
            tk_logger::log(2, "The name is restricted");
            return false;
        }
    }
    for (wchar_t c : illegal_chars) {
        if (name.find(c) != std::wstring::npos) {
            tk_logger::wlog(2, L"The name contains illegal: %c", c);
            return false;
        }
    }
    return true;
}

bool udb_validator::is_duplicated(const std::wstring& name) const
{
    tk_logger::wlog(2, L"udb_validator::is_duplicated(%s)", name.c_str());
    for (const std::wstring& existing : existing_names) {
        tk_logger::wlog(1, L"Processing %s", existing.c_str());
        if (same_name(name, existing)) {
            tk_logger::log(2, "Name is duplicated");
            return true;
        }
    }
    return false;
}

std::wstring udb_validator::get_safe_name(const std::wstring& name)
{
    tk_logger::wlog(1, L"udb_validator::get_safe_name(%s)", name.c_str());
    std::wstring working = name;
    tk_wstring::to_lower(working);
    if (max_length != 0 && working.size() > max_length)
        cut(working, max_length - 1);
    for (wchar_t& c : working) {
        if (std::find(illegal_chars.begin(), illegal_chars.end(), c) != illegal_chars.end())
            c = L'_';
    }
    cut(working, stored_length(working, 0));
    if (is_free(working))
        return working;
    return get_counted_name(working);
}

size_t udb_validator::stored_length(const std::wstring& name, size_t) const
{
    return name.size();
}

// The base followed by 00000, 00001, ... 99999. The base is cut so that base
// and counter stay below max_length; a limit too short for the counter itself
// can never give a free name and is reported at once.
std::wstring udb_validator::get_counted_name(std::wstring base) const
{
    if (max_length != 0) {
        if (max_length < counter_digits)
            throw tk_mail_assertion("udb_vali", 55);
        if (base.size() > max_length - counter_digits)
            base.resize(max_length > counter_digits ? max_length - counter_digits - 1 : 0);
    }
    base.resize(stored_length(base, counter_digits));
    std::wstring candidate = base + std::wstring(counter_digits, L'0');
    for (unsigned counter = 0; counter < counter_limit; ++counter) {
        unsigned rest = counter;
        for (size_t i = candidate.size(); i-- > base.size(); rest /= 10)
            candidate[i] = static_cast<wchar_t>(L'0' + rest % 10);
        if (is_free(candidate))
            return candidate;
    }
    throw tk_mail_assertion("udb_vali", 55);
}
