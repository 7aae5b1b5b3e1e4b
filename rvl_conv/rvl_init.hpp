// The guard of one conversion run: logs its start and end with the local
// time, tells the front end that the run has begun, and sets the converter's
// done flag as the very last thing of the run, however the run ends.
#pragma once

#include "rvl_conv/rvl_hook.hpp"

#include <atomic>

class init_conversion {
public:
    init_conversion(std::atomic<bool>& done, converter_hooks& hooks);
    ~init_conversion();
    init_conversion(const init_conversion&) = delete;
    init_conversion& operator=(const init_conversion&) = delete;

private:
    std::atomic<bool>& done;
};
