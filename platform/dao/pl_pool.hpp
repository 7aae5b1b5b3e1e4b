// The texts of one workbook. A cell keeps a 64-bit reference (where the text
// lies and its length) instead of a string of its own, so a shared string
// used by a million cells is stored once and a text cell costs the same
// eight bytes as a number.
//
// Texts are packed into chunks of a fixed size that never move once filled:
// the pool grows by one chunk at a time instead of copying everything it
// holds into a buffer twice as large, so its peak is what it holds. A text
// too long to share a chunk gets one of its own, of its own size.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace platform::dao {

using text_ref = uint64_t;

class text_pool {
public:
    // The longest text a cell may hold (a spreadsheet program's own limit is
    // 32767 characters); the readers refuse longer ones, naming the cell.
    static constexpr size_t max_length = size_t(32) << 20;

    // Refuses a text longer than max_length: format_fault "<where> holds a
    // text longer than the M bytes a cell may hold".
    [[noreturn]] static void refuse_long(std::string_view where);
    text_ref add(std::string_view text);
    std::string_view get(text_ref ref) const
    {
        if (length(ref) == 0)
            return {};
        return std::string_view(chunks[ref >> chunk_shift].get() + ((ref >> length_bits) & (chunk_size - 1)),
                                length(ref));
    }
    static size_t length(text_ref ref) { return size_t(ref & length_mask); }

private:
    static constexpr unsigned length_bits = 26;  // up to max_length
    static constexpr size_t length_mask = (size_t(1) << length_bits) - 1;
    static constexpr size_t chunk_size = size_t(1) << 20;
    static constexpr unsigned chunk_shift = length_bits + 20;  // 2^18 chunks
    static constexpr size_t own_chunk_from = chunk_size / 8;    // wastes at most 1/8 of a chunk

    text_ref store(size_t chunk, size_t offset, std::string_view text);

    std::vector<std::unique_ptr<char[]>> chunks;
    size_t last = 0;          // the chunk being filled
    size_t used = chunk_size; // bytes of it taken; full before the first
};

static_assert(text_pool::max_length < (size_t(1) << 26));

} // namespace platform::dao
