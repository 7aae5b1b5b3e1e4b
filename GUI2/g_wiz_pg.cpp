#include "GUI2/g_wiz_pg.hpp"

#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_log.hpp"

wizard_page_base::wizard_page_base(uint32_t id_, int buttons_, uint32_t flags_)
    : id(id_), buttons(buttons_), flags(flags_)
{
}

wizard_page_base::~wizard_page_base() { tk_logger::log(2, "wizard_page::dtor"); }

void wizard_page_base::set_header(const QString& title, const QString& subtitle)
{
    header_title = title;
    header_subtitle = subtitle;
}

bool wizard_page_base::activate()
{
    tk_logger::log(1, "wizard_page::OnSetActive");
    wizard_shell& shell = wizard_shell::instance();
    shell.set_buttons(buttons);
    shell.initialize_if();
    return page_init() != 0;
}

int wizard_page_base::on_cancel()
{
    tk_logger::log(2, "wizard_page::on_cancel");
    wizard_shell::instance();  // a page without its shell is an internal error
    return wizard_shell::question(L"Are you sure you want to exit the wizard?") ? 1 : 0;
}
