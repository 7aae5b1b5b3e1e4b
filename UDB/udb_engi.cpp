#include "UDB/udb_engi.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_files.hpp"
#include "platform/syserr/pl_syserr.hpp"
#include "platform/text/pl_utf8.hpp"

#include <cstdio>

void udb_engine::db_delete(const std::wstring& name)
{
    if (std::remove(platform::to_utf8(name).c_str()) != 0) {
        platform::set_last_error_from_errno();
        throw tk_exception_ex("", 1);
    }
}

bool udb_engine::is_db_exist(const std::wstring& name)
{
    return tk_is_file_exist1(platform::to_utf8(name), tk_exist_not_folder);
}

void udb_engine::set_properties(udb_properties* properties_)
{
    properties = properties_;
}
