#include "rvl_conv/rvl_errh.hpp"

#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/text/pl_format.hpp"

error_handler::error_handler(size_t n, const tk_error_row* table) : messages(n, table)
{
    tk_logger::log(2, "error_handler::ctor");
}

error_handler::~error_handler() = default;

void error_handler::load_err_map(size_t n, const tk_error_row* table)
{
    tk_logger::log(2, "error_handler::load_err_map");
    messages.load_map(n, table);
}

void error_handler::set_record_context(const std::wstring& table, int record)
{
    context = tk_to_ansi(platform::format(L"%s, record #%d", table.c_str(), record), tk_cp_thread_acp);
}

std::string error_handler::make_message(const tk_exception& e) const
{
    std::string message = context.empty() ? std::string() : context + ": ";
    const std::string friendly = messages.convert(e.get_code());
    message += friendly.empty() ? std::string(e.what()) : friendly;
    if (!read_path.empty())
        tk_string::replace_all(message, read_path, shown_path);
    if (!docs_name.empty())
        tk_string::replace_all(message, "the product documentation", docs_name);
    return message;
}
