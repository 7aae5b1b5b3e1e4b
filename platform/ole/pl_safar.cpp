// Arrays own their elements in a byte vector; pvData points into it.
#include "platform/ole/pl_safar.hpp"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>

namespace {

// Bytes per element of the types an array may hold; 0 for the others.
uint32_t element_size(VARTYPE vt)
{
    switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: return 8;
    case VT_DECIMAL: return sizeof(DECIMAL);
    default: return 0;
    }
}

uint64_t element_count(const std::vector<SAFEARRAYBOUND>& bounds)
{
    uint64_t n = 1;
    for (const auto& b : bounds) {
        n *= b.cElements;
        if (n > (uint64_t(1) << 40))
            return n;  // far beyond any size we allocate; refused by the caller
    }
    return n;
}

// Sizes the storage to the bounds; false when memory runs out.
bool resize_storage(SAFEARRAY& array)
{
    const uint64_t bytes = element_count(array.rgsabound) * array.cbElements;
    if (bytes > uint64_t(std::numeric_limits<uint32_t>::max()))
        return false;
    try {
        array.storage.resize(static_cast<size_t>(bytes), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    array.pvData = array.storage.data();
    return true;
}

} // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, uint32_t dims, const SAFEARRAYBOUND* bounds)
{
    const uint32_t size = element_size(vt);
    if (dims == 0 || dims > 0xFFFF || bounds == nullptr || size == 0)
        return nullptr;
    std::unique_ptr<SAFEARRAY> array(new (std::nothrow) SAFEARRAY{});
    if (!array)
        return nullptr;
    array->cDims = static_cast<uint16_t>(dims);
    array->cbElements = size;
    array->vt = vt;
    array->rgsabound.assign(bounds, bounds + dims);
    if (!resize_storage(*array))
        return nullptr;
    return array.release();  // owned by the caller until SafeArrayDestroy
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, int32_t lbound, uint32_t count)
{
    const SAFEARRAYBOUND bound{count, lbound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayRedim(SAFEARRAY* array, const SAFEARRAYBOUND* bound)
{
    if (array == nullptr || bound == nullptr)
        return E_INVALIDARG;
    if (array->cLocks != 0)
        return DISP_E_ARRAYISLOCKED;
    const SAFEARRAYBOUND old = array->rgsabound.back();
    array->rgsabound.back() = *bound;
    if (!resize_storage(*array)) {
        array->rgsabound.back() = old;
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT SafeArrayDestroy(SAFEARRAY* array)
{
    if (array == nullptr)
        return S_OK;
    if (array->cLocks != 0)
        return DISP_E_ARRAYISLOCKED;
    std::unique_ptr<SAFEARRAY> owned(array);
    return S_OK;
}

HRESULT SafeArrayCopy(const SAFEARRAY* array, SAFEARRAY** out)
{
    if (out == nullptr)
        return E_POINTER;
    *out = nullptr;
    if (array == nullptr)
        return S_OK;
    SAFEARRAY* copy = SafeArrayCreate(array->vt, array->cDims, array->rgsabound.data());
    if (copy == nullptr)
        return E_OUTOFMEMORY;
    std::copy(array->storage.begin(), array->storage.end(), copy->storage.begin());
    *out = copy;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data)
{
    if (array == nullptr || data == nullptr)
        return E_INVALIDARG;
    ++array->cLocks;
    *data = array->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array)
{
    if (array == nullptr || array->cLocks == 0)
        return E_INVALIDARG;
    --array->cLocks;
    return S_OK;
}

uint32_t SafeArrayGetDim(const SAFEARRAY* array) { return array == nullptr ? 0 : array->cDims; }

HRESULT SafeArrayGetLBound(const SAFEARRAY* array, uint32_t dim, int32_t* lbound)
{
    if (array == nullptr || lbound == nullptr)
        return E_INVALIDARG;
    if (dim == 0 || dim > array->cDims)
        return DISP_E_BADINDEX;
    *lbound = array->rgsabound[dim - 1].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(const SAFEARRAY* array, uint32_t dim, int32_t* ubound)
{
    if (array == nullptr || ubound == nullptr)
        return E_INVALIDARG;
    if (dim == 0 || dim > array->cDims)
        return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = array->rgsabound[dim - 1];
    *ubound = static_cast<int32_t>(int64_t(b.lLbound) + int64_t(b.cElements) - 1);
    return S_OK;
}
