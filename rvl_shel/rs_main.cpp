// ravelin: the wizard. With a profile on the command line it runs that
// conversion at once and shows its result.
#include "GUI2/g_guard.hpp"
#include "rvl_shel/rs_start.hpp"

#include <QApplication>

#include <cstdlib>
#include <iostream>

namespace {

// Qt gives up (no display to open, no platform plugin) with a fatal message
// and an abort: the user gets our line and the failure code instead.
void on_qt_message(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtFatalMsg) {
        std::cerr << text.toStdString() << std::endl;
        return;
    }
    std::cerr << "Failed to initialize GUI library" << std::endl;
    std::_Exit(wizard_failure);
}

} // namespace

int main(int argc, char** argv)
{
    // Taken before Qt removes the arguments it knows.
    const std::string command_line = join_command_line(argc, argv);
    qInstallMessageHandler(on_qt_message);
    QApplication application(argc, argv);
    qInstallMessageHandler(nullptr);
    install_window_services();
    return ravelin_run(command_line);
}
