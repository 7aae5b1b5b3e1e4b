// The statements that add a foreign key, shared by the live server and the
// dump writer: the supporting index, the table locks and the constraint
// itself. Every identifier goes through sql_engine::get_safe_name; fields are
// written as the column names the names map recorded for their table.
#pragma once

#include <string>
#include <vector>

class udb_names_map;
class udb_relationship;
class udb_validator;

// The key's fields as their columns in table (its destination name), each
// quoted, separated by ", ".
std::wstring sql_fk_columns(const udb_names_map& names, const std::wstring& table,
                            const std::vector<std::wstring>& fields);

// "ALTER TABLE t ADD INDEX (columns)": an index the server names itself.
std::wstring sql_fk_index_statement(const udb_names_map& names, const std::wstring& table,
                                    const std::vector<std::wstring>& fields);

// "LOCK TABLES a WRITE, b WRITE"; a table named twice (ignoring case) is
// locked once, since the server refuses a table named twice.
std::wstring sql_fk_lock_statement(const std::wstring& first, const std::wstring& second);

// The relationship's own name when the validator accepts it, else a generated
// one, which becomes an existing name. Either way the name is then restricted,
// so a later relationship of the same name gets another one.
std::wstring sql_fk_constraint_name(udb_validator& validator, const std::wstring& name);

// "ALTER TABLE child ADD CONSTRAINT c FOREIGN KEY(...) REFERENCES parent(...)"
// and the rule text after a space when there is one. child and parent are
// destination names.
std::wstring sql_fk_constraint_statement(const udb_names_map& names, const udb_relationship& relationship,
                                         const std::wstring& child, const std::wstring& parent,
                                         const std::wstring& constraint);

// "ALTER TABLE t DROP FOREIGN KEY name".
std::wstring sql_fk_drop_statement(const std::wstring& table, const std::wstring& constraint);

// True when the rule text holds only referential actions (ON DELETE / ON
// UPDATE with RESTRICT, CASCADE, SET NULL, NO ACTION or SET DEFAULT), so that
// it cannot carry other text into the statement. An empty text is one.
bool sql_fk_is_rule(const std::wstring& rule);
