// The last page of the wizard: the success text, or the error messages the
// run reported, and "Save settings..." to keep this conversion as a profile.
#pragma once

#include "GUI2/g_guard.hpp"
#include "GUI2/g_wiz_pg.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_singl.hpp"

#include <QPushButton>
#include <QString>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;

// The page's widgets, whatever its id.
class finish_panel {
public:
    explicit finish_panel(QWidget& page);

    // Disables Cancel (Esc then closes as Finish does), then shows the
    // shell's error list under the error text, or the success text. F1
    // stays: the program's help says what the result means.
    void show_result(const std::wstring& error_text, const std::wstring& success_text);
    // The same with a heading and text of the caller's: the shell's list
    // (errors and notices) is shown under it whenever it holds any.
    void show_outcome(const QString& heading_text, const std::wstring& text);

    QLabel* heading;
    QLabel* message;
    QPlainTextEdit* list;
    QPushButton* save_button;
};

// The list as the page shows it: each message a paragraph of its own, its
// line feeds turned into blanks; then how many more were not kept.
QString finish_error_text(const std::vector<std::string>& errors, size_t total);

// Save settings: asks for a profile file and stores through `store`; a new
// file is readable by its owner only (it may hold a password); a store that
// fails is told.
void store_profile_dialog(QWidget* owner, const std::wstring& extension,
                          const std::function<bool(const std::wstring&)>& store);

template <uint32_t IDD>
class gui_finish_page : public wizard_page<IDD, wiz_finish, psp_hideheader> {
public:
    gui_finish_page(const std::wstring& error_text_, const std::wstring& success_text_)
        : panel(*this), success_text(success_text_), error_text(error_text_)
    {
    }

    int page_init() override
    {
        tk_logger::log(2, "gui_finish_page::page_init");
        panel.show_result(error_text, success_text);
        return 1;
    }

protected:
    finish_panel panel;

private:
    std::wstring success_text;
    std::wstring error_text;
};

// The finish page of a program whose Converter stores profiles.
template <class Converter, uint32_t IDD>
class gui_finish_page_t : public gui_finish_page<IDD> {
public:
    gui_finish_page_t(const std::wstring& error_text, const std::wstring& success_text,
                      const std::wstring& extension_)
        : gui_finish_page<IDD>(error_text, success_text), extension(extension_)
    {
        QObject::connect(this->panel.save_button, &QPushButton::clicked, this,
                         [this] { ui_guard([this] { on_store(); }); });
    }

    void on_store()
    {
        store_profile_dialog(this, extension, [](const std::wstring& path) {
            return tk_singleton<Converter>::instance().store_profile(path);
        });
    }

private:
    const std::wstring extension;
};
