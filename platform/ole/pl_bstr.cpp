// A BSTR is one block: a 32-bit byte count, the characters, a zero character.
// The pointer handed out points at the characters.
#include "platform/ole/pl_bstr.hpp"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>

namespace {

constexpr size_t prefix = sizeof(uint32_t);
static_assert(prefix % alignof(OLECHAR) == 0);

uint32_t* header(BSTR text) { return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(text) - prefix); }

BSTR allocate(const OLECHAR* text, uint32_t length)
{
    if (length > (std::numeric_limits<uint32_t>::max() - prefix) / sizeof(OLECHAR) - 1)
        return nullptr;
    const size_t bytes = size_t(length) * sizeof(OLECHAR);
    auto* block = static_cast<char*>(std::malloc(prefix + bytes + sizeof(OLECHAR)));
    if (block == nullptr)
        return nullptr;
    const uint32_t count = static_cast<uint32_t>(bytes);
    std::memcpy(block, &count, prefix);
    BSTR result = reinterpret_cast<BSTR>(block + prefix);
    if (text != nullptr)
        std::wmemcpy(result, text, length);
    else
        std::wmemset(result, 0, length);
    result[length] = 0;
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

void SysFreeString(BSTR text)
{
    if (text != nullptr)
        std::free(header(text));
}

uint32_t SysStringByteLen(BSTR text) { return text == nullptr ? 0 : *header(text); }

uint32_t SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }
