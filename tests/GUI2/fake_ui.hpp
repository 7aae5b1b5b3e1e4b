// A scripted ui_port: each box, file dialog and dialog the code under test
// shows must have been announced with its answer; any other one fails the
// test (and answers No, cancel, Continue).
#pragma once

#include "GUI2/g_uiport.hpp"

#include <QDialog>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

class fake_ui : public ui_port {
public:
    struct seen_box {
        box_kind kind;
        QWidget* owner;
        std::string caption;
        std::string text;
        bool default_no;
    };

    fake_ui() { set_ui_port(this); }
    ~fake_ui() override
    {
        set_ui_port(nullptr);
        EXPECT_TRUE(boxes.empty()) << boxes.size() << " announced boxes were not shown, first: "
                                   << (boxes.empty() ? std::string() : boxes.front().text_part);
        EXPECT_TRUE(files.empty()) << "announced file dialogs were not shown";
        EXPECT_TRUE(dialogs.empty()) << "announced dialogs were not shown";
    }

    // The next box: its kind, a part of its text, the answer to a question;
    // `during` runs while the box is open, before it answers.
    void expect_box(box_kind kind, const std::string& text_part, bool answer = false,
                    std::function<void()> during = {})
    {
        boxes.push_back({kind, text_part, answer, std::move(during)});
    }
    // The next file dialog answers path (empty: cancelled).
    void expect_file(const QString& path) { files.push_back(path); }
    // The next dialog of the program's own: the action answers its result.
    void expect_dialog(std::function<int(QDialog&)> action) { dialogs.push_back(std::move(action)); }

    bool box(box_kind kind, QWidget* owner, const QString& caption, const QString& text, bool default_no) override
    {
        shown.push_back({kind, owner, caption.toStdString(), text.toStdString(), default_no});
        if (boxes.empty()) {
            ADD_FAILURE() << "unexpected box: " << caption.toStdString() << ": " << text.toStdString();
            return false;
        }
        const expected_box next = boxes.front();
        boxes.pop_front();
        EXPECT_EQ(next.kind, kind) << text.toStdString();
        EXPECT_NE(text.toStdString().find(next.text_part), std::string::npos)
            << "box \"" << text.toStdString() << "\" lacks \"" << next.text_part << "\"";
        if (next.during)
            next.during();
        return next.answer;
    }

    QString file(const file_request& request) override
    {
        requests.push_back(request);
        if (files.empty()) {
            ADD_FAILURE() << "unexpected file dialog: " << request.title.toStdString();
            return {};
        }
        const QString next = files.front();
        files.pop_front();
        return next;
    }

    void open_help(const QString& path, std::function<void()> failed) override
    {
        help_pages.push_back(path.toStdString());
        if (!help_opens)
            failed();
    }

    void beep() override { ++beeps; }

    int exec(QDialog& dialog) override
    {
        if (dialogs.empty()) {
            ADD_FAILURE() << "unexpected dialog: " << dialog.windowTitle().toStdString();
            return 0;
        }
        const auto action = dialogs.front();
        dialogs.pop_front();
        return action(dialog);
    }

    std::vector<seen_box> shown;
    std::vector<file_request> requests;
    std::vector<std::string> help_pages;
    bool help_opens = true;  // false: as without a web browser
    int beeps = 0;

private:
    struct expected_box {
        box_kind kind;
        std::string text_part;
        bool answer;
        std::function<void()> during;
    };
    std::deque<expected_box> boxes;
    std::deque<QString> files;
    std::deque<std::function<int(QDialog&)>> dialogs;
};
