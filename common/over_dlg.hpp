// The two questions about a destination that already exists: the database
// (overwrite it whole, only its existing tables, skip them, or merge) and one
// table (overwrite it or merge into it). Each dialog only records the answer;
// the conversion carries it out when it starts.
#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>

class QLabel;
class QPushButton;
class QRadioButton;

// Opens the help at a topic.
using help_opener = std::function<void(uint32_t topic)>;

// F1 anywhere in the dialog does what its Help button does.
void help_on_f1(QDialog& dialog, std::function<void()> help);

// Dialog 121. Accepted: get_mode() is the database mode of the checked
// choice (0 whole database, 1 existing tables, 2 skip, 3 merge). It opens on
// "Skip existing tables": nothing is dropped unless the user chose it.
class overwrite_dlg2 : public QDialog {
public:
    overwrite_dlg2(QWidget* owner, const std::wstring& title, const std::wstring& text, uint32_t help_topic,
                   help_opener help);
    uint32_t get_mode() const { return mode; }

    void accept() override;

    QRadioButton* choices[4];

private:
    uint32_t mode = 0;
};

// Dialog 120: exec() answers overwrite_dlg::overwrite, merge or cancel.
class overwrite_dlg : public QDialog {
public:
    static constexpr int overwrite = 1;
    static constexpr int merge = 1109;
    static constexpr int cancel = 2;

    overwrite_dlg(QWidget* owner, const std::wstring& title, uint32_t help_topic, const std::wstring& text,
                  help_opener help);
    // 0 until answered, 1 Overwrite, 2 Merge.
    uint32_t get_choice() const { return choice; }

    QPushButton* overwrite_button;
    QPushButton* merge_button;
    QPushButton* cancel_button;

private:
    uint32_t choice = 0;
};


// A box the query dialog shows: an error, or a message when false.
using box_teller = std::function<void(bool error, const std::wstring& text)>;

// The SELECT text without the blanks, tabs and line breaks before it; false
// when it does not begin with SELECT (case ignored). An empty text passes.
bool check_select(std::wstring& text);

// The help topic of the query dialog.
inline constexpr uint32_t query_help_topic = 1021;

// Dialog 128: a named SELECT query. OK keeps the dialog open until the name
// is given, not taken by another listed name, and the text is a SELECT.
class set_query_dlg : public QDialog {
public:
    struct services {
        box_teller tell;
        // True when a listed worksheet or query other than this one has the
        // name (case ignored).
        std::function<bool(const std::wstring&)> taken;
        help_opener help;
    };

    set_query_dlg(QWidget* owner, const std::wstring& name, const std::wstring& query, services services);

    void accept() override;
    void test_query();

    const std::wstring& get_name() const { return name; }
    const std::wstring& get_query() const { return query; }

    class QLineEdit* name_edit;
    class QPlainTextEdit* query_edit;
    QPushButton* test_button;

private:
    std::wstring name;
    std::wstring query;
    services with;
};
