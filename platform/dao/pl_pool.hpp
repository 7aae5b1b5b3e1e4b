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

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::dao {

// Large arrays of the column store and the text pool come in whole 2 MiB
// pages where the system offers them: filling a sheet of millions of cells
// in 4 KiB pages costs a page fault each, which on some virtual machines
// takes longer than reading the cells. Smaller ones come from the heap.
void* allocate_large(size_t bytes);
void free_large(void* block, size_t bytes) noexcept;

template <class T> struct large_allocator {
    using value_type = T;
    large_allocator() = default;
    template <class U> large_allocator(const large_allocator<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(allocate_large(n * sizeof(T))); }
    void deallocate(T* p, size_t n) noexcept { free_large(p, n * sizeof(T)); }
    bool operator==(const large_allocator&) const = default;
};

template <class T> using large_vector = std::vector<T, large_allocator<T>>;

// One block from allocate_large, owned.
class large_block {
public:
    explicit large_block(size_t bytes) : bytes(bytes), block(static_cast<char*>(allocate_large(bytes))) {}
    large_block(large_block&& other) noexcept : bytes(other.bytes), block(std::exchange(other.block, nullptr)) {}
    large_block& operator=(large_block&&) = delete;
    ~large_block() { free_large(block, bytes); }
    char* data() const { return block; }

private:
    size_t bytes;
    char* block;
};

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
        return std::string_view(chunks[ref >> chunk_shift].data() + ((ref >> length_bits) & (chunk_size - 1)),
                                length(ref));
    }
    static size_t length(text_ref ref) { return size_t(ref & length_mask); }

    // Where the pool stands: texts added after it can be dropped again, so
    // that a part read a second time keeps its texts once.
    struct mark {
        size_t chunks, last, used;
    };
    mark position() const { return {chunks.size(), last, used}; }
    void drop_after(const mark& m);

    // Takes the texts of a pool filled apart (on another thread) after its
    // own; a reference into that pool becomes moved(ref, base) with the base
    // this returns.
    size_t adopt(text_pool&& other);
    static text_ref moved(text_ref ref, size_t base)
    {
        return length(ref) == 0 ? ref : ref + (text_ref(base) << chunk_shift);
    }

private:
    static constexpr unsigned length_bits = 26;  // up to max_length
    static constexpr size_t length_mask = (size_t(1) << length_bits) - 1;
    static constexpr size_t chunk_size = size_t(2) << 20;
    static constexpr unsigned chunk_shift = length_bits + 21;  // 2^17 chunks
    static constexpr size_t own_chunk_from = chunk_size / 8;    // wastes at most 1/8 of a chunk

    text_ref store(size_t chunk, size_t offset, std::string_view text);

    std::vector<large_block> chunks;
    size_t last = 0;          // the chunk being filled
    size_t used = chunk_size; // bytes of it taken; full before the first
};

static_assert(text_pool::max_length < (size_t(1) << 26));

} // namespace platform::dao
