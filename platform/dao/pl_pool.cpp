#include "platform/dao/pl_pool.hpp"

#include "platform/dao/pl_rderr.hpp"

#include <sys/mman.h>

#include <cstring>
#include <new>
#include <string>

namespace platform::dao {

namespace {

constexpr size_t huge_page = size_t(2) << 20;

size_t huge_pages_of(size_t bytes) { return (bytes + huge_page - 1) & ~(huge_page - 1); }

} // namespace

// The block is mapped one huge page larger than asked and cut to a huge
// page boundary, so that the kernel can back it with huge pages.
void* allocate_large(size_t bytes)
{
    if (bytes < huge_page)
        return ::operator new(bytes);
    const size_t size = huge_pages_of(bytes);
    void* mapped = ::mmap(nullptr, size + huge_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    const uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + huge_page - 1) & ~uintptr_t(huge_page - 1);
    if (aligned > start)
        ::munmap(mapped, aligned - start);
    if (aligned + size < start + size + huge_page)
        ::munmap(reinterpret_cast<void*>(aligned + size), start + huge_page - aligned);
    ::madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);  // a hint: without it, small pages
    return reinterpret_cast<void*>(aligned);
}

void free_large(void* block, size_t bytes) noexcept
{
    if (block == nullptr)
        return;
    if (bytes < huge_page)
        ::operator delete(block);
    else
        ::munmap(block, huge_pages_of(bytes));
}

text_ref text_pool::store(size_t chunk, size_t offset, std::string_view text)
{
    std::memcpy(chunks[chunk].data() + offset, text.data(), text.size());
    return text_ref(chunk) << chunk_shift | text_ref(offset) << length_bits | text.size();
}

void text_pool::refuse_long(std::string_view where)
{
    throw format_fault(std::string(where) + " holds a text longer than the " + std::to_string(max_length) +
                       " bytes a cell may hold");
}

text_ref text_pool::add(std::string_view text)
{
    if (text.size() > max_length)
        refuse_long("a cell");
    if (text.empty())
        return 0;
    if (chunks.size() >= (size_t(1) << (64 - chunk_shift)))
        throw format_fault("more texts than a workbook can hold");
    if (text.size() >= own_chunk_from) {
        // the chunk being filled stays the one to fill
        chunks.emplace_back(text.size());
        return store(chunks.size() - 1, 0, text);
    }
    if (used + text.size() > chunk_size) {
        chunks.emplace_back(chunk_size);
        last = chunks.size() - 1;
        used = 0;
    }
    const text_ref ref = store(last, used, text);
    used += text.size();
    return ref;
}

void text_pool::drop_after(const mark& m)
{
    while (chunks.size() > m.chunks)
        chunks.pop_back();
    last = m.last;
    used = m.used;
}

// The chunk being filled stays ours: the adopted ones are full as far as
// they go.
size_t text_pool::adopt(text_pool&& other)
{
    const size_t base = chunks.size();
    if (base + other.chunks.size() > (size_t(1) << (64 - chunk_shift)))
        throw format_fault("more texts than a workbook can hold");
    for (large_block& chunk : other.chunks)
        chunks.push_back(std::move(chunk));
    other.chunks.clear();
    other.last = 0;
    other.used = chunk_size;
    return base;
}

} // namespace platform::dao
