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

// Dialog 121. Accepted: get_mode() is the database mode of the checked
// choice (0 whole database, 1 existing tables, 2 skip, 3 merge).
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

