// The pages of the interactive wizard, from the welcome page to the
// worksheet and CSV delimiter pages, in sheet order.
#pragma once

#include "rvl_shel/rs_cset.hpp"
#include "rvl_shel/rs_file.hpp"
#include "rvl_shel/rs_sheet.hpp"
#include "rvl_shel/rs_welc.hpp"

class ravelin_converter;
class wizard_shell;

class interactive_pages {
public:
    interactive_pages();

    // Adds the pages to the shell. The run then prepares the destination
    // itself, as the pages recorded it.
    void add_to(wizard_shell& shell, ravelin_converter& converter);

    welcome_page welcome;
    dump_page dump;
    settings_page settings;
    sel_file_page file;
    conversion_settings conversion;
    sel_shit_page sheets;
    delim_page delim;
};
