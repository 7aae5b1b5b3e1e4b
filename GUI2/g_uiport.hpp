// Everything of the wizard that waits for the user outside its own pages:
// message boxes, file dialogs, the help browser, the beep and the modal run of
// the program's own dialogs. All of it goes through one port, so tests can put
// a scripted port in place of the real one.
//
// Boxes and dialogs belong to the window thread. A worker that needs one asks
// the window thread and waits for the answer (on_window_thread). While the
// program closes, every such request is answered at once with its default
// (no box, No, Continue), so a window thread that waits for the worker to end
// never waits for a box that cannot be shown.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QDialog;
class QWidget;

enum class box_kind { error, message, question };

struct file_request {
    QWidget* owner = nullptr;
    QString title;
    QStringList filters;  // "Description (*.a *.b)", the first one chosen
    QString folder;       // where the dialog starts
    QString name;         // the file name it offers
    bool save = false;    // a save dialog (else an open dialog for an existing file)
};

class ui_port {
public:
    virtual ~ui_port() = default;
    // A question answers true for Yes; default_no makes No the default
    // button. Other boxes answer false.
    virtual bool box(box_kind kind, QWidget* owner, const QString& caption, const QString& text,
                     bool default_no) = 0;
    // The chosen path, empty when the user cancelled.
    virtual QString file(const file_request& request) = 0;
    // Opens a help page without waiting for it: `failed` runs on the window
    // thread once the page is known not to open, at once or later.
    virtual void open_help(const QString& path, std::function<void()> failed) = 0;
    virtual void beep() = 0;
    // Runs one of the program's own dialogs modally; its result.
    virtual int exec(QDialog& dialog) = 0;
};

// The port in force: the real one unless a test put its own.
ui_port& ui();
// Not owned; null brings the real port back.
void set_ui_port(ui_port* port);

// Set once the wizard has ended: boxes and dialogs are answered at once.
void set_ui_closing(bool closing);
bool ui_closing();

// Runs the action on the window thread and waits for it; an exception it
// raises is raised again on the calling thread. Without an application, or
// on the window thread, it runs at once. A worker asks ui_closing() first:
// a closing window thread may be waiting for it.
void on_window_thread(const std::function<void()>& action);
