// The error handler's two dialogs: the internal-error dialog, which offers to
// mail the report or copy it, and the dialog of a failure the run goes on
// after, which offers to abort and to stop showing such dialogs.
#pragma once

#include <QDialog>

#include <string>

class QCheckBox;

// Results of the internal-error dialog.
inline constexpr int dlg_ok = 1;
inline constexpr int dlg_copy = 1108;
inline constexpr int dlg_send_bug = 1112;
// Results of the continue dialog.
inline constexpr int dlg_abort = 1;
inline constexpr int dlg_continue = 2;

class dlg_error_ex : public QDialog {
public:
    explicit dlg_error_ex(const std::wstring& text);

    const std::wstring text;
};

class dlg_error_continue : public QDialog {
public:
    explicit dlg_error_continue(const std::wstring& text);

    // Esc and the close box mean Continue.
    void reject() override;

    const std::wstring text;
    bool dont_show = false;
    QCheckBox* dont_show_box;
};

// "<title> Error" once the wizard is shown, else "Error".
QString error_caption();
