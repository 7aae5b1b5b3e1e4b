#include "TK/tk_chdir.hpp"

#include "TK/tk_fname.hpp"
#include "TK/tk_log.hpp"

#include <filesystem>
#include <system_error>

tk_temp_chdir::tk_temp_chdir(const std::string& folder)
{
    tk_logger::log(2, "tk_temp_chdir::ctor");
    initialize(folder.empty() ? tk_get_module_dir() : folder);
}

void tk_temp_chdir::initialize(const std::string& folder)
{
    tk_logger::log(2, "tk_temp_chdir::initialize(%s)", folder.c_str());
    tk_logger::log(1, "Step #1");
    std::error_code ec;
    const std::filesystem::path current = std::filesystem::current_path(ec);
    if (ec) {
        tk_logger::log(1, "_getcwd failed");
        changed = 0;
        return;
    }
    tk_logger::log(1, "Step #2");
    saved = current.string();
    std::filesystem::current_path(folder, ec);
    changed = ec ? 0 : 1;
    if (ec)
        tk_logger::log(1, "_chdir failed");
}

tk_temp_chdir::~tk_temp_chdir()
{
    tk_logger::log(2, "tk_temp_chdir::dtor");
    if (changed == 1) {
        std::error_code ignored;  // nothing better to do from a destructor
        std::filesystem::current_path(saved, ignored);
    }
    tk_logger::log(2, "tk_temp_chdir::dtor - at the END");
}
