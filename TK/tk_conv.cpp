#include "TK/tk_conv.hpp"

#include "TK/tk_files.hpp"
#include "TK/tk_fname.hpp"
#include "TK/tk_log.hpp"

namespace {

// Why the file cannot be the log, or nothing when it can. Each reason names
// the file: the log is one of three files a run names.
std::string logfile_failure(const std::string& name)
{
    const std::string named = "Log file '" + name + "'";
    if (tk_is_path_exist(name))
        return named + " specifies an existing path.";
    if (tk_is_file_exist1(name, tk_exist_not_folder) && !tk_is_file_exist1(name, tk_exist_writable))
        return named + " specifies an existing read-only file.";
    const std::string folder = tk_file_name(name).get_path();
    if (!tk_is_path_exist(folder))
        return named + ": its path does not exist.\nPlease verify the correct path was given.";
    if (!tk_has_write_access(folder, tk_generic_write))
        return "Cannot create log file '" + name +
               "'. Make sure you have sufficient\nprivileges to create files in the directory.";
    return std::string();
}

} // namespace

tk_converter::tk_converter() { tk_logger::log(2, "tk_converter::ctor"); }

void tk_converter::refuse_logfile(const std::string& reason) { throw tk_exception(reason, 1); }

void tk_converter::set_logfile(const std::string& name)
{
    tk_logger::log(1, "tk_convertor::set_logfile(%s)", name.c_str());
    tk_logger* logger = tk_logger::try_instance();
    if (logger == nullptr)
        return;
    log_file = name;
    if (name.empty()) {
        tk_logger::log(1, "Filename is empty");
        logger->set_enabled(false);
        return;
    }
    if (const std::string reason = logfile_failure(name); !reason.empty()) {
        refuse_logfile(reason);
        return;
    }
    logger->set_file_name(name.c_str());
    logger->set_enabled(true);
}
