#include "TK/tk_tmpf.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/files/pl_files.hpp"

#include <unistd.h>

tk_temp_copy::tk_temp_copy(const std::wstring& source, int64_t max_line, const std::function<bool()>& stopped)
{
    const std::string named = "the source '" + tk_to_utf8(source) + "'";
    std::string name;
    if (!tk_unicode_to_ansi3(source.c_str(), name))
        throw tk_exception_ex("Cannot read " + named + ": ", 1);
    switch (platform::copy_to_temporary(name, max_line, fd, stopped)) {
    case platform::copy_failure::none:
        break;
    case platform::copy_failure::source:
        throw tk_exception_ex("Cannot read " + named + ": ", 1);
    case platform::copy_failure::copy:
        throw tk_exception_ex("Cannot copy " + named + " into the temporary folder '" + platform::temporary_folder() +
                                  "' (TMPDIR): ",
                              1);
    }
    copy = L"/proc/self/fd/" + std::to_wstring(fd);
    tk_logger::wlog(2, L"The source '%s' is read from its copy '%s'", source.c_str(), copy.c_str());
}

tk_temp_copy::~tk_temp_copy() { ::close(fd); }
