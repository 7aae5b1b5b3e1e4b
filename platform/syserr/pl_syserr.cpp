#include "platform/syserr/pl_syserr.hpp"

#include <cerrno>
#include <cstring>
#include <string_view>

namespace platform {

namespace {
thread_local uint32_t t_last_error = error_success;
}

uint32_t last_error() { return t_last_error; }

void set_last_error(uint32_t code) { t_last_error = code; }

void set_last_error_from_errno() { t_last_error = static_cast<uint32_t>(errno); }

bool system_message(uint32_t code, std::string& text)
{
    // glibc answers "Unknown error N" for numbers it has no text for; that is
    // the "no system text" case of the platform call.
    char buffer[256];
    const char* msg = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    if (msg == nullptr || std::string_view(msg).starts_with("Unknown error"))
        return false;
    text = msg;
    text += "\r\n";
    return true;
}

} // namespace platform
