#include "TK/tk_errco.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"

tk_error_converter::tk_error_converter(size_t n, const tk_error_row* table)
{
    tk_logger::log(2, "tk_error_converter::ctor (map size=%d)", n);
    load_map(n, table);
}

void tk_error_converter::load_map(size_t n, const tk_error_row* table)
{
    tk_logger::log(2, "tk_error_converter::load_map (map size=%d)", n);
    if (table == nullptr)
        throw tk_mail_assertion("tk_errco.cpp", 43);
    for (size_t i = 0; i < n; ++i)
        messages.try_emplace(table[i].code, table[i].text ? table[i].text : "");
}

std::string tk_error_converter::convert(uint32_t code) const
{
    tk_logger::log(2, "tk_error_converter::convert(%d)", code);
    const auto found = messages.find(code);
    if (found == messages.end()) {
        tk_logger::log(1, "Error message not found!");
        return std::string();
    }
    tk_logger::log(1, "Error message has been found: %s", found->second.c_str());
    return found->second;
}
