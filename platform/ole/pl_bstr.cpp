// A BSTR is one block: the block's room for characters in bytes, a 32-bit
// byte count, the characters, a zero character. The pointer handed out points
// at the characters. The room lets a reallocation to a text that fits reuse
// the block: a value read again and again (a field of row after row) then
// costs no allocation.
#include "platform/ole/pl_bstr.hpp"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>

namespace {

struct block_header {
    uint32_t room;   // bytes of characters the block holds, the zero aside
    uint32_t bytes;  // bytes of characters in use
};
constexpr size_t prefix = sizeof(block_header);
static_assert(prefix % alignof(OLECHAR) == 0);

block_header* header(BSTR text) { return reinterpret_cast<block_header*>(reinterpret_cast<char*>(text) - prefix); }

bool too_long(uint32_t length)
{
    return length > (std::numeric_limits<uint32_t>::max() - prefix) / sizeof(OLECHAR) - 1;
}

// Sets the string's length and closing zero, its characters copied from text,
// which may lie inside the string itself.
void fill(BSTR into, const OLECHAR* text, uint32_t length)
{
    if (text != nullptr)
        std::wmemmove(into, text, length);
    into[length] = 0;
    header(into)->bytes = static_cast<uint32_t>(length * sizeof(OLECHAR));
}

BSTR allocate(const OLECHAR* text, uint32_t length)
{
    if (too_long(length))
        return nullptr;
    const size_t bytes = size_t(length) * sizeof(OLECHAR);
    auto* block = static_cast<block_header*>(std::malloc(prefix + bytes + sizeof(OLECHAR)));
    if (block == nullptr)
        return nullptr;
    block->room = static_cast<uint32_t>(bytes);
    BSTR result = reinterpret_cast<BSTR>(reinterpret_cast<char*>(block) + prefix);
    if (text == nullptr)
        std::wmemset(result, 0, length);
    fill(result, text, length);
    return result;
}

} // namespace

BSTR SysAllocString(const OLECHAR* text)
{
    if (text == nullptr)
        return nullptr;
    return allocate(text, static_cast<uint32_t>(std::wcslen(text)));
}

BSTR SysAllocStringLen(const OLECHAR* text, uint32_t length) { return allocate(text, length); }

int SysReAllocStringLen(BSTR* text, const OLECHAR* from, uint32_t length)
{
    if (text == nullptr)
        return 0;
    if (*text != nullptr && !too_long(length) && size_t(length) * sizeof(OLECHAR) <= header(*text)->room) {
        fill(*text, from, length);
        return 1;
    }
    BSTR fresh = allocate(from, length);
    if (fresh == nullptr)
        return 0;
    SysFreeString(*text);
    *text = fresh;
    return 1;
}

void SysFreeString(BSTR text)
{
    if (text != nullptr)
        std::free(header(text));
}

uint32_t SysStringByteLen(BSTR text) { return text == nullptr ? 0 : header(text)->bytes; }

uint32_t SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }
