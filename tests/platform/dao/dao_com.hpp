// What the calling side of the DAO-like interfaces holds: one owned
// reference to an object, one owned BSTR.
#pragma once

#include "platform/dao/pl_daoco.hpp"
#include "platform/text/pl_utf8.hpp"

#include <cstdint>
#include <string>

namespace dao_test {

template <class T> class com {
public:
    com() = default;
    com(const com&) = delete;
    com& operator=(const com&) = delete;
    ~com() { reset(); }
    T** out()
    {
        reset();
        return &p;
    }
    T* operator->() const { return p; }
    T* get() const { return p; }
    void reset()
    {
        if (p)
            p->Release();
        p = nullptr;
    }

private:
    T* p = nullptr;
};

struct bstr {
    BSTR b = nullptr;
    explicit bstr(const std::wstring& text) : b(SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()))) {}
    bstr() = default;
    bstr(const bstr&) = delete;
    bstr& operator=(const bstr&) = delete;
    ~bstr() { SysFreeString(b); }
    std::string text() const { return platform::to_utf8(bstr_view(b)); }
};

} // namespace dao_test
