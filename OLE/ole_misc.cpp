#include "OLE/ole_misc.hpp"

#include "TK/tk_excep.hpp"

uint32_t ole_get_ref_count(IUnknown* object)
{
    if (object == nullptr)
        throw tk_mail_assertion("ole_misc.cpp", 14);
    object->AddRef();
    return object->Release();
}

bool ole_is_date_or_string_type(VARTYPE vt) { return vt == VT_DATE || vt == VT_BSTR; }
