// Reads the foreign keys of an existing server table from the text of its
// SHOW CREATE TABLE answer. The server prints one clause a line; a foreign key
// reads
//   CONSTRAINT `name` FOREIGN KEY (`a`, `b`) REFERENCES `parent` (`x`, `y`) ON DELETE CASCADE,
// Keywords are found without regard to case; identifiers are read as the
// server quotes them (a backquote inside a name is written twice).
#pragma once

#include <string>
#include <vector>

class udb_relationships;

class sql_fk_parser {
public:
    // text: the statement as narrow (ANSI) text, split at line feeds.
    sql_fk_parser(const std::wstring& table_name, const std::string& text);

    // Appends one relationship per foreign-key line, in line order, each with
    // this table as its child. Lines it cannot read are skipped.
    void do_parse(udb_relationships& out) const;

    // Appends the backquoted names of a column list, in order.
    static bool get_columns(const std::wstring& text, std::vector<std::wstring>& out);

private:
    void parse_line(const std::string& line, udb_relationships& out) const;

    std::wstring table_name;
    std::vector<std::string> lines;
};
