// The platform's "last error": a per-thread error number that failing platform
// calls leave behind, and the system's text for such a number.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Error numbers the layers set. They are errno values where one fits.
constexpr uint32_t error_success = 0;
constexpr uint32_t error_file_not_found = 2;    // ENOENT
constexpr uint32_t error_access_denied = 13;    // EACCES
constexpr uint32_t error_invalid_parameter = 22; // EINVAL
constexpr uint32_t error_insufficient_buffer = 105; // ENOBUFS

uint32_t last_error();
void set_last_error(uint32_t code);
// Sets the last error from the current errno.
void set_last_error_from_errno();

// The system's text for an error number, ended by CR LF as the platform's
// message tables end their texts. False when the system has no text for it.
bool system_message(uint32_t code, std::string& text);

} // namespace platform
