#include "common/over_dlg.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QString wide(const std::wstring& text) { return QString::fromStdWString(text); }

// The warning icon beside the text, as both dialogs show it.
QHBoxLayout* warning_row(QDialog& dialog, const std::wstring& text)
{
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel(&dialog);
    const int size = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    icon->setPixmap(dialog.style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(size, size));
    row->addWidget(icon, 0, Qt::AlignTop);
    auto* label = new QLabel(wide(text), &dialog);
    label->setObjectName(QStringLiteral("text"));
    row->addWidget(label, 1);
    return row;
}

void set_title(QDialog& dialog, const std::wstring& title)
{
    dialog.setWindowTitle(wide(title + L" Warning"));
}

// Sees F1 on its way up from the dialog's focused control.
class f1_filter : public QObject {
public:
    f1_filter(QDialog& dialog, std::function<void()> help_) : QObject(&dialog), help(std::move(help_)) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1)
            return QObject::eventFilter(watched, event);
        help();
        return true;
    }

private:
    std::function<void()> help;
};

} // namespace

void help_on_f1(QDialog& dialog, std::function<void()> help)
{
    dialog.installEventFilter(new f1_filter(dialog, std::move(help)));
}

overwrite_dlg2::overwrite_dlg2(QWidget* owner, const std::wstring& title, const std::wstring& text,
                               uint32_t help_topic, help_opener help)
    : QDialog(owner)
{
    tk_logger::log(1, "overwrite_dlg2::ctor");
    set_title(*this, title);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(warning_row(*this, text));
    const char* const labels[] = {"&Overwrite the entire database", "Overwrite existing &tables only",
                                  "&Skip existing tables", "&Merge"};
    for (int i = 0; i < 4; ++i) {
        choices[i] = new QRadioButton(QString::fromUtf8(labels[i]), this);
        choices[i]->setObjectName(QStringLiteral("mode%1").arg(i));
        layout->addWidget(choices[i]);
    }
    // Enter takes the checked choice: one that keeps every table there is.
    choices[2]->setChecked(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help,
                                         this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, [help, help_topic] { help(help_topic); });
    help_on_f1(*this, [help, help_topic] { help(help_topic); });
}

void overwrite_dlg2::accept()
{
    for (uint32_t i = 0; i < 4; ++i)
        if (choices[i]->isChecked()) {
            mode = i;
            QDialog::accept();
            return;
        }
    throw tk_mail_assertion("over_dlg", 156);
}

overwrite_dlg::overwrite_dlg(QWidget* owner, const std::wstring& title, uint32_t help_topic,
                             const std::wstring& text, help_opener help)
    : QDialog(owner)
{
    tk_logger::log(1, "overwrite_dlg::overwrite_dlg");
    set_title(*this, title);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(warning_row(*this, text));
    auto* row = new QHBoxLayout;
    cancel_button = new QPushButton(QStringLiteral("Cancel"), this);
    overwrite_button = new QPushButton(QStringLiteral("&Overwrite"), this);
    merge_button = new QPushButton(QStringLiteral("&Merge"), this);
    auto* help_button = new QPushButton(QStringLiteral("&Help"), this);
    for (QPushButton* b : {cancel_button, overwrite_button, merge_button, help_button})
        row->addWidget(b);
    cancel_button->setDefault(true);
    layout->addLayout(row);
    connect(cancel_button, &QPushButton::clicked, this, [this] { done(cancel); });
    connect(overwrite_button, &QPushButton::clicked, this, [this] {
        choice = 1;
        done(overwrite);
    });
    connect(merge_button, &QPushButton::clicked, this, [this] {
        choice = 2;
        done(merge);
    });
    connect(help_button, &QPushButton::clicked, this, [help, help_topic] { help(help_topic); });
    help_on_f1(*this, [help, help_topic] { help(help_topic); });
}

bool check_select(std::wstring& text)
{
    const size_t start = text.find_first_not_of(L"\t\n\r ");
    text = start == std::wstring::npos ? std::wstring() : text.substr(start);
    if (text.empty())
        return true;
    return QString::fromStdWString(text).startsWith(QStringLiteral("SELECT"), Qt::CaseInsensitive);
}

set_query_dlg::set_query_dlg(QWidget* owner, const std::wstring& name_, const std::wstring& query_,
                             services services_)
    : QDialog(owner),
      name_edit(new QLineEdit(wide(name_), this)),
      query_edit(new QPlainTextEdit(wide(query_), this)),
      test_button(new QPushButton(QStringLiteral("&Test query"), this)),
      name(name_),
      query(query_),
      with(std::move(services_))
{
    tk_logger::log(1, "set_query_dlg::on_init");
    // The wizard offers no way to add a query: the dialog only edits one of
    // a profile's.
    setWindowTitle(QStringLiteral("Edit Query"));
    name_edit->setObjectName(QStringLiteral("name"));
    query_edit->setObjectName(QStringLiteral("query"));
    auto* layout = new QFormLayout(this);
    layout->addRow(QStringLiteral("&Store as Table:"), name_edit);
    layout->addRow(QStringLiteral("&Query:"), query_edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help,
                                         this);
    buttons->addButton(test_button, QDialogButtonBox::ActionRole);
    layout->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, [this] { with.help(query_help_topic); });
    help_on_f1(*this, [this] { with.help(query_help_topic); });
    connect(test_button, &QPushButton::clicked, this, [this] { test_query(); });
}

void set_query_dlg::accept()
{
    tk_logger::log(1, "set_query_dlg::on_ok");
    const std::wstring new_name = name_edit->text().toStdWString();
    std::wstring text = query_edit->toPlainText().toStdWString();
    if (new_name.empty()) {
        with.tell(false, L"Table name is empty!");
        return;
    }
    if (with.taken(new_name)) {
        with.tell(true, L"The name " + new_name + L" is already listed: a query needs a name of its own.");
        return;
    }
    if (!check_select(text)) {
        with.tell(true, L"The query must start with SELECT.");
        return;
    }
    if (text.empty()) {
        with.tell(true, L"Query is empty!");
        return;
    }
    name = new_name;
    query = text;
    QDialog::accept();
}

void set_query_dlg::test_query()
{
    std::wstring text = query_edit->toPlainText().toStdWString();
    if (!check_select(text)) {
        with.tell(true, L"The query must start with SELECT.");
        return;
    }
    // Nothing runs a query: only worksheets reach the destination.
    with.tell(false, L"This query starts with SELECT, as a query must. It is not run or tested: queries are not "
                     L"converted, only worksheets reach the destination. A profile you save keeps it.");
}
