#include "TK/tk_conv.hpp"

#include "TK/tk_files.hpp"
#include "TK/tk_fname.hpp"
#include "TK/tk_log.hpp"

tk_converter::tk_converter() { tk_logger::log(2, "tk_converter::ctor"); }

void tk_converter::set_logfile(const std::string& name)
{
    tk_logger::log(1, "tk_convertor::set_logfile(%s)", name.c_str());
    tk_logger* logger = tk_logger::try_instance();
    if (logger == nullptr)
        return;
    log_file = name;
    if (name.empty()) {
        tk_logger::log(1, "Filename is empty");
        return;
    }
    if (tk_is_path_exist(name))
        throw tk_exception("Log file name specifies an existing path.", 1);
    if (tk_is_file_exist1(name, tk_exist_not_folder) && !tk_is_file_exist1(name, tk_exist_writable))
        throw tk_exception("Log file name specifies an existing read-only file.", 1);
    const std::string folder = tk_file_name(name).get_path();
    if (!tk_is_path_exist(folder))
        throw tk_exception("Log file path does not exist.\nPlease verify the correct path was given.", 1);
    if (!tk_has_write_access(folder, tk_generic_write))
        throw tk_exception("Cannot create log file. Make sure you have sufficient\nprivileges to create files in the directory.", 1);
    logger->set_file_name(name.c_str());
    logger->set_enabled(true);
}
