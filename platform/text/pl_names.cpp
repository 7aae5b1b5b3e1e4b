#include "platform/text/pl_names.hpp"

#include "platform/text/pl_case.hpp"

#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace platform {

namespace {

bool is_identifier_char(wchar_t c)
{
    const auto code = static_cast<uint32_t>(c);
    if (code < 0x20 || (code >= 0x7F && code <= 0x9F))
        return false;
    return code <= 0xFFFF && !(code >= 0xD800 && code <= 0xDFFF);
}

} // namespace

std::wstring identifier_chars(std::wstring name)
{
    for (wchar_t& c : name)
        if (!is_identifier_char(c))
            c = L'_';
    return name;
}

void make_names_unique(std::vector<std::wstring>& names, const std::vector<bool>& generated, name_numberer number)
{
    // A name made by the program (generated, or changed here) never takes a
    // name a header has as written.
    std::vector<bool> made = generated;
    for (size_t i = 0; i < names.size(); ++i) {
        std::wstring name = identifier_chars(names[i]);
        if (name != names[i]) {
            made[i] = true;
            names[i] = std::move(name);
        }
    }
    std::unordered_set<std::wstring> headed;
    for (size_t i = 0; i < names.size(); ++i)
        if (!made[i])
            headed.insert(name_key(names[i]));
    std::unordered_set<std::wstring> taken;
    // The last number each name wanted, as written, took: a thousand equal
    // headers cost a thousand tries, not a million. A try refused once stays
    // refused.
    std::unordered_map<std::wstring, unsigned> last_number;
    for (size_t i = 0; i < names.size(); ++i) {
        std::wstring key = name_key(names[i]);
        if (!taken.contains(key) && (!made[i] || !headed.contains(key))) {
            taken.insert(std::move(key));
            continue;
        }
        unsigned& last = last_number[names[i]];
        std::wstring candidate;
        do {
            candidate = number(names[i], ++last);
            key = name_key(candidate);
        } while (taken.contains(key) || headed.contains(key));
        names[i] = candidate;
        taken.insert(std::move(key));
    }
}

} // namespace platform
