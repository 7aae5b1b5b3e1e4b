#include "platform/ole/pl_unkn.hpp"

HRESULT pl_unknown::QueryInterface(REFIID iid, void** out)
{
    if (out == nullptr)
        return E_POINTER;
    void* found = iid == IID_IUnknown ? static_cast<IUnknown*>(this) : query_interface(iid);
    *out = found;
    if (found == nullptr)
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

uint32_t pl_unknown::AddRef() { return refs.fetch_add(1, std::memory_order_relaxed) + 1; }

uint32_t pl_unknown::Release()
{
    const uint32_t left = refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0)
        delete this;  // COM ownership: the last reference ends the object
    return left;
}

void* pl_unknown::query_interface(REFIID) { return nullptr; }
