#include "rvl_shel/rs_finish.hpp"

#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_utils.hpp"

#include <filesystem>

namespace {

// "MS Excel data" is no name for a CSV file.
std::wstring source_words(const ravelin_converter& converter)
{
    return converter.from_xls ? L"your MS Excel data" : L"your CSV file";
}

const wchar_t finish_hint[] = L"Click 'Finish' to exit the wizard.";

} // namespace

finish_page::finish_page() : gui_finish_page_t(L"", L"", L"rvl") {}

int finish_page::page_init()
{
    const ravelin_converter& converter = tk_singleton<ravelin_converter>::instance();
    const std::wstring words = source_words(converter);
    std::wstring note = written_note(converter);
    if (!note.empty())
        note += L"\n";
    set_texts(L"There were some errors while converting " + words + L".\n" + note + finish_hint,
              L"Wizard has converted " + words + L"\ninto MySQL format successfully.\n" + note + L"\n" + finish_hint);
    return gui_finish_page_t::page_init();
}

void finish_page::on_help() { wizard_shell::display_help(progress_help_topic); }

std::wstring full_path(const std::wstring& path)
{
    std::error_code failed;
    const std::filesystem::path absolute = std::filesystem::absolute(path, failed);
    return failed ? path : absolute.lexically_normal().wstring();
}

std::wstring nothing_written(const ravelin_converter& converter)
{
    return converter.direct ? L"Nothing was written to the MySQL server." : L"Nothing was written: no dump file was made.";
}

std::wstring written_note(const ravelin_converter& converter)
{
    std::wstring note;
    if (!converter.destination_reached())
        note = nothing_written(converter);
    else if (converter.direct)
        note = L"The data was written into the database '" + converter.get_dest() + L"'.";
    else if (converter.unfinished_dump().empty())
        note = L"The dump was written to " + full_path(converter.get_dest()) + L".";
    // else the error list says which file holds the dump written so far
    if (const std::string& log = converter.get_logfile(); !log.empty())
        note += (note.empty() ? L"" : L"\n") + (L"The log was written to " + full_path(tk_to_unicode(log)) + L".");
    return note;
}
