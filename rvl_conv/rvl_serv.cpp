// The converter's calls into the live MySQL server, through the engine.
#include "rvl_conv/rvl_mcnv.hpp"

#include "TK/tk_log.hpp"

#include <cctype>
#include <cstdlib>

namespace {

// The port's leading decimal digits (after blanks and a sign); 0 when there
// are none or the number is no TCP port.
unsigned long port_number(const std::string& text)
{
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p == '+' || *p == '-')
        return 0;
    if (!std::isdigit(static_cast<unsigned char>(*p)))
        return 0;
    const unsigned long value = std::strtoul(p, nullptr, 10);
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

void mysql_converter_impl::del_mysql_base(const std::wstring& name)
{
    tk_logger::wlog(2, L"mysql_converter_impl::del_mysql_base (%s)", name.c_str());
    engine.db_delete(name);
}

std::unique_ptr<udb_database> mysql_converter_impl::open_mysql_base(const std::wstring& name, uint32_t flags)
{
    return engine.open_db(name, flags, std::wstring());
}

std::unique_ptr<udb_database> mysql_converter_impl::create_mysql_base(const std::wstring& name)
{
    return engine.create_db(name);
}
