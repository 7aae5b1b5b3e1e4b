// A private copy of a file that can be read only once (a pipe, a terminal, a
// device): taken whole at the start, read as often as needed, and removed
// when its owner ends.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class tk_temp_copy {
public:
    // Reads `source` to its end into a new file of the temporary folder that
    // only the user may read; a line longer than max_line bytes ends the copy
    // (platform::copy_to_temporary). A source that cannot be read or copied
    // raises a level-1 tk_exception_ex naming it. `stopped` is asked while
    // the source keeps the copy waiting (platform::copy_to_temporary).
    tk_temp_copy(const std::wstring& source, int64_t max_line, const std::function<bool()>& stopped = {});
    ~tk_temp_copy();
    tk_temp_copy(const tk_temp_copy&) = delete;
    tk_temp_copy& operator=(const tk_temp_copy&) = delete;

    const std::wstring& path() const { return copy; }

private:
    std::string narrow;
    std::wstring copy;
};
