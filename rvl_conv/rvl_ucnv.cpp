#include "rvl_conv/rvl_ucnv.hpp"

#include "TK/tk_log.hpp"

udb_converter::udb_converter() { tk_logger::log(2, "udb_converter::ctor"); }

void udb_converter::set_mode(int32_t mode_)
{
    tk_logger::log(1, "udb_converter::set_mode(%d)", mode_);
    mode = mode_;
}

std::wstring udb_converter::get_cur_table() const
{
    std::lock_guard<std::mutex> lock(cur_table_mutex);
    return cur_table;
}

void udb_converter::set_cur_table(const std::wstring& name)
{
    std::lock_guard<std::mutex> lock(cur_table_mutex);
    cur_table = name;
}
