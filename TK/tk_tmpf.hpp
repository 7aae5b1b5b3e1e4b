// A private copy of a file that can be read only once (a pipe, a terminal, a
// device): taken whole at the start, read as often as needed, and gone when
// its owner ends. The copy has no name in any folder from the moment it is
// created, so nothing of it outlives the process, however the process ends.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class tk_temp_copy {
public:
    // Reads `source` to its end into a new file of the temporary folder that
    // only the user may read; a line longer than max_line bytes ends the copy
    // (platform::copy_to_temporary). A source that cannot be read raises a
    // level-1 tk_exception_ex naming it; a copy that cannot be written (a
    // full disk) one naming the source and the temporary folder. `stopped` is
    // asked while the source keeps the copy waiting.
    tk_temp_copy(const std::wstring& source, int64_t max_line, const std::function<bool()>& stopped = {});
    ~tk_temp_copy();
    tk_temp_copy(const tk_temp_copy&) = delete;
    tk_temp_copy& operator=(const tk_temp_copy&) = delete;

    // A path that opens the copy anew, for readers that open by path
    // ("/proc/self/fd/<n>"); valid while this object lives.
    const std::wstring& path() const { return copy; }

private:
    int fd = -1;
    std::wstring copy;
};
