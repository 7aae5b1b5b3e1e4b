// Reference-counted objects reached through interfaces identified by GUIDs,
// in the manner of COM: AddRef and Release return the new count and the
// object deletes itself when the count reaches zero; QueryInterface hands out
// the object under an interface it implements, with one more reference.
#pragma once

#include "platform/ole/pl_oletp.hpp"

#include <atomic>
#include <cstdint>

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];

    friend bool operator==(const GUID&, const GUID&) = default;
};
using IID = GUID;
using REFIID = const IID&;

constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** out) = 0;
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

// The shared reference count and self-deletion of an implementation. A class
// derived from it answers QueryInterface for IID_IUnknown and for every IID
// that its own query_interface accepts. Objects start with one reference,
// owned by whoever created them.
class pl_unknown : public IUnknown {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override;
    uint32_t AddRef() override;
    uint32_t Release() override;

protected:
    pl_unknown() = default;
    pl_unknown(const pl_unknown&) = delete;
    pl_unknown& operator=(const pl_unknown&) = delete;
    // The object under interface iid, or null when it has none beyond IUnknown.
    virtual void* query_interface(REFIID iid);

private:
    std::atomic<uint32_t> refs{1};
};
