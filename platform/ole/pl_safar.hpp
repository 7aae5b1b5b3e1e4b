// Arrays of plain values with per-dimension bounds. The system itself only
// makes one-dimensional arrays of bytes; other element types of fixed size
// and more dimensions are accepted so that foreign shapes can be told apart.
#pragma once

#include "platform/ole/pl_oletp.hpp"

#include <cstdint>
#include <vector>

struct SAFEARRAYBOUND {
    uint32_t cElements;
    int32_t lLbound;
};

struct SAFEARRAY {
    uint16_t cDims;
    uint16_t fFeatures;
    uint32_t cbElements;  // bytes per element
    uint32_t cLocks;      // open SafeArrayAccessData calls
    void* pvData;         // the elements, first dimension fastest
    std::vector<SAFEARRAYBOUND> rgsabound;  // one per dimension, in the order given
    VARTYPE vt;
    std::vector<unsigned char> storage;
};

// A new zeroed array; null for a zero dimension count, an element type
// without a fixed size (text, interfaces, variants) or when memory runs out.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, uint32_t dims, const SAFEARRAYBOUND* bounds);
// A one-dimensional array of count elements from lower bound lbound.
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, int32_t lbound, uint32_t count);
// Changes the last dimension's bound; new elements are zero.
HRESULT SafeArrayRedim(SAFEARRAY* array, const SAFEARRAYBOUND* bound);
// Null is accepted; a locked array is refused.
HRESULT SafeArrayDestroy(SAFEARRAY* array);
HRESULT SafeArrayCopy(const SAFEARRAY* array, SAFEARRAY** out);
HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
uint32_t SafeArrayGetDim(const SAFEARRAY* array);
// dim counts from 1.
HRESULT SafeArrayGetLBound(const SAFEARRAY* array, uint32_t dim, int32_t* lbound);
HRESULT SafeArrayGetUBound(const SAFEARRAY* array, uint32_t dim, int32_t* ubound);
