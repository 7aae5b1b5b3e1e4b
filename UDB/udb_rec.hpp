// One row: the fields of a record in column order. The record owns its
// fields and deletes them when it is reset or destroyed; it cannot be copied,
// so no field ever belongs to two records. Names are looked up without regard
// to case, first match wins.
#pragma once

#include "UDB/udb_fld.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class udb_record : public std::vector<std::unique_ptr<udb_field>> {
public:
    udb_record() = default;
    udb_record(udb_record&&) = default;
    udb_record& operator=(udb_record&&) = default;
    virtual ~udb_record();

    void reset();
    bool find_field(const std::wstring& name) const;
    // The first field of that name. For a missing name an empty field (no
    // value, no name, size 0) that can only be read; callers that must tell a
    // missing field from an empty one ask find_field first.
    const udb_field& get_field(const std::wstring& name) const;
    // The row's size for the writers' batching limits: the sizes of the
    // fields that hold a value. A record that knows it as it is filled may
    // answer without the sum.
    virtual int64_t get_total_size() const;
    // True when no field holds a non-null value with a non-empty text.
    bool is_empty() const;
};
