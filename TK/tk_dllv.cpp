#include "TK/tk_dllv.hpp"

#include "TK/tk_log.hpp"
#include "platform/mail/pl_libv.hpp"

uint32_t get_dll_version(const std::wstring& library)
{
    if (!platform::is_window_library(library)) {
        tk_logger::log(1, "get_dll_version failed to load DLL");
        return 0;
    }
    const platform::window_library_version query = platform::find_window_library_version();
    if (query == nullptr) {
        tk_logger::log(1, "get_dll_version failed to obtain DllGetVersion");
        return 0;
    }
    uint32_t major = 0;
    uint32_t minor = 0;
    return query(major, minor) ? (major << 16) | minor : 0;
}
