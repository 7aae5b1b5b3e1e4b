// Custom conversion rules: an ordered list through which a user-supplied
// component may take over the column type or the value text of a field. The
// first rule that claims a column or a value wins. The list is a process-wide
// registry that exists only when someone builds it; without it (or without
// rules) every field takes the built-in conversion.
#pragma once

#include "TK/tk_singl.hpp"

#include <memory>
#include <string>
#include <vector>

class udb_field;
struct t_ftd;

class udb_conversion_rule {
public:
    virtual ~udb_conversion_rule() = default;
    virtual bool claims_value(const udb_field& field) const = 0;
    virtual bool claims_type(const t_ftd& column) const = 0;
    virtual std::wstring value_text(const udb_field& field) const = 0;
    virtual std::wstring type_text(const t_ftd& column) const = 0;
};

class udb_custom_conversion : public tk_singleton<udb_custom_conversion> {
public:
    udb_custom_conversion() = default;

    void add_rule(std::unique_ptr<udb_conversion_rule> rule);

    // Column types: whether a rule claims the column, and that rule's type
    // text (empty when none claims it).
    static bool is_acceptable1(const t_ftd& column);
    static std::wstring handle1(const t_ftd& column);
    // Values: whether a rule claims the field, and that rule's value text.
    // Asking handle2 for a field no rule claims is an internal error.
    static bool is_acceptable2(const udb_field& field);
    static std::wstring handle2(const udb_field& field);

private:
    template <class Claims>
    static const udb_conversion_rule* find_rule(Claims claims);

    std::vector<std::unique_ptr<udb_conversion_rule>> rules;
};
