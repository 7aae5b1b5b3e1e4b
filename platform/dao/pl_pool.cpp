#include "platform/dao/pl_pool.hpp"

#include "platform/dao/pl_rderr.hpp"

#include <cstring>
#include <string>

namespace platform::dao {

text_ref text_pool::store(size_t chunk, size_t offset, std::string_view text)
{
    std::memcpy(chunks[chunk].get() + offset, text.data(), text.size());
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
        chunks.push_back(std::make_unique_for_overwrite<char[]>(text.size()));
        return store(chunks.size() - 1, 0, text);
    }
    if (used + text.size() > chunk_size) {
        chunks.push_back(std::make_unique_for_overwrite<char[]>(chunk_size));
        last = chunks.size() - 1;
        used = 0;
    }
    const text_ref ref = store(last, used, text);
    used += text.size();
    return ref;
}

} // namespace platform::dao
