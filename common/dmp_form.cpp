#include "common/dmp_form.hpp"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

template <class T>
T* named(T* widget, const char* name)
{
    widget->setObjectName(QString::fromUtf8(name));
    return widget;
}

// A group of two radios that exclude each other.
QGroupBox* pair_group(QWidget* parent, const char* title, QRadioButton* first, QRadioButton* second)
{
    auto* group = new QGroupBox(QString::fromUtf8(title), parent);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(first);
    layout->addWidget(second);
    auto* buttons = new QButtonGroup(group);
    buttons->addButton(first);
    buttons->addButton(second);
    return group;
}

} // namespace

dump_form::dump_form(QWidget* parent)
    : QWidget(parent),
      new_version(named(new QRadioButton(QStringLiteral("n&ew (4.1 or higher)"), this), "new_version")),
      old_version(named(new QRadioButton(QStringLiteral("&old (before 4.1)"), this), "old_version")),
      crlf(named(new QRadioButton(QStringLiteral("MS &Windows style (\\r\\n)"), this), "crlf")),
      lf(named(new QRadioButton(QStringLiteral("Uni&x style (\\n)"), this), "lf")),
      lock_write(named(new QCheckBox(QStringLiteral("&Add lock for write around 'INSERT' statements"), this),
                       "lock_write")),
      ins_db(named(new QCheckBox(QStringLiteral("Insert 'DROP/CREATE &DATABASE': loading the dump drops and "
                                                "recreates the database named after the file"),
                                 this),
                   "ins_db")),
      ins_tables(named(new QCheckBox(QStringLiteral("Insert 'CREATE &TABLE' statements"), this), "ins_tables")),
      ins_comments(named(new QCheckBox(QStringLiteral("Insert &comments"), this), "ins_comments"))
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("On this page you can specify how to format output MySQL dump file."), this));
    layout->addWidget(pair_group(this, " MySQL server version: ", new_version, old_version));
    layout->addWidget(pair_group(this, " Line breaks: ", crlf, lf));
    for (QCheckBox* box : {lock_write, ins_db, ins_tables, ins_comments})
        layout->addWidget(box);
    layout->addStretch();
    connect(ins_tables, &QCheckBox::toggled, this, [this] { follow_tables(); });
}

void dump_form::follow_tables() { ins_db->setEnabled(ins_tables->isChecked()); }
