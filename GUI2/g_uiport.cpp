#include "GUI2/g_uiport.hpp"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <exception>

namespace {

constexpr int help_wait_ms = 3000;

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
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().constFirst();
    }

    // The desktop's opener, waited for a while: without a browser it fails
    // at once, and the user must hear of it, not only the terminal. One
    // that is still busy has found its browser.
    bool open_help(const QString& path) override
    {
        auto* opener = new QProcess(QCoreApplication::instance());
        QObject::connect(opener, &QProcess::finished, opener, &QObject::deleteLater);
        QObject::connect(opener, &QProcess::errorOccurred, opener, [opener](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                opener->deleteLater();
        });
        opener->start(QStringLiteral("xdg-open"), {QUrl::fromLocalFile(path).toString()});
        if (!opener->waitForStarted(help_wait_ms))
            return false;
        if (!opener->waitForFinished(help_wait_ms))
            return true;
        return opener->exitStatus() == QProcess::NormalExit && opener->exitCode() == 0;
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
