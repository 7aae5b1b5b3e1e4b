// The settings that shape a dump file: line ends, the server generation it is
// written for, table locks around the rows, comments, and which statements of
// structure it carries. The converter owns one set and each dump takes a copy.
#pragma once

#include <cstdint>
#include <string>

struct dump_options {
    dump_options();

    uint32_t n_line_break = 0;  // 0: lines end with CR LF; any other value: LF
    bool b_new_ver = true;      // for servers 4.1.0 and later
    bool b_lock_write = true;   // each table's rows between LOCK TABLES and UNLOCK TABLES
    bool b_ins_comments = true;
    bool b_ins_db = false;      // DROP DATABASE, CREATE DATABASE and USE (with b_ins_tables)
    bool b_ins_tables = true;   // DROP TABLE and CREATE TABLE for each table
    // Set by a run that appends (never stored): the dump drops nothing and
    // creates only what the loading server lacks (IF NOT EXISTS).
    bool b_keep_existing = false;
    std::string created_by;     // written into the header byte for byte
    std::string db_name;        // empty: the file's base name
};
