// The shell and the page framework on test pages: where Next and Back lead,
// the buttons each page gets, Cancel, help, the captions of the boxes, the
// progress timer, and that no exception leaves a page's step.
#include "GUI2/g_guard.hpp"
#include "gui_help.hpp"
#include "path_env.hpp"
#include "test_dir.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <QFrame>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include <unistd.h>

namespace {

struct navigation_case {
    const char* name;
    std::function<void(shell_fixture&)> setup;
    const char* clicks;                  // N next, B back
    std::vector<uint32_t> pages_after;   // the current page after each click
};

TEST(wizard_shell, next_and_back_lead_where_the_pages_say)
{
    const std::vector<navigation_case> cases = {
        {"next in order, back by history", [](shell_fixture&) {}, "NNBB", {2, 3, 2, 1}},
        {"a page that refuses is passed over both ways; any nonzero shows",
         [](shell_fixture& f) {
             f.page(2).init_result = 0;
             f.page(3).init_result = -1;
         },
         "NB", {3, 1}},
        {"a jump by id, and back to where it came from", [](shell_fixture& f) { f.page(1).next_result = 4; }, "NB",
         {4, 1}},
        {"stay", [](shell_fixture& f) { f.page(1).next_result = wiz_stay; }, "N", {1}},
        {"a page that may not be left", [](shell_fixture& f) { f.page(1).kill_result = 0; }, "N", {1}},
        {"back to an id forgets the pages after it", [](shell_fixture& f) { f.page(4).back_result = 2; }, "NNNBB",
         {2, 3, 4, 2, 1}},
        {"back stays", [](shell_fixture& f) { f.page(2).back_result = wiz_stay; }, "NB", {2, 2}},
        {"the last page refusing keeps the wizard where it was",
         [](shell_fixture& f) { f.page(4).init_result = 0; }, "NNN", {2, 3, 3}},
    };
    for (const navigation_case& c : cases) {
        SCOPED_TRACE(c.name);
        shell_fixture f;
        c.setup(f);
        f.start();
        ASSERT_EQ(f.current(), 1u);
        for (size_t i = 0; c.clicks[i] != 0; ++i) {
            click(f.shell.button(c.clicks[i] == 'N' ? wizard_button::next : wizard_button::back));
            EXPECT_EQ(f.current(), c.pages_after.at(i)) << "after click " << i + 1;
        }
    }
}

TEST(wizard_shell, back_without_history_goes_in_sheet_order)
{
    shell_fixture f;
    f.start();
    f.shell.set_current_page(3);
    click(f.shell.button(wizard_button::back));
    EXPECT_EQ(f.current(), 2u);
}

TEST(wizard_shell, each_page_gets_its_buttons_and_header)
{
    shell_fixture f(0);
    f.add(std::make_unique<test_page>(1, wiz_next, psp_hideheader | psp_hashelp));
    f.add(std::make_unique<test_page>(2, wiz_back_next, psp_hashelp));
    f.add(std::make_unique<test_page>(3, wiz_finish, psp_hideheader));
    f.page(2).set_header("Step 1 of 5", "Connect to MySQL server");
    f.start();
    struct expected {
        bool back, next_visible, next, finish_visible, help_visible;
        int rules;  // lines across the window: above the buttons, and under a header
    };
    const expected per_page[] = {{false, true, true, false, true, 1}, {true, true, true, false, true, 2},
                                 {false, false, false, true, false, 1}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i + 1);
        ASSERT_EQ(f.current(), static_cast<uint32_t>(i + 1));
        const expected& e = per_page[i];
        EXPECT_EQ(f.shell.button(wizard_button::back)->isEnabled(), e.back);
        EXPECT_EQ(f.shell.button(wizard_button::next)->isVisible(), e.next_visible);
        EXPECT_EQ(f.shell.button(wizard_button::next)->isEnabled(), e.next);
        EXPECT_EQ(f.shell.button(wizard_button::finish)->isVisible(), e.finish_visible);
        EXPECT_EQ(f.shell.button(wizard_button::help)->isVisible(), e.help_visible);
        const QList<QFrame*> frames = f.shell.findChildren<QFrame*>(Qt::FindDirectChildrenOnly);
        EXPECT_EQ(std::count_if(frames.begin(), frames.end(),
                                [](const QFrame* frame) {
                                    return frame->isVisible() && frame->frameShape() == QFrame::HLine;
                                }),
                  e.rules);
        if (i == 1) {
            EXPECT_NE(f.shell.findChild<QLabel*>(), nullptr);
            bool header_shown = false;
            for (const QLabel* label : f.shell.findChildren<QLabel*>())
                header_shown = header_shown || (label->isVisible() && label->text() == "Connect to MySQL server");
            EXPECT_TRUE(header_shown);
        }
        if (i < 2)
            click(f.shell.button(wizard_button::next));
    }
    click(f.shell.button(wizard_button::finish));
    EXPECT_FALSE(f.shell.isVisible());
    EXPECT_EQ(f.shell.result(), QDialog::Accepted);
}

TEST(wizard_shell, finish_waits_for_the_page)
{
    shell_fixture f(0);
    f.add(std::make_unique<test_page>(1, wiz_finish, psp_hideheader));
    f.page(1).finish_result = 0;
    f.start();
    click(f.shell.button(wizard_button::finish));
    EXPECT_TRUE(f.shell.isVisible());
}

TEST(wizard_shell, cancel_asks_with_no_as_the_default)
{
    shell_fixture f;
    f.start();
    click(f.shell.button(wizard_button::next));
    f.port.expect_box(box_kind::question, "Are you sure you want to exit the wizard?", false);
    click(f.shell.button(wizard_button::cancel));
    ASSERT_EQ(f.port.shown.size(), 1u);
    EXPECT_TRUE(f.port.shown[0].default_no);
    EXPECT_EQ(f.port.shown[0].caption, "T Question");
    EXPECT_TRUE(f.shell.isVisible());
    EXPECT_EQ(f.current(), 2u);
    // Esc asks the same.
    f.port.expect_box(box_kind::question, "Are you sure you want to exit the wizard?", true);
    QTest::keyClick(&f.shell, Qt::Key_Escape);
    EXPECT_FALSE(f.shell.isVisible());
    EXPECT_EQ(f.shell.result(), QDialog::Rejected);
}

TEST(wizard_shell, f1_and_the_help_button_ask_the_current_page)
{
    shell_fixture f;
    f.start();
    click(f.shell.button(wizard_button::next));
    QTest::keyClick(&f.shell, Qt::Key_F1);
    click(f.shell.button(wizard_button::help));
    EXPECT_EQ(f.page(2).helps, 2);
    EXPECT_EQ(f.page(1).helps, 0);
}

TEST(wizard_shell, help_opens_the_topic_page_or_says_it_is_missing)
{
    fake_ui port;
    const QString folder = QString::fromStdWString(wizard_shell::help_folder());
    ASSERT_FALSE(QDir(folder).exists()) << "a help folder next to the test program";
    port.expect_box(box_kind::error, "Help file does not exist. Reinstall the program.");
    wizard_shell::display_help(1010);
    EXPECT_TRUE(port.help_pages.empty());

    ASSERT_TRUE(QDir().mkpath(folder));
    for (const char* name : {"1010.html", "index.html"}) {
        QFile page(folder + "/" + name);
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    }
    wizard_shell::display_help(1010);
    wizard_shell::display_help();
    port.expect_box(box_kind::error, "Help file does not exist.");
    wizard_shell::display_help(1012);
    // No web browser: the page that could not be opened is named.
    port.help_opens = false;
    port.expect_box(box_kind::error, "The help page " + (folder + "/1010.html").toStdString() + " could not be opened.");
    wizard_shell::display_help(1010);
    QDir(folder).removeRecursively();
    const std::vector<std::string> expected = {(folder + "/1010.html").toStdString(),
                                               (folder + "/index.html").toStdString(),
                                               (folder + "/1010.html").toStdString()};
    EXPECT_EQ(port.help_pages, expected);
}

// Runs the window thread's events until `done` holds, or gives up after a
// while (a failing expectation then says what did not come).
template <class Done> void run_events_until(Done done)
{
    for (int i = 0; i < 1000 && !done(); ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// The program's own port opens a help page with the desktop's opener in a
// session of its own, so the browser outlives the wizard, and does not wait
// for it: the window goes on while the opener runs, and a failure (no
// opener, no browser) is told once the opener ends.
TEST(wizard_shell, the_desktop_opener_runs_apart_and_its_failure_is_told_when_it_ends)
{
    test_dir dir;
    const path_env path(dir.path().string());
    const QString page = QStringLiteral("/nowhere/1010.html");
    int failures = 0;
    ui().open_help(page, [&failures] { ++failures; });
    EXPECT_EQ(failures, 1) << "no opener";
    test_dir::write(dir.file("xdg-open"), "#!/bin/sh\nPATH=/usr/bin:/bin\ncd '" + dir.path().string() +
                                              "'\ncut -d' ' -f6 /proc/$$/stat > sid.tmp && mv sid.tmp sid\n"
                                              "while [ ! -e go ]; do sleep 0.01; done\nexit $(cat go)\n");
    std::filesystem::permissions(dir.file("xdg-open"), std::filesystem::perms::owner_all);
    for (const int code : {3, 0}) {
        SCOPED_TRACE(code);
        std::filesystem::remove(dir.file("go"));
        std::filesystem::remove(dir.file("sid"));
        failures = 0;
        ui().open_help(page, [&failures] { ++failures; });
        run_events_until([&] { return std::filesystem::exists(dir.file("sid")); });
        std::ifstream sid_file(dir.file("sid"));
        pid_t session = 0;
        sid_file >> session;
        EXPECT_NE(session, 0);
        EXPECT_NE(session, ::getsid(0));
        EXPECT_EQ(failures, 0) << "nothing is known while the opener runs";
        test_dir::write(dir.file("go"), std::to_string(code));
        // The port's watch ends with the opener.
        run_events_until([] { return QCoreApplication::instance()->findChildren<QTimer*>().isEmpty(); });
        EXPECT_EQ(failures, code != 0 ? 1 : 0);
    }
}

// A title that ends in a blank gives captions of single blanks.
TEST(wizard_shell, captions_have_one_blank_between_title_and_word)
{
    fake_ui port;
    wizard_shell shell(L"Tessaline 7.1 ");
    port.expect_box(box_kind::error, "x");
    wizard_shell::error(std::string("x"));
    ASSERT_EQ(port.shown.size(), 1u);
    EXPECT_EQ(port.shown[0].caption, "Tessaline 7.1 Error");
}

TEST(wizard_shell, boxes_carry_the_title_from_the_start_and_the_owner_once_shown)
{
    fake_ui port;
    port.expect_box(box_kind::error, "before");
    wizard_shell::error(std::wstring(L"before"));
    {
        shell_fixture f;
        f.port.expect_box(box_kind::error, "not shown yet");
        wizard_shell::error(std::string("not shown yet"));
        f.start();
        f.port.expect_box(box_kind::error, "shown");
        f.port.expect_box(box_kind::message, "note");
        f.port.expect_box(box_kind::question, "sure?", true);
        wizard_shell::error(std::wstring(L"shown"));
        wizard_shell::message(L"note");
        EXPECT_TRUE(wizard_shell::question(L"sure?"));
        ASSERT_EQ(f.port.shown.size(), 4u);
        EXPECT_EQ(f.port.shown[0].caption, "T Error");  // a profile's failure before any page
        EXPECT_EQ(f.port.shown[0].owner, nullptr);
        EXPECT_EQ(f.port.shown[1].caption, "T Error");
        EXPECT_EQ(f.port.shown[1].owner, &f.shell);
        EXPECT_EQ(f.port.shown[2].caption, "T Message");
        EXPECT_EQ(f.port.shown[3].caption, "T Question");
    }
    ASSERT_EQ(port.shown.size(), 1u);
    EXPECT_EQ(port.shown[0].caption, "Error");
    EXPECT_EQ(port.shown[0].owner, nullptr);
}

TEST(wizard_shell, boxes_from_a_worker_run_on_the_window_thread)
{
    shell_fixture f;
    f.start();
    f.port.expect_box(box_kind::question, "from the worker", true);
    bool answer = false;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        answer = wizard_shell::question(L"from the worker");
        finished = true;
    });
    while (!finished)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    worker.join();
    EXPECT_TRUE(answer);
    // Once the wizard closes, a worker's box is answered at once.
    set_ui_closing(true);
    std::thread late([&] { answer = wizard_shell::question(L"too late"); });
    late.join();
    set_ui_closing(false);
    EXPECT_FALSE(answer);
}

TEST(wizard_shell, the_timer_ticks_the_current_page_and_starts_once)
{
    shell_fixture f;
    f.start();
    f.shell.set_timer(10);
    EXPECT_THROW(
        {
            try {
                f.shell.set_timer(200);
            } catch (const tk_mail_assertion& e) {
                EXPECT_EQ(e.get_level(), 2);
                throw;
            }
        },
        tk_mail_assertion);
    QTest::qWait(100);
    EXPECT_GT(f.page(1).ticks, 0);
    EXPECT_EQ(f.page(2).ticks, 0);
    f.shell.kill_timer();
    f.shell.kill_timer();
    EXPECT_FALSE(f.shell.timer_running());
    const int ticks = f.page(1).ticks;
    QTest::qWait(50);
    EXPECT_EQ(f.page(1).ticks, ticks);
}

TEST(wizard_shell, a_failing_step_is_reported_and_the_page_stays)
{
    shell_fixture f;
    f.start();
    f.page(1).next_action = [] { throw std::runtime_error("boom"); };
    f.port.expect_box(box_kind::error, "boom");
    click(f.shell.button(wizard_button::next));
    EXPECT_EQ(f.current(), 1u);

    f.page(1).next_action = [] { throw tk_exception("no server", 1); };
    click(f.shell.button(wizard_button::next));
    EXPECT_EQ(f.current(), 1u);
    ASSERT_EQ(f.errors.reports.size(), 1u);
    EXPECT_EQ(f.errors.reports[0].text, "no server");
    EXPECT_TRUE(f.errors.reports[0].no_abort);

    // The user's Abort ends the step quietly.
    f.page(1).next_action = [] { throw tk_final_exception(); };
    click(f.shell.button(wizard_button::next));
    EXPECT_EQ(f.current(), 1u);
    EXPECT_EQ(f.errors.reports.size(), 1u);
}

TEST(wizard_shell, an_internal_error_ends_the_wizard_with_its_code)
{
    {
        shell_fixture f;
        f.page(2).next_action = [] { throw wizard_exit{wizard_failure}; };
        QTimer::singleShot(0, [&] { click(f.shell.button(wizard_button::next)); });
        QTimer::singleShot(10, [&] { click(f.shell.button(wizard_button::next)); });
        EXPECT_EQ(f.shell.run(), wizard_failure);
        EXPECT_TRUE(ui_closing());
        set_ui_closing(false);
    }
    // Ended while its first page was being shown: no modal run at all.
    shell_fixture early;
    early.page(1).init_action = [] { throw wizard_exit{wizard_failure}; };
    EXPECT_EQ(early.shell.run(), wizard_failure);
    set_ui_closing(false);
}

TEST(wizard_shell, the_error_list_keeps_twenty_and_counts_the_rest)
{
    shell_fixture f;
    for (int i = 1; i <= 23; ++i)
        f.shell.add_error("message " + std::to_string(i));
    const std::vector<std::string> kept = f.shell.get_errors();
    ASSERT_EQ(kept.size(), wizard_shell::max_errors);
    EXPECT_EQ(kept.back(), "message 20");
    EXPECT_EQ(f.shell.error_total(), 23u);
}

} // namespace
