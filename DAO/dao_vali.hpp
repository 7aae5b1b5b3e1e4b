// Validators of names written to an Access database through DAO: column and
// index names. The engine takes names of any length, but not with a blank at
// either end nor with the characters it uses to quote and qualify names
// (` ! [ ] . / '); index names may not hold a colon either. A validator is
// seeded with the names already present in its table, so the names it makes
// never take one of them.
#pragma once

#include "UDB/udb_vali.hpp"

#include <string>

class udb_schema;
class udb_indexes;

class dao_validator : public udb_validator {
public:
    dao_validator();
    bool is_acceptable(const std::wstring& name) const override;
    // Brackets are dropped and the blanks at both ends trimmed before the
    // common algorithm, so "[Sales] 2024" becomes "sales 2024".
    std::wstring get_safe_name(const std::wstring& name) override;
};

// The column names of one table.
class dao_fn_validator : public dao_validator {
public:
    explicit dao_fn_validator(const udb_schema& source);
};

// The index names of one table.
class dao_in_validator : public dao_validator {
public:
    explicit dao_in_validator(const udb_indexes& source);
};
