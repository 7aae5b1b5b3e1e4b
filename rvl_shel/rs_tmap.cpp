#include "rvl_shel/rs_tmap.hpp"

#include "GUI2/g_uiport.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "common/map_list.hpp"
#include "rvl_conv/rvl_conv.hpp"

#include <QApplication>

void open_types_editor(QWidget* owner, const std::wstring& table,
                       std::vector<std::pair<std::wstring, std::wstring>> taken)
{
    QWidget* active = QApplication::activeWindow();
    types_map_dlg<ravelin_converter, 1022> dialog(
        active != nullptr ? active : owner, table,
        [](bool error, const std::wstring& text) { error ? wizard_shell::error(text) : wizard_shell::message(text); },
        [](uint32_t topic) { wizard_shell::display_help(topic); });
    dialog.taken_names = std::move(taken);
    ui().exec(dialog);
}
