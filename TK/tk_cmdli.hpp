// The console program's command line as a sequence of options. Each argument
// is matched against a table of option prefixes, first row first; the table
// ends with a row whose prefix is empty, which matches anything and marks the
// argument as unknown. Unknown arguments are all kept, so the caller can apply
// every known option before it refuses the command line.
#pragma once

#include "TK/tk_excep.hpp"

#include <cstdint>
#include <vector>

struct cmd_line_option {
    int32_t id;
    const char* prefix;
};

inline constexpr const char tk_cmdli_hpp[] = "..\\TK/tk_cmdli.hpp";

class TCmdLine {
public:
    virtual ~TCmdLine() = default;
    // Moves to the next argument; an internal error when none is left.
    virtual void next() = 0;
    virtual bool has_more() const = 0;
};

// Over the narrow argument vector main received; the texts stay the caller's.
class ansi_cmd_line : public TCmdLine {
public:
    // argv[0] is the program's name and is skipped.
    ansi_cmd_line(int argc, const char* const* argv, const cmd_line_option* table);

    void next() override;
    bool has_more() const override { return remaining > 0; }

    // The id of the current argument's option, -1 when it matched none.
    int32_t get_id() const
    {
        if (!has_more())
            throw tk_mail_assertion(tk_cmdli_hpp, 140);
        return current_id;
    }
    // The current argument behind the matched prefix.
    const char* get_value() const
    {
        if (!has_more())
            throw tk_mail_assertion(tk_cmdli_hpp, 147);
        return current_value;
    }
    // Every argument that matched no option, whole, in command-line order.
    const std::vector<const char*>& get_unknown_args() const { return unknown_args; }

private:
    void parse(const char* argument);

    const cmd_line_option* option_table;
    const char* current_value = nullptr;
    int32_t current_id = -1;
    std::vector<const char*> unknown_args;
    const char* const* cursor;
    int32_t remaining;
};
