#include "platform/text/pl_names.hpp"

#include "platform/text/pl_case.hpp"

#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace platform {

void make_names_unique(std::vector<std::wstring>& names, const std::vector<bool>& generated, name_numberer number)
{
    std::unordered_set<std::wstring> headed;
    for (size_t i = 0; i < names.size(); ++i)
        if (!generated[i])
            headed.insert(name_key(names[i]));
    std::unordered_set<std::wstring> taken;
    // The last number each name wanted, as written, took: a thousand equal
    // headers cost a thousand tries, not a million. A try refused once stays
    // refused.
    std::unordered_map<std::wstring, unsigned> last_number;
    for (size_t i = 0; i < names.size(); ++i) {
        std::wstring key = name_key(names[i]);
        if (!taken.contains(key) && (!generated[i] || !headed.contains(key))) {
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
