#include "rvl_shel/rs_pages.hpp"

#include "GUI2/g_wiz_sh.hpp"
#include "rvl_conv/rvl_conv.hpp"

interactive_pages::interactive_pages()
    : welcome(L"rvl"), sheets(L"There are no worksheets selected. Continue anyway?")
{
    dump.set_header(QStringLiteral("Step 1 of 5"), QStringLiteral("MySQL dump file settings"));
    settings.set_header(QStringLiteral("Step 1 of 5"), QStringLiteral("Connect to MySQL server"));
    file.set_header(QStringLiteral("Step 2 of 5"), QStringLiteral("Select data source and destination"));
    conversion.set_header(QStringLiteral("Step 3 of 5"), QStringLiteral("Conversion settings"));
    sheets.set_header(QStringLiteral("Step 4 of 5"), QStringLiteral("Select worksheets to convert"));
    delim.set_header(QStringLiteral("Step 4 of 5"), QStringLiteral("CSV formatting settings"));
}

void interactive_pages::add_to(wizard_shell& shell, ravelin_converter& converter)
{
    converter.check_dest_in_run = true;
    for (wizard_page_base* page : std::initializer_list<wizard_page_base*>{&welcome, &dump, &settings, &file,
                                                                           &conversion, &sheets, &delim})
        shell.add_page(*page);
}
