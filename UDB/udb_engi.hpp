// An engine of some back end: it creates, opens, deletes and tests
// databases. The caller owns every database it returns. The base deletes and
// tests databases that are plain files (workbooks).
#pragma once

#include "UDB/udb_db.hpp"

#include <cstdint>
#include <memory>
#include <string>

class udb_properties;

class udb_engine {
public:
    virtual ~udb_engine() = default;

    virtual std::unique_ptr<udb_database> create_db(const std::wstring& name) = 0;
    // password: empty when none.
    virtual std::unique_ptr<udb_database> open_db(const std::wstring& name, uint32_t mode,
                                                  const std::wstring& password) = 0;
    // Deletes the database's file; a level-1 tk_exception_ex when it cannot.
    virtual void db_delete(const std::wstring& name);
    // True when a file of that name exists and is no folder.
    virtual bool is_db_exist(const std::wstring& name);
    // The conversion's settings; not owned.
    virtual void set_properties(udb_properties* properties);
    udb_properties* get_properties() const { return properties; }

protected:
    udb_properties* properties = nullptr;
};
