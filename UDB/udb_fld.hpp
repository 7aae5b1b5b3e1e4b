// One named cell value: the value of a column in one row, with the column's
// declared size and flags. Back ends derive their own fields from it.
#pragma once

#include "OLE/ole_var.hpp"

#include <cstdint>
#include <string>
#include <string_view>

class udb_field : public ole_variant {
public:
    udb_field();
    udb_field(const udb_field& that);
    udb_field(const std::wstring& name, uint32_t size, const ole_variant& value, bool not_null, bool auto_increment);
    udb_field& operator=(const udb_field&) = default;
    ~udb_field() override = default;

    // The VARTYPE of the value; back ends whose value is typed elsewhere
    // override it.
    virtual VARTYPE get_type() const;
    // Elements of a one-dimensional array value, characters of a text, else
    // the declared size.
    uint32_t get_size() const;
    // The text value as UTF-8 where the field holds it so already, as a field
    // read from a UTF-8 file does, so that writers need not convert it; valid
    // while the field keeps its value. False when the text has to be made.
    virtual bool get_utf8(std::string_view& text) const;

    uint32_t size = 0;  // declared: characters for text, as the source says
    std::wstring name;
    bool not_null = false;
    bool auto_increment = false;
};
