#include "GUI2/g_uiport.hpp"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <cerrno>
#include <exception>
#include <string>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int opener_poll_ms = 100;
constexpr QSize file_dialog_size(960, 600);

// The room on the screen of the owner, or of the primary screen.
QSize available_room(const QWidget* owner)
{
    const QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->availableSize() : file_dialog_size;
}

// xdg-open with the page, found on PATH; 0 when it did not start.
pid_t start_opener(std::string url)
{
    std::string program = "xdg-open";
    char* argv[] = {program.data(), url.data(), nullptr};
    posix_spawnattr_t attributes;
    if (::posix_spawnattr_init(&attributes) != 0)
        return 0;
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t child = 0;
    const int error = ::posix_spawnp(&child, program.c_str(), nullptr, &attributes, argv, environ);
    ::posix_spawnattr_destroy(&attributes);
    return error == 0 ? child : 0;
}

// Reaps the opener once it ends and calls `failed` when it did not succeed.
// The wizard may end first: the opener is left running, never killed.
void watch_opener(pid_t opener, std::function<void()> failed)
{
    auto* poll = new QTimer(QCoreApplication::instance());
    QObject::connect(poll, &QTimer::timeout, poll, [poll, opener, failed = std::move(failed)] {
        int status = 0;
        const pid_t ended = ::waitpid(opener, &status, WNOHANG);
        if (ended == 0 || (ended < 0 && errno == EINTR))
            return;
        poll->stop();
        poll->deleteLater();
        if (ended < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            failed();
    });
    poll->start(opener_poll_ms);
}

class qt_ui_port : public ui_port {
public:
    bool box(box_kind kind, QWidget* owner, const QString& caption, const QString& text, bool default_no) override
    {
        QMessageBox box(owner);
        box.setWindowTitle(caption);
        box.setText(text);
        if (kind == box_kind::question) {
            box.setIcon(QMessageBox::Question);
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(default_no ? QMessageBox::No : QMessageBox::Yes);
            return box.exec() == QMessageBox::Yes;
        }
        box.setIcon(kind == box_kind::error ? QMessageBox::Critical : QMessageBox::Information);
        box.exec();
        return false;
    }

    QString file(const file_request& request) override
    {
        QFileDialog dialog(request.owner, request.title, request.folder);
        dialog.setNameFilters(request.filters);
        dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog.selectFile(request.name);
        // Qt's own size cuts the list's Size and Type columns.
        dialog.resize(file_dialog_size.boundedTo(available_room(request.owner)));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().constFirst();
    }

    // The desktop's opener, in a session of its own: the browser it starts
    // outlives the wizard. Without an opener, or when it finds no browser,
    // the user must hear of it, not only the terminal; the window does not
    // wait for it meanwhile.
    void open_help(const QString& path, std::function<void()> failed) override
    {
        const pid_t opener = start_opener(QUrl::fromLocalFile(path).toString().toStdString());
        if (opener <= 0) {
            failed();
            return;
        }
        watch_opener(opener, std::move(failed));
    }
    void beep() override { QApplication::beep(); }

    int exec(QDialog& dialog) override { return dialog.exec(); }
};

qt_ui_port real_port;
ui_port* current_port = nullptr;
std::atomic<bool> closing{false};

} // namespace

ui_port& ui() { return current_port != nullptr ? *current_port : real_port; }

void set_ui_port(ui_port* port) { current_port = port; }

void set_ui_closing(bool on) { closing.store(on, std::memory_order_release); }

bool ui_closing() { return closing.load(std::memory_order_acquire); }

void on_window_thread(const std::function<void()>& action)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        action();
        return;
    }
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        app,
        [&] {
            try {
                action();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure)
        std::rethrow_exception(failure);
}
