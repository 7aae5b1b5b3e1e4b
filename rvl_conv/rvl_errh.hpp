// The process-wide sink for failures. It turns an exception's code into a
// friendly message from the tables it is given, puts the name of the table or
// record in hand in front of it, and reports it by the exception's level:
//   0  the item failed, the caller goes on;
//   1  the operation ends;
//   2  an internal error, the process ends.
// Each front end reports in its own way (console lines, dialogs) by
// implementing handle().
#pragma once

#include "TK/tk_errco.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_rprt.hpp"
#include "TK/tk_singl.hpp"
#include "TK/tk_utils.hpp"

#include <atomic>
#include <cstddef>
#include <string>

class error_handler : public tk_singleton<error_handler>, public tk_reporter {
public:
    error_handler(size_t n, const tk_error_row* table);
    ~error_handler() override;

    void load_err_map(size_t n, const tk_error_row* table);

    // The context that prefixes the next reports, until it is set again.
    void set_context(const std::wstring& name) override { context = tk_to_ansi(name, tk_cp_thread_acp); }
    // "table, record #n"; the caller passes the number to show.
    void set_record_context(const std::wstring& table, int record);
    const std::string& get_context() const { return context; }

    // Levels 0 and 1 are reported without output once quiet is set; internal
    // errors always are.
    void set_quiet(bool on) { quiet = on; }
    bool is_quiet() const { return quiet; }

    // How many failures of levels 0 and 1 were reported in this process: a
    // run that went to its end after any of them did not fully succeed.
    int error_count() const { return errors_reported.load(); }
    // A failure the front end's hooks report themselves (a worksheet the
    // workbook lacks, a source that changed while it was read): counted like
    // the others.
    void count_failure() { count_error(); }

    // Reports the failure. no_abort: a level-0 report may not end the run
    // (where the front end offers the user to abort).
    void handle(const tk_exception& e, bool no_abort) override = 0;

    // The context with ": ", then the table's text for the code, or the
    // exception's own text when no table has one.
    std::string make_message(const tk_exception& e) const;
    // Messages name `shown` where their text names `read`: a source read
    // from its private copy is named as the user gave it. Empty texts end
    // the substitution.
    void set_shown_path(const std::string& read, const std::string& shown)
    {
        read_path = read;
        shown_path = shown;
    }
    // Messages shared by both programs send the user to "the product
    // documentation"; each front end names where its own documentation is.
    void set_docs_name(const std::string& name) { docs_name = name; }

protected:
    // Each front end's handle() calls this once per report of level 0 or 1.
    void count_error() { ++errors_reported; }

    std::string context;
    bool quiet = false;
    tk_error_converter messages;
    std::atomic<int> errors_reported{0};
    std::string read_path;
    std::string shown_path;
    std::string docs_name;
};
