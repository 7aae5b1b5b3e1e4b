// Making the database engine object by class identifier, in place of the
// platform's COM runtime. Two engine classes are known, the newer one and
// the older one the workbook side falls back to; both make our engine.
// Initialising and uninitialising COM has nothing to do here.
#pragma once

#include "platform/dao/pl_daoif.hpp"

constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr uint32_t CLSCTX_ALL = 0x17;

extern const GUID CLSID_DAODBEngine36;   // the older engine class
extern const GUID CLSID_DAODBEngine120;  // the newer engine class

HRESULT CoInitialize(void* reserved);
void CoUninitialize();
// A new engine object under interface iid into *out (null on failure):
// REGDB_E_CLASSNOTREG for a class that is not (or no longer) available,
// CLASS_E_NOAGGREGATION with an outer object, E_NOINTERFACE for an interface
// the engine does not have. The context is accepted and ignored.
HRESULT CoCreateInstance(const GUID& clsid, IUnknown* outer, uint32_t context, REFIID iid, void** out);

namespace platform::dao {

// Withdraws an engine class (as on a machine where it is not installed) or
// makes it available again. Both are available at start.
void set_engine_class_available(const GUID& clsid, bool available);

} // namespace platform::dao
