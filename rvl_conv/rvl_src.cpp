// The source as a run reads it. A CSV file is read more than once (its
// columns before the run, the reading that settles the types, the copy), and
// every reading must see the same bytes: a source that can be read only once
// (a pipe, a terminal, a device) is copied whole into a private file before
// its first reading and read from there, and a plain file is read up to its
// size at the start of the run. A plain file that changed meanwhile is
// reported after the copy.
#include "rvl_conv/rvl_conv.hpp"

#include "TK/tk_files.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_tmpf.hpp"
#include "TK/tk_utils.hpp"
#include "common/csv_line.hpp"
#include "common/csv_util.hpp"
#include "platform/text/pl_format.hpp"
#include "rvl_conv/rvl_errh.hpp"

void ravelin_converter::take_source()
{
    // A copy is all there is of a source read once: it is kept for the run.
    if (source_copy && source_of == src)
        return;
    source_copy.reset();
    name_copy_as_source();
    source_stamp.reset();
    source_of = src;
    platform::file_stamp stamp;
    if (!platform::get_file_stamp(tk_to_ansi(src, tk_cp_thread_acp), stamp))
        return;  // the reader reports what is wrong with it
    if (stamp.regular)
        source_stamp = stamp;
    else if (!tk_is_path_exist(src))
        take_copy();
}

void ravelin_converter::take_copy()
{
    try {
        // A pipe no writer opened waits for one: a stop request ends the wait.
        source_copy = std::make_unique<tk_temp_copy>(src, csv_line_reader::default_line_limit,
                                                     [this] { return stop_requested(); });
        name_copy_as_source();
    } catch (const tk_exception&) {
        // The stop signal interrupted a blocked read: that is no failure of
        // the source.
        if (stop_requested())
            throw tk_final_exception();
        throw;
    }
}

void ravelin_converter::name_copy_as_source() const
{
    error_handler* errors = error_handler::try_instance();
    if (errors == nullptr)
        return;
    if (source_copy)
        errors->set_shown_path(tk_to_utf8(source_copy->path()), tk_to_utf8(src));
    else
        errors->set_shown_path({}, {});
}

const std::wstring& ravelin_converter::source_to_read()
{
    if (source_of != src || (!source_copy && !source_stamp))
        take_source();
    return source_copy ? source_copy->path() : src;
}

int64_t ravelin_converter::source_read_limit() const
{
    return source_stamp && source_of == src ? source_stamp->size : -1;
}

void ravelin_converter::report_changed_source(const csv_file& reader)
{
    if (!source_stamp || source_of != src)
        return;
    platform::file_stamp now;
    if (platform::get_file_stamp(tk_to_ansi(src, tk_cp_thread_acp), now) && now.size == source_stamp->size &&
        now.modified_ns == source_stamp->modified_ns)
        return;
    std::wstring line = platform::format(L"The source file '%s' changed while it was converted (its size or "
                                         L"modification time is no longer what it was when the run began): the rows "
                                         L"converted are those of its first %I64d bytes.",
                                         src.c_str(), reader.get_position());
    if (const int64_t cut = reader.findings().cut_short; cut > 0)
        line += platform::format(L" The file ended before its size at the start, inside line %I64d: that line, "
                                 L"cut short, was not converted.",
                                 cut);
    hooks.notice(line);
    error_handler::instance().count_failure();
}
