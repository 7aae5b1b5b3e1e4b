// The converter: the one object of a process that holds every setting of a
// conversion and runs it, from a CSV file (or a workbook) into a MySQL
// database or an SQL dump file. Both programs build the same class; what the
// user sees of a run goes through the front end's hooks, and the settings the
// program keeps in the registry depend on the front end's form.
//
// The run executes on one thread (the wizard's worker, the console's main
// thread) while another may poll get_progress(); the run checks the stop
// request of tk_thread_functor before each record and each worksheet.
#pragma once

#include "SQL/sql_util.hpp"
#include "TK/tk_seria.hpp"
#include "TK/tk_singl.hpp"
#include "TK/tk_tmpf.hpp"
#include "rvl_conv/rvl_hook.hpp"
#include "rvl_conv/rvl_mcnv.hpp"
#include "rvl_conv/rvl_mut.hpp"
#include "rvl_conv/rvl_stop.hpp"
#include "rvl_conv/rvl_ucnv.hpp"
#include "rvl_conv/rvl_xls.hpp"
#include "platform/files/pl_files.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class csv_file;
class dao_database;
class dao_engine;
class sql_database;
class sql_field_upsizer;
class sql_table_lock;
class udb_validator;

enum class converter_form {
    wizard,   // loads and stores every setting in the registry
    console,  // loads only the character set, storage engine and dump options; never stores
};

class ravelin_converter : public xls_reader,
                          public mysql_converter_impl,
                          public sql_db_mutator,
                          public tk_singleton<ravelin_converter>,
                          public tk_serializer {
public:
    // hooks: not owned; lives as long as the converter.
    ravelin_converter(converter_form form, converter_hooks& hooks);
    ~ravelin_converter() override;

    // The run: the whole conversion once, every failure reported through the
    // error handler or the hooks, `done` set at its end. Answers 0 when the
    // conversion went to its end (failures of single records, tables and
    // worksheets included) or a stop request ended it (the caller tells
    // which by stop_requested()), 1 when a failure ended it.
    uint32_t operator()() override;

    // The source as the run reads it (rvl_src.cpp): src itself, up to its
    // size when the run began, or the private copy of a source that can be
    // read only once (a pipe, a device), taken at the first call, before
    // anything else reads it. Front ends that look into the source (the
    // worksheet listing) read it through this path.
    const std::wstring& source_to_read() override;

    // Percentage for the progress display: worksheets done of a workbook run,
    // else the bytes read of the CSV file, as far as its last reading went
    // once that has ended (a failure included).
    int get_progress() const;

    // The registry settings of the converter's form; false when the key
    // cannot be opened or a value is missing or cannot be written.
    bool serialize(bool store);

    // Applies the profile file's settings. False when the file cannot be
    // read (nothing applied; profile_unread says why). A profile that cannot
    // be used (profile_failure) raises a level-1 tk_exception naming the
    // profile and the line, and changes nothing: a run with half of it would
    // be no run the user asked for.
    bool load_profile(const std::wstring& path);
    // "The profile ... cannot be read: " and the reason the profile's load
    // gave.
    static std::wstring unreadable_profile(const std::wstring& path, const udb_profile& profile);
    std::wstring profile_unread;
    // Writes every setting and the table and field changes to the file.
    bool store_profile(const std::wstring& path) const;
    // Why the profile read from `path` cannot be used, naming the profile and
    // the line, or empty when it can: its "Type Mappings" has a line out of
    // place, or a line names a storage engine, character set or type that is
    // no plain name.
    static std::string profile_failure(udb_profile& profile, const std::wstring& path);
    // Applies a profile that profile_failure accepts.
    void load_from_profile(udb_profile& profile);
    // On a connected server: every storage engine and character set the
    // profile named is one the server lists, else a level-1 failure naming
    // the line.
    void check_profile_names();
    // On a connected server: the storage engine of the run's tables is one
    // the server lists as supported, else a level-1 failure naming it.
    void check_storage_engine();
    bool store_to_profile(udb_profile& profile) const;

    // Before the run: the source must be readable (every selected worksheet
    // of a workbook is read once, and the workbook stays open for the run);
    // then the destination is checked. Nothing is dropped here: what modes 0
    // and 1 replace on a server goes in the run (make_table), and an
    // existing dump file is replaced only when the new one is complete.
    void check_dest();
    // The files the run writes (a dump destination, the log file) must be
    // none of the files it reads (the source, the settings store, profiles,
    // a table list) nor each other: two that are one (compared as files,
    // links followed) raise a level-1 tk_exception naming both, before
    // anything is written. A log file named is switched off first, so the
    // report does not go into it.
    void refuse_same_files() const;
    // A file the run reads besides the source, named in messages as `what`.
    void note_file_read(const std::wstring& what, const std::wstring& path) { files_read.push_back({what, path}); }
    // The columns of a source table as they are read now: the CSV file, or
    // the workbook's worksheet of that table name. A source that cannot be
    // read, or a worksheet no longer in the workbook, raises a level-1
    // tk_exception.
    udb_schema get_schema(const std::wstring& table);
    // Opens or creates the run's destination database.
    std::unique_ptr<udb_database> get_dest_base();
    // After a run that did not go to its end: the file holding the dump
    // written so far (its work file "<dest>.~<pid>.<n>.part"), or empty
    // when there is none.
    std::wstring unfinished_dump() const;
    // The run was ended by a stop request or the user's Abort, not by
    // itself; any thread.
    bool was_interrupted() const { return interrupted.load(std::memory_order_acquire); }
    // Makes a stop request end every wait of the run (a read, a write, an
    // open, the server's answer) within about a second: the run watches
    // itself; a front end watches what it does beyond the run on its thread
    // (the console: the connection and the destination check).
    run_watchdog watchdog{*this, [this] { engine.interrupt_statement(); }};
    // The run opened or created its destination: before that, nothing was
    // written or dropped.
    bool destination_reached() const { return dest_reached; }
    static std::wstring get_title();
    // What the last run did to a server destination, for the words that end
    // it; each begins empty with the run. Dropped: one text per thing the run
    // dropped ("table 'shop.t1'", "view 'shop.v'"). Skipped: the tables a
    // workbook run left alone because they existed (mode 2). Written: a
    // database it created, and each table that holds rows of the run, with
    // how many ("table 'shop.t' (3 rows)", "... (2 rows appended before the
    // failure)").
    std::vector<std::wstring> dropped_items() const { return dropped; }
    std::vector<std::wstring> skipped_tables() const { return skipped; }
    std::vector<std::wstring> written_items() const;
    // "table 'db.name'", as the run's reports name a server table.
    std::wstring table_text(const std::wstring& name) const;
    // Kept: the tables whose replacement was given up, left as they were.
    std::vector<std::wstring> kept_items() const { return kept; }
    // What a server table held of the run when its copy ended.
    struct table_outcome {
        std::wstring name;
        uint64_t rows = 0;      // the rows of the run the server took
        bool at_least = false;  // the server may have taken more (an answer was lost)
        bool appended = false;  // it was there before the run and keeps its rows
        bool failed = false;    // a failure ended its copy
        bool kept = false;      // the table of that name stands as it was before the run
    };
    const std::vector<table_outcome>& table_outcomes() const { return outcomes; }
    // What the run's server tables hold, a sentence each: "Written: ..."
    // (written_items), the tables made without rows, the tables left as
    // they were; none for a dump.
    std::vector<std::wstring> tables_held() const;
    // How long a run waits for another run to finish with its destination
    // table before it gives that table up.
    unsigned table_lock_seconds = 120;
    // Memory ran out: "Not enough memory" with what was being read (the
    // source file, the table in hand, the record when one is given, counted
    // from 1), as a level-1 failure that ends the run.
    tk_exception memory_failure(uint64_t record = 0) const;
    // The settings are not written back at the end: the program ends by an
    // internal error, or the settings in hand are not the user's.
    void forget_settings() { store_settings = false; }

    void convert_from_xls();
    void convert_from_csv();
    // Copies one table's records, each through the user's changes of the
    // source table `cur_table`; widen: CSV columns are widened as long values
    // come (their widths were not settled before).
    void convert_step(udb_recordset* source, udb_recordset* destination, udb_database* database, bool widen);
    // Reads a source table once before its table is created and settles the
    // types of `columns`, the table's columns as the user's changes make
    // them: refinement from all the values and, for a CSV file, the text
    // types of its long values. A record the copy would fail on ends the
    // reading, so the types fit the records the copy writes; with `refuse`
    // (the table replaces one, which must stay when the new one cannot be
    // made whole) it fails the table instead, as does a value the type the
    // user gave cannot hold, before anything is created. Returns the
    // columns to make text after the copy (mysql_refine_types). A CSV
    // source is given as lines too: while the user left its columns alone,
    // the types come from the texts of its lines, no record built.
    std::vector<text_later> settle_types(udb_recordset& source, udb_schema& columns, csv_file* lines,
                                         bool refuse = false);
    // Whether a table's records are to be read before anything of it is
    // written, when no settling of its types reads them: a type the user
    // gave may not take a value. `columns`: as the user's changes make them.
    bool needs_value_check(const std::wstring& table, const udb_schema& columns) const;
    // That reading: the first value a type the user gave cannot take fails
    // the table, naming its record, as settle_types does.
    void check_values(udb_recordset& source, const udb_schema& columns);
    // The reading of a worksheet whose types are not refined: its cells keep
    // their types, and a date or time column in which a value has a
    // fraction of a second keeps milliseconds; the values are checked as
    // check_values does.
    void keep_fractions(udb_recordset& source, udb_schema& columns);
    // Ends the copy into a table: the rows still gathered are written and
    // the table closed, then the columns of `later` are made text.
    // existed: the table was there before the run.
    void finish_table(udb_database& database, std::unique_ptr<udb_recordset> table, bool existed,
                      const std::vector<text_later>& later);

    // Types are settled from the values for a table the run creates with
    // refinement on and rows to copy, whatever the mode (a dump's table
    // too: its CREATE TABLE IF NOT EXISTS makes the table where none is);
    // never for a table that was there before, unless the run replaces it
    // (modes 0 and 1).
    bool settles_types(udb_database& database, const std::wstring& table);
    // The part of that rule that holds for every table of the run.
    bool refines_types() const { return refine_types && !tab_def; }

    // The table a CSV run writes as the user's changes name it, made safe
    // as the run makes it: the one an overwrite drops.
    std::wstring csv_dest_table() const;
    // The selected worksheets' tables in the run's order: each worksheet's
    // table name with the table the run writes for it, made safe and kept
    // apart from the others as the run does.
    std::vector<std::pair<std::wstring, std::wstring>> sheet_dest_tables() const;
    // The same for the source table `table` (a worksheet's table name).
    std::wstring dest_table_of(const std::wstring& table) const;

    // The table a CSV file gets when the user named none: its base name,
    // made safe.
    std::wstring default_csv_table() const;
    // The log file stopped taking lines during this process (the user was
    // told by a notice): it does not hold the run's log.
    bool log_lost() const { return log_failed.load(std::memory_order_acquire); }

    // The CSV delimiter of n_comma: tab, ";", ",", " ".
    const wchar_t* get_delimiter() const;

    // The run prepares its destination first (check_dest): the wizard's
    // pages only record what the user chose for an existing destination.
    bool check_dest_in_run = false;
    int32_t n_comma = 1;  // 0 tab, 1 ";", 2 ",", 3 space; -1 not given
    std::wstring tab_name;
    // The CSV file tab_name was given for (typed, loaded from a profile, or
    // the last run's): another file gets a name of its own.
    std::wstring tab_name_for;
    bool from_xls = true;
    bool x_fnames = true;
    bool direct = true;
    bool skip_empty_rows = true;
    bool refine_types = true;

protected:
    void sheet_not_found(const std::wstring& name) override;
    // The wizard's page asks for another name; a run from the command line
    // goes on without a log, with a notice, as it does when the log stops
    // taking lines.
    void refuse_logfile(const std::string& reason) override;

private:
    // A table the run fills under a stand-in name, for the table `name` it
    // replaces (whole_database: and all else mode 0's database holds). It
    // takes that place (place_standin) only once its copy went to its end;
    // on every other way out it is dropped, and what stood stays as it was.
    struct standin_fill {
        explicit standin_fill(ravelin_converter& converter_) : converter(converter_) {}
        ~standin_fill();
        standin_fill(const standin_fill&) = delete;
        standin_fill& operator=(const standin_fill&) = delete;
        ravelin_converter& converter;
        sql_database* database = nullptr;
        std::wstring standin;  // empty once in place, or when there is none
        std::wstring name;
        bool whole_database = false;
    };
    // One worksheet of a workbook run into its table; its failures are
    // reported with the table's name and end only that worksheet.
    // The source's current record after the user's changes; null for an
    // empty worksheet row that is passed over.
    const udb_record* record_to_copy(udb_recordset& source, const std::wstring& table);
    // The types of the columns the user typed whose values a server may
    // refuse, parsed; empty when there is none.
    std::vector<std::optional<sql_type_text>> value_checks(const std::wstring& table,
                                                          const udb_schema& columns) const;
    // record_to_copy for the readings before a table is written: a value a
    // type the user gave cannot take fails the table, naming its record
    // (`number`: the records handed out so far).
    const udb_record* checked_record(udb_recordset& source, const std::wstring& table, const udb_schema& columns,
                                     const std::vector<std::optional<sql_type_text>>& types, uint64_t& number);
    // convert_step's loop over the records of one table.
    void copy_records(udb_recordset& source, udb_recordset& destination, sql_field_upsizer& upsizer,
                      const std::wstring& table, bool widen);
    // The run's named lock on its server table `name`; none for a dump.
    std::unique_ptr<sql_table_lock> lock_table(udb_database& database, const std::wstring& name);
    // The run's table `name` takes the place of something on the server:
    // mode 1's table of that name, or the first table of mode 0 in a
    // database that holds anything.
    bool replaces(udb_database& database, const std::wstring& name);
    // Creates the run's table `name`, or opens the one there to append to
    // (modes 2 and 3). Where the mode replaces what stands (mode 1's table
    // of that name, mode 0's whole database before its first table), the
    // old goes only once the server has taken the new one: nothing is
    // dropped for a table the server refuses.
    // The table to fill is then a stand-in (fill), which place_standin puts
    // in place.
    std::unique_ptr<udb_recordset> make_table(udb_database& database, const std::wstring& name,
                                              const udb_schema& columns, const udb_indexes& indexes,
                                              standin_fill& fill);
    std::unique_ptr<udb_recordset> replace_table(sql_database& database, const std::wstring& name,
                                                 const udb_schema& columns, const udb_indexes& indexes,
                                                 standin_fill& fill);
    // The rows go into `fill`'s stand-in from now on; its reports name the
    // table the user knows.
    void fill_now(const standin_fill& fill);
    // Begins filling a new stand-in for the table `name`.
    void begin_fill(standin_fill& fill, sql_database& database, const std::wstring& name, const udb_schema& columns,
                    const udb_indexes& indexes);
    // The filled stand-in, if any, takes its table's place; the old table,
    // its triggers and (whole_database) all else the database held are
    // dropped.
    void place_standin(standin_fill& fill);
    // A level-0 failure naming `replaced` unless the user may drop tables
    // and insert rows.
    void refuse_unless_permitted(sql_database& database, const std::wstring& replaced);
    // A level-1 failure naming the foreign keys of other tables that
    // reference one of `tables` (none: any table of the database from
    // another database): replacing a table would leave them pointing at no
    // table.
    void refuse_referenced(sql_database& database, const std::vector<std::wstring>& tables);
    // A level-0 failure when the name is a view's or a sequence's, not a
    // table's: the server would only say that "the table" exists.
    void refuse_other_object(sql_database& database, const std::wstring& name);
    // The database as the run opened it: its waits for other sessions are
    // told and bounded, and stand-ins runs left behind are named.
    void meet_server_database(sql_database& database);
    // Runs the step; a server's refusal in it says that `replaced` was
    // left as it was.
    void keeping(const std::wstring& replaced, const std::function<void()>& step);
    // Drops every table and view of the database but the run's `kept`.
    void clear_database(sql_database& database, const std::vector<std::wstring>& kept);
    // The table `name` created under a stand-in name, which it answers.
    std::wstring make_standin(sql_database& database, const std::wstring& name, const udb_schema& columns,
                              const udb_indexes& indexes);
    // The stand-in takes the old table's place and `standin` is emptied.
    void put_standin_in_place(sql_database& database, std::wstring& standin, const std::wstring& name);
    // What the table holds now that its copy ended; a failed copy's rows
    // still gathered are dropped first. A stand-in's rows are counted as its
    // table's.
    void note_outcome(udb_recordset& table, bool failed);
    // A replacement given up: its table holds what it held before the run,
    // or is not there at all.
    void note_given_up(const std::wstring& name, bool present);
    // One worksheet of a workbook run: what the run knows of it before its
    // table is created.
    struct sheet_plan;
    // Reads the worksheet as far as the run reads it before creating its
    // table; false when mode 2 skips it.
    bool plan_sheet(dao_database& workbook, udb_database& database, udb_validator& validator, sheet_plan& plan);
    void copy_sheet(udb_database& database, sheet_plan& plan, std::unique_ptr<udb_recordset> destination,
                    standin_fill& fill);
    // Runs one worksheet's step: its failures are reported with the table's
    // name and end only that worksheet.
    void sheet_step(const std::wstring& table, const std::function<void()>& step);
    // Mode 0 into a database that holds something: every worksheet's table
    // is created before what the database held goes, then each is copied.
    void convert_replacing(dao_database& workbook, sql_database& database, udb_validator& validator);
    void convert_sheet(dao_database& workbook, udb_database& database, udb_validator& validator,
                       const std::wstring& table, const std::wstring& sheet);
    // After a failure that ended the run: true, the run marked interrupted,
    // when a stop was requested.
    bool ended_by_stop();
    void apply_defaults();
    bool serialize_all(bool store);
    bool serialize_console();
    bool serialize_engine_texts(bool store);
    // False, with a notice, for a stored catalogue name (char_set, tab_type)
    // that is not a plain name.
    bool accepts_stored_name(const wchar_t* value_name, const std::wstring& value);
    bool serialize_dump_options(bool store);
    // The source opened for reading; a level-1 tk_exception when it cannot be.
    std::unique_ptr<csv_file> open_csv_source();
    // take_source() begins a run (rvl_src.cpp): a plain file is looked at
    // anew, the copy of a source read once is kept; a source that cannot be
    // copied raises a level-1 tk_exception_ex naming it, or
    // tk_final_exception when a stop request interrupted the copy.
    void take_source();
    void take_copy();
    // Messages that name the copy name the source instead (error_handler).
    void name_copy_as_source() const;
    // The bytes of a plain-file source to read, -1 for all.
    int64_t source_read_limit() const;
    // After the copy: a plain-file source whose size or modification time
    // changed since the run began is reported (a notice, counted as a
    // failure), with the bytes `reader` read of it and the line its new end
    // cut, when it was cut short.
    void report_changed_source(const csv_file& reader);
    // The workbook of src, opened anew into xls_book.
    void open_xls_source();
    // Every worksheet the run converts, read once; a failure names the
    // worksheet and leaves the destination untouched.
    void read_selected_sheets();
    // A worksheet too wide for the server fails alone when the run reaches
    // it, and the others are converted; when every selected worksheet is
    // too wide the run would only drop or replace its destination, so it is
    // refused (level 0, naming the first) before anything is.
    void refuse_sheets_all_too_wide();
    // Two worksheets of the run that the user's new names give one table
    // (first_name_clash): a level-1 tk_exception naming both, before
    // anything is written.
    void refuse_table_name_clash() const;
    // The worksheets of the run when none were chosen: every one of the
    // workbook for the console, else the names of sel_queries.
    void settle_worksheets(dao_database& workbook);
    // The selected queries: each a notice that it was not converted, and a
    // failure of the run.
    void report_queries();
    // The table a CSV run writes: the user's name for tab_name made safe the
    // same way in every run, so that each run meets the same table.
    std::wstring csv_table_name(udb_schema& columns, udb_indexes& indexes);
    // The CSV file's one table is one the server cannot create (a
    // sql_column_count_failure): a level-0 tk_exception naming the file.
    // Nothing for an empty failure.
    void refuse_csv_table(const std::wstring& failure) const;
    std::wstring safe_table_name(const std::wstring& name) const;
    // A CSV profile's table name and delimiter; a profile written before
    // they were kept names the table after its CSV file.
    void load_csv_settings(const udb_profile& profile);

    const converter_form form;
    converter_hooks& hooks;
    // What note_file_read named: what the file is, its path.
    std::vector<std::pair<std::wstring, std::wstring>> files_read;
    // The workbook check_dest read, open until the run has converted it: its
    // worksheets are read once. The engine outlives the workbook.
    std::unique_ptr<dao_engine> xls_engine;
    std::unique_ptr<dao_database> xls_book;
    bool store_settings = true;
    // The reader of a running CSV conversion, for the progress display; set
    // and cleared under the lock so a poll never reaches a deleted reader.
    struct published;
    mutable std::mutex csv_reader_mutex;
    const csv_file* csv_reader = nullptr;
    // The percentage the last reader had read when it was withdrawn; all of
    // it before any run.
    std::atomic<int> csv_read_last{100};
    static int percent_read(const csv_file& reader);
    std::wstring dump_written;  // where this run's dump is written, once created
    std::wstring source_of;     // the src that the two below describe
    std::unique_ptr<tk_temp_copy> source_copy;
    std::optional<platform::file_stamp> source_stamp;
    bool dest_reached = false;
    std::atomic<bool> interrupted{false};
    std::atomic<bool> log_failed{false};
    // Mode 0 has made way for the run's tables: what the database held is
    // gone, and later tables are created as in an empty database.
    bool database_cleared = false;
    std::vector<std::wstring> dropped;
    std::vector<std::wstring> skipped;
    std::vector<std::wstring> written;  // the database and the tables the run created
    std::vector<table_outcome> outcomes;
    // Tables whose replacement did not go to its end: they hold what they
    // held before the run.
    std::vector<std::wstring> kept;
    // The stand-in whose rows go in now: they are its table's only once it
    // is in place.
    const standin_fill* filling = nullptr;
};

// Why the file cannot be a CSV run's source: its content is a workbook's (a
// zip package or a compound file), whatever its name. Empty when it is not.
std::wstring workbook_as_csv_failure(const std::wstring& path);
// The dump file checks: the path names a file (not a folder, not read-only)
// in an existing folder the user may write to; level-1 tk_exception if not.
void common_check_dest(const std::wstring& path);
