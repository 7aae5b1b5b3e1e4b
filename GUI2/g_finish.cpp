#include "GUI2/g_finish.hpp"

#include "GUI2/g_f_dlg.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_utils.hpp"
#include "platform/text/pl_format.hpp"

#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char finish_file[] = "g_finish";

// Creates the file for the owner only; false when it was there already.
bool create_private(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace

finish_panel::finish_panel(QWidget& page)
    : heading(new QLabel(QStringLiteral("Conversion is completed"), &page)), message(new QLabel(&page)),
      list(new QPlainTextEdit(&page)), save_button(new QPushButton(QStringLiteral("&Save settings..."), &page))
{
    heading->setObjectName(QStringLiteral("heading"));
    QFont font = heading->font();
    font.setPointSize(13);
    font.setWeight(QFont::Normal);
    heading->setFont(font);
    message->setObjectName(QStringLiteral("result"));
    message->setWordWrap(true);
    list->setReadOnly(true);
    list->hide();
    auto* layout = new QVBoxLayout(&page);
    layout->addWidget(heading);
    layout->addSpacing(12);
    layout->addWidget(message);
    layout->addWidget(list, 1);
    layout->addStretch(0);
    layout->addWidget(save_button, 0, Qt::AlignLeft);
}

void finish_panel::show_result(const std::wstring& error_text, const std::wstring& success_text)
{
    const bool failed = !wizard_shell::instance().get_errors().empty();
    tk_logger::log(2, failed ? "Display errors" : "Display success-message");
    show_outcome(heading->text(), failed ? error_text : success_text);
}

void finish_panel::show_outcome(const QString& heading_text, const std::wstring& text)
{
    wizard_shell& shell = wizard_shell::instance();
    shell.enable_button(wizard_button::cancel, false);
    // Enter closes the wizard; saving the settings is asked for by name.
    shell.button(wizard_button::finish)->setFocus();
    heading->setText(heading_text);
    message->setText(QString::fromStdWString(text));
    const std::vector<std::string> errors = shell.get_errors();
    list->setVisible(!errors.empty());
    list->setPlainText(finish_error_text(errors, shell.error_total()));
}

QString finish_error_text(const std::vector<std::string>& errors, size_t total)
{
    QString text;
    for (std::string line : errors) {
        tk_string::replace_all(line, "\n", " ");
        text += QString::fromStdWString(tk_to_unicode(line)) + QStringLiteral("\n\n");
    }
    if (total > errors.size())
        text += QStringLiteral("%1 more error messages came and are not listed here.").arg(total - errors.size());
    return text.trimmed();
}

void store_profile_dialog(QWidget* owner, const std::wstring& extension,
                          const std::function<bool(const std::wstring&)>& store)
{
    const std::wstring filter = platform::format(L"Profile Files (.%s)|*.%s|All Files (*.*)|*.*|",
                                                 extension.c_str(), extension.c_str());
    tk_logger::wlog(1, L"gui_finish_page_t::on_store(%s)", filter.c_str());
    if (extension.size() != 3 && extension.size() != 4)
        throw tk_mail_assertion(finish_file, 141);
    save_file_dialog dialog(owner, parse_filter(filter), L"Save Profile", L"", extension.c_str());
    if (!dialog.show())
        return;
    const std::wstring& path = dialog.get_path();
    const std::string narrow = tk_to_utf8(path);
    const bool created = create_private(narrow);
    if (store(path))
        return;
    if (created)
        ::unlink(narrow.c_str());
    wizard_shell::error(L"The settings could not be saved to " + path + L".");
}
