#include "TK/tk_cmdli.hpp"

#include <cstring>

ansi_cmd_line::ansi_cmd_line(int argc, const char* const* argv, const cmd_line_option* table)
    : option_table(table), cursor(argv + 1), remaining(argc - 1)
{
    if (argc != 1)
        parse(*cursor);
}

void ansi_cmd_line::parse(const char* argument)
{
    if (!has_more())
        throw tk_mail_assertion("tk_cmdli.cpp", 19);
    const cmd_line_option* row = option_table;
    while (std::strncmp(argument, row->prefix, std::strlen(row->prefix)) != 0)
        ++row;
    current_value = argument + std::strlen(row->prefix);
    if (row->prefix[0] == '\0') {
        current_id = -1;
        unknown_args.push_back(argument);
    } else {
        current_id = row->id;
    }
}

void ansi_cmd_line::next()
{
    if (!has_more())
        throw tk_mail_assertion("tk_cmdli.cpp", 60);
    ++cursor;
    --remaining;
    if (has_more())
        parse(*cursor);
}
