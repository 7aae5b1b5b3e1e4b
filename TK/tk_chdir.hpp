// Enters a folder for the span of a scope and comes back. The current
// directory is the process's, shared by every thread: use it only where no
// other thread opens files by relative names meanwhile.
#pragma once

#include <cstdint>
#include <string>

class tk_temp_chdir {
public:
    // An empty folder means the program's own folder. A folder that cannot be
    // entered leaves the current directory as it was (only logged).
    explicit tk_temp_chdir(const std::string& folder);
    ~tk_temp_chdir();
    tk_temp_chdir(const tk_temp_chdir&) = delete;
    tk_temp_chdir& operator=(const tk_temp_chdir&) = delete;

    // True when the constructor changed the current directory.
    bool has_changed() const { return changed != 0; }

private:
    void initialize(const std::string& folder);

    uint32_t changed = 0;
    std::string saved;
};
