#include "rvl_shel/rs_dlg.hpp"

#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_clip.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_mail.hpp"
#include "TK/tk_utils.hpp"
#include "common/over_dlg.hpp"
#include "rvl_shel/rs_prog.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace {

// The error icon and the text, the icon left of it; the rows below are the caller's.
QGridLayout* icon_and_text(QDialog& dialog, const std::wstring& text)
{
    auto* icon = new QLabel(&dialog);
    icon->setPixmap(dialog.style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    auto* label = new QLabel(QString::fromStdWString(text), &dialog);
    label->setObjectName(QStringLiteral("text"));
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMinimumWidth(360);
    auto* grid = new QGridLayout(&dialog);
    grid->addWidget(icon, 0, 0, Qt::AlignTop);
    grid->addWidget(label, 0, 1);
    dialog.setWindowTitle(error_caption());
    return grid;
}

QPushButton* add_button(QDialog& dialog, QHBoxLayout& row, const QString& text, int result)
{
    auto* button = new QPushButton(text, &dialog);
    row.addWidget(button);
    QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, result] { dialog.done(result); });
    return button;
}

std::string narrow_title()
{
    const wizard_shell* shell = wizard_shell::is_initialized() ? wizard_shell::try_instance() : nullptr;
    return shell != nullptr ? tk_to_ansi(shell->get_title(), tk_cp_thread_acp) : std::string();
}

} // namespace

QString error_caption()
{
    const wizard_shell* shell = wizard_shell::is_initialized() ? wizard_shell::try_instance() : nullptr;
    return shell != nullptr ? QString::fromStdWString(shell->get_title()) + QStringLiteral(" Error")
                            : QStringLiteral("Error");
}

dlg_error_ex::dlg_error_ex(const std::wstring& text_) : text(text_)
{
    tk_logger::log(1, "dlg_error_ex::ctor");
    QGridLayout* grid = icon_and_text(*this, text);
    auto* row = new QHBoxLayout;
    QPushButton* send = add_button(*this, *row, QStringLiteral("Send bug"), dlg_send_bug);
    add_button(*this, *row, QStringLiteral("OK"), dlg_ok);
    add_button(*this, *row, QStringLiteral("Copy to clipboard"), dlg_copy);
    send->setDefault(true);
    grid->addLayout(row, 1, 1);
    connect(this, &QDialog::finished, this, [this](int result) {
        if (result == dlg_copy)
            tk_copy_to_clipboard2(text);
        else if (result == dlg_send_bug)
            tk_send_bug(narrow_title(), tk_to_ansi(text, tk_cp_thread_acp));
    });
    tk_logger::log(1, "dlg_error_ex::on_init");
}

dlg_error_continue::dlg_error_continue(const std::wstring& text_)
    : text(text_), dont_show_box(new QCheckBox(QStringLiteral("&Do not show this dialog box again"), this))
{
    tk_logger::log(1, "dlg_error_continue::ctor");
    QGridLayout* grid = icon_and_text(*this, text);
    grid->addWidget(dont_show_box, 1, 1);
    connect(dont_show_box, &QCheckBox::toggled, this, [this](bool on) { dont_show = on; });
    auto* row = new QHBoxLayout;
    QPushButton* go_on = add_button(*this, *row, QStringLiteral("Continue"), dlg_continue);
    add_button(*this, *row, QStringLiteral("Abort"), dlg_abort);
    row->addStretch(1);
    go_on->setDefault(true);
    grid->addLayout(row, 2, 1);
    // The progress page's help tells what Continue and Abort do.
    help_on_f1(*this, [] { wizard_shell::display_help(progress_help_topic); });
    tk_logger::log(1, "dlg_error_continue::on_init");
}

void dlg_error_continue::reject() { done(dlg_continue); }
