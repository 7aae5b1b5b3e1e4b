#include "UDB/udb_rule.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"

void udb_custom_conversion::add_rule(std::unique_ptr<udb_conversion_rule> rule)
{
    rules.push_back(std::move(rule));
}

// The first rule that claims, or null. The registry is reached without its
// accessor, which would raise an internal error when nobody built one.
template <class Claims>
const udb_conversion_rule* udb_custom_conversion::find_rule(Claims claims)
{
    const udb_custom_conversion* self = try_instance();
    if (self == nullptr)
        return nullptr;
    for (const auto& rule : self->rules) {
        if (claims(*rule))
            return rule.get();
    }
    return nullptr;
}

bool udb_custom_conversion::is_acceptable1(const t_ftd& column)
{
    tk_logger::log(1, "udb_custom_conversion::is_acceptable1");
    return find_rule([&](const udb_conversion_rule& r) { return r.claims_type(column); }) != nullptr;
}

std::wstring udb_custom_conversion::handle1(const t_ftd& column)
{
    tk_logger::log(1, "udb_custom_conversion::handle1");
    const udb_conversion_rule* rule = find_rule([&](const udb_conversion_rule& r) { return r.claims_type(column); });
    return rule != nullptr ? rule->type_text(column) : std::wstring();
}

bool udb_custom_conversion::is_acceptable2(const udb_field& field)
{
    tk_logger::log(1, "udb_custom_conversion::is_acceptable2");
    return find_rule([&](const udb_conversion_rule& r) { return r.claims_value(field); }) != nullptr;
}

std::wstring udb_custom_conversion::handle2(const udb_field& field)
{
    tk_logger::log(1, "udb_custom_conversion::handle2");
    const udb_custom_conversion* self = try_instance();
    if (self == nullptr || self->rules.empty())
        return std::wstring();
    const udb_conversion_rule* rule = find_rule([&](const udb_conversion_rule& r) { return r.claims_value(field); });
    if (rule == nullptr)
        throw tk_mail_assertion("udb_rule", 88);
    return rule->value_text(field);
}
