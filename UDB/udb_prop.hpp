// Settings of a conversion by name ("engine", "character set" of a table,
// "character_set" of a column...), with child objects found by their source
// name or by the name they take in the destination. The converter's table and
// field changes are such objects; a back end reads a table's choices through
// the one its engine was given (udb_engine::set_properties).
#pragma once

#include <map>
#include <string>

class udb_properties {
public:
    using property_map = std::map<std::wstring, std::wstring>;

    virtual ~udb_properties() = default;
    virtual property_map& get_properties() { return properties; }
    virtual udb_properties* find_mutator(const std::wstring& name) = 0;
    virtual udb_properties* find_mutator2(const std::wstring& new_name) = 0;
    // The map as stored, without rebuilding it.
    const property_map& stored_properties() const { return properties; }

protected:
    property_map properties;
};
