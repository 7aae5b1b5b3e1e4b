// A table's columns: descriptors in column order. Copies of a schema share
// their descriptors, so a change to a column shows in every copy; the code
// that refills a schema replaces the pointers and the descriptors no schema
// holds any more go away by themselves. Names are looked up without regard to
// case, first match wins.
#pragma once

#include "UDB/udb_ftd.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class udb_schema : public std::vector<std::shared_ptr<t_ftd>> {
public:
    explicit udb_schema(bool flag = true);
    udb_schema(const udb_schema&) = default;
    udb_schema& operator=(const udb_schema&) = default;
    virtual ~udb_schema();

    bool find_field(const std::wstring& name) const;
    // The first descriptor of that name. For a missing name an empty
    // descriptor (size 0, no name, VT_EMPTY, no flags) that can only be read.
    const t_ftd& get_field1(const std::wstring& name) const;
    // The same descriptor, shared; for a missing name a fresh empty one that
    // no schema holds.
    std::shared_ptr<t_ftd> get_field2(const std::wstring& name) const;
    // 0xFFFFFFFF and VT_NULL for a missing name.
    uint32_t get_field_size(const std::wstring& name) const;
    VARTYPE get_field_type(const std::wstring& name) const;

    // Given by the recordset that builds the schema (false for the dump
    // writer's); with the counters and the last auto-number value it is kept
    // for the writers.
    bool flag;
    int32_t counter1 = 1;
    int32_t counter2 = 1;
    int32_t last_auto_number = 1;

private:
    const std::shared_ptr<t_ftd>* find(const std::wstring& name) const;
    static std::shared_ptr<t_ftd> make_empty();
};
