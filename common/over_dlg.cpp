#include "common/over_dlg.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
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

} // namespace

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
    choices[0]->setChecked(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help,
                                         this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, [help, help_topic] { help(help_topic); });
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
    auto* help_button = new QPushButton(QStringLiteral("Help"), this);
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
}
