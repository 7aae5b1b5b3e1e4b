#include "TK/tk_tmpf.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/files/pl_files.hpp"

#include <unistd.h>

tk_temp_copy::tk_temp_copy(const std::wstring& source, int64_t max_line, const std::function<bool()>& stopped)
{
    std::string name;
    if (!tk_unicode_to_ansi3(source.c_str(), name) || !platform::copy_to_temporary(name, max_line, narrow, stopped))
        throw tk_exception_ex("Cannot read the source '" + tk_to_utf8(source) + "': ", 1);
    copy = tk_to_unicode(narrow);
    tk_logger::wlog(2, L"The source '%s' is read from its copy '%s'", source.c_str(), copy.c_str());
}

tk_temp_copy::~tk_temp_copy() { ::unlink(narrow.c_str()); }
