// The texts of one workbook, end to end in one buffer. A cell keeps a 64-bit
// reference (offset and length) instead of a string of its own, so a shared
// string used by a million cells is stored once and a text cell costs the same
// eight bytes as a number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::dao {

using text_ref = uint64_t;

class text_pool {
public:
    // Longer texts are cut at a character boundary; a cell holds at most
    // 32767 characters, far below this.
    static constexpr size_t max_length = (size_t(1) << 24) - 1;

    text_ref add(std::string_view text);
    std::string_view get(text_ref ref) const
    {
        return std::string_view(buf.data() + (ref >> 24), ref & max_length);
    }
    size_t size() const { return buf.size(); }

private:
    std::string buf;
};

} // namespace platform::dao
