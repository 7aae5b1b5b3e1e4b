// File-system services of the platform layer.
#pragma once

#include <string>

namespace platform {

// The running program's own full path (UTF-8), read from the proc file
// system's link to the executable; empty, with the last error set, when the
// link cannot be read.
std::string module_file_name();

} // namespace platform
