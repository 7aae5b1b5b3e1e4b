// The wizard's error handler: what each level shows, the message it builds,
// what the continue dialog's answers do, the finish page's list, from the
// window thread and from a worker; the internal-error dialog and the end of
// the program with 255.
#include "GUI2/g_guard.hpp"
#include "GUI2/g_wiz_pg.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "fake_ui.hpp"
#include "platform/mail/pl_mail.hpp"
#include "rvl_shel/rs_dlg.hpp"
#include "rvl_shel/rs_errh.hpp"
#include "rvl_shel/rs_start.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <exception>
#include <thread>

namespace {

// A failure with the code the tables know it by.
class coded : public tk_exception {
public:
    coded(const std::string& text, int level, uint32_t code_) : tk_exception(text, level) { code = code_; }
};

const char access_denied[] = "Sheet1: Access denied. Verify the user name and password are correct, and you have "
                             "the necessary privileges to connect to the target MySQL server.";

// Runs the report on a worker thread, events flowing, as the run does.
void handle_on_worker(error_handler& errors, const tk_exception& e, bool no_abort)
{
    std::exception_ptr failure;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        try {
            errors.handle(e, no_abort);
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
    });
    while (!finished)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
}

QPushButton* button_of(QDialog& dialog, const QString& text)
{
    for (QPushButton* b : dialog.findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    ADD_FAILURE() << "no button " << text.toStdString();
    return nullptr;
}

struct report_case {
    const char* name;
    int level;
    const char* context;
    uint32_t code;
    bool quiet_before;
    bool no_abort;
    int answer;       // the continue dialog's button, 0: no dialog expected
    bool tick;        // "Do not show this dialog box again"
    bool box;         // an error box expected (level 1)
    bool aborts;      // tk_final_exception
    bool quiet_after;
    const char* listed;
};

const report_case report_cases[] = {
    {"level 0, a known code, with context", 0, "Sheet1", 0x400415, false, false, dlg_continue, false, false, false,
     false, access_denied},
    {"level 0, an unknown code, no context", 0, "", 0x123, false, false, dlg_continue, false, false, false, false,
     "own text"},
    {"level 0 without a code", 0, "", 0, false, false, dlg_continue, false, false, false, false, "own text"},
    {"Abort where the caller allows it, tick left as it was", 0, "", 0, false, false, dlg_abort, true, false, true,
     false, "own text"},
    {"Abort acts as Continue with no_abort, the tick taken over", 0, "", 0, false, true, dlg_abort, true, false,
     false, true, "own text"},
    {"Continue with the tick", 0, "", 0, false, false, dlg_continue, true, false, false, true, "own text"},
    {"quiet level 0: no dialog, still listed", 0, "Sheet1", 0x400415, true, false, 0, false, false, false, true,
     access_denied},
    {"level 1: an error box", 1, "Sheet1", 0x400415, false, true, 0, false, true, false, false, access_denied},
    {"quiet level 1: no box, still listed", 1, "", 0, true, true, 0, false, false, false, true, "own text"},
};

void run_case(const report_case& c, bool on_worker)
{
    fake_ui port;
    wizard_error_handler errors;
    wizard_shell shell(L"T");
    wizard_page<1, wiz_next, 0> page;
    shell.add_page(page);
    ASSERT_TRUE(shell.start());
    errors.set_context(tk_to_unicode(c.context));
    errors.set_quiet(c.quiet_before);
    std::string dialog_text, caption;
    if (c.answer != 0)
        port.expect_dialog([&](QDialog& d) {
            auto& dialog = dynamic_cast<dlg_error_continue&>(d);
            dialog_text = dialog.findChild<QLabel*>("text")->text().toStdString();
            caption = dialog.windowTitle().toStdString();
            if (c.tick)
                QTest::mouseClick(dialog.dont_show_box, Qt::LeftButton);
            QTest::mouseClick(button_of(dialog, c.answer == dlg_abort ? "Abort" : "Continue"), Qt::LeftButton);
            return dialog.result();
        });
    if (c.box)
        port.expect_box(box_kind::error, c.listed);
    const coded e("own text", c.level, c.code);
    bool aborted = false;
    try {
        if (on_worker)
            handle_on_worker(errors, e, c.no_abort);
        else
            errors.handle(e, c.no_abort);
    } catch (const tk_final_exception&) {
        aborted = true;
    }
    EXPECT_EQ(aborted, c.aborts);
    EXPECT_EQ(errors.is_quiet(), c.quiet_after);
    // Where the table's friendly text stands for the failure, the finish
    // page keeps the failure's own words too.
    const std::string own_words = std::string(c.listed) == access_denied ? " Cause: own text" : "";
    EXPECT_EQ(shell.get_errors(), std::vector<std::string>{c.listed + own_words});
    EXPECT_EQ(errors.error_count(), 1);
    if (c.answer != 0) {
        EXPECT_EQ(dialog_text, c.listed);
        EXPECT_EQ(caption, "T Error");
    }
    if (c.box) {
        EXPECT_EQ(port.shown.at(0).caption, "T Error");
    }
}

TEST(wizard_error_handler, reports_each_level_as_the_table_says)
{
    for (const bool on_worker : {false, true})
        for (const report_case& c : report_cases) {
            SCOPED_TRACE(std::string(c.name) + (on_worker ? " (worker)" : " (window thread)"));
            run_case(c, on_worker);
        }
}

TEST(wizard_error_handler, the_21st_message_is_shown_but_not_listed)
{
    fake_ui port;
    wizard_error_handler errors;
    wizard_shell shell(L"T");
    wizard_page<1, wiz_next, 0> page;
    shell.add_page(page);
    ASSERT_TRUE(shell.start());
    for (int i = 1; i <= 21; ++i) {
        port.expect_dialog([](QDialog&) { return dlg_continue; });
        errors.handle(tk_exception("failure " + std::to_string(i), 0), false);
    }
    EXPECT_EQ(shell.get_errors().size(), 20u);
    EXPECT_EQ(shell.get_errors().back(), "failure 20");
    EXPECT_EQ(shell.error_total(), 20u + 1u);
}

TEST(wizard_error_handler, before_the_wizard_is_shown_nothing_is_listed)
{
    fake_ui port;
    wizard_error_handler errors;
    port.expect_box(box_kind::error, "no server");
    errors.handle(tk_exception("no server", 1), true);
    ASSERT_EQ(port.shown.size(), 1u);
    EXPECT_EQ(port.shown[0].caption, "Error");
}

TEST(wizard_error_handler, an_internal_error_is_shown_even_when_quiet_and_copied_on_request)
{
    install_window_services();
    fake_ui port;
    wizard_error_handler errors;
    errors.set_quiet(true);
    std::string caption;
    port.expect_dialog([&](QDialog& d) {
        caption = d.windowTitle().toStdString();
        QTest::mouseClick(button_of(d, "Copy to clipboard"), Qt::LeftButton);
        return d.result();
    });
    try {
        errors.handle(tk_mail_assertion("g_wiz_sh", 281), true);
        ADD_FAILURE() << "an internal error must end the program";
    } catch (const wizard_exit& e) {
        EXPECT_EQ(e.code, 255);
    }
    EXPECT_EQ(caption, "Error");
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), tk_mail_assertion("g_wiz_sh", 281).what());
}

// Writes the report where the death test's parent can read it.
int mail_to_stderr(const platform::mail_message& m)
{
    std::fprintf(stderr, "mailed [%s] to [%s]\n", m.subject.c_str(), m.recipient.c_str());
    return 0;
}

// An internal error on the worker, with "Send bug": the worker unwinds, the
// wizard ends, the program's code is 255.
int internal_error_on_worker()
{
    platform::set_mail_sender(mail_to_stderr);
    fake_ui port;
    wizard_error_handler errors;
    wizard_shell shell(L"Tessaline 7.1");
    wizard_page<1, wiz_next, 0> page;
    shell.add_page(page);
    port.expect_dialog([](QDialog& d) {
        QTest::mouseClick(button_of(d, "Send bug"), Qt::LeftButton);
        return d.result();
    });
    std::thread worker;
    QTimer::singleShot(0, [&] {
        worker = std::thread([&] {
            try {
                errors.handle(tk_mail_assertion("rvl_conv", 7), false);
            } catch (const wizard_exit& e) {
                wizard_shell::end_program(e.code);
            }
        });
    });
    const int code = shell.run();
    worker.join();
    return code;
}

TEST(wizard_error_handlerDeathTest, an_internal_error_ends_the_program_with_255)
{
    EXPECT_EXIT(std::exit(internal_error_on_worker()), testing::ExitedWithCode(255),
                "mailed \\[Bug report on Tessaline 7.1\\] to \\[tessaline-support@example.invalid\\]");
}

} // namespace
