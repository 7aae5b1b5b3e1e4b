// The converter's calls into the live MySQL server, through the engine.
#include "rvl_conv/rvl_mcnv.hpp"

#include "TK/tk_log.hpp"

#include <charconv>

namespace {

// The port read whole: decimal digits alone (blanks around them allowed); 0
// when anything else is there or the number is no TCP port, so that 33508abc
// never connects to 33508.
unsigned long port_number(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    const size_t last = text.find_last_not_of(" \t");
    if (first == std::string::npos)
        return 0;
    unsigned long value = 0;
    const char* end = text.data() + last + 1;
    const auto [stop, error] = std::from_chars(text.data() + first, end, value, 10);
    if (error != std::errc() || stop != end)
        return 0;
    return value <= 65535 ? value : 0;
}

} // namespace

void mysql_converter_impl::connect_mysql_server()
{
    tk_logger::log(2, "mysql_converter_impl::connect_mysql_server");
    const unsigned long number = port_number(port);
    if (number == 0)
        throw tk_exception("Invalid port number", 1);
    engine.connect(host, user, pswd, static_cast<int>(number));
}

bool mysql_converter_impl::is_mysql_base_exist(const std::wstring& name)
{
    tk_logger::wlog(2, L"mysql_converter_impl::is_mysql_base_exist( %s )", name.c_str());
    return engine.is_db_exist(name);
}

std::unique_ptr<udb_database> mysql_converter_impl::open_mysql_base(const std::wstring& name, uint32_t flags)
{
    return engine.open_db(name, flags, std::wstring());
}

std::unique_ptr<udb_database> mysql_converter_impl::create_mysql_base(const std::wstring& name)
{
    return engine.create_db(name);
}
