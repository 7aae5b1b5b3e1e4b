// The progress page: starts the conversion on the worker thread as it
// becomes active and, on every tick of the shell's timer, shows the bar and
// the status line; when the run is done it moves the wizard to the finish
// page. Cancel holds the run while it asks, then stops it and waits until it
// has ended, or lets it go on.
#pragma once

#include "GUI2/g_wiz_pg.hpp"
#include "TK/tk_threa.hpp"

#include <atomic>

class QLabel;
class QProgressBar;

inline constexpr uint32_t progress_page_id = 108;
inline constexpr uint32_t finish_page_id = 116;
inline constexpr uint32_t progress_help_topic = 1014;

class progress_page : public wizard_page<progress_page_id, wiz_back_next, psp_hashelp>, public tk_thread {
public:
    progress_page();
    ~progress_page() override;

    int page_init() override;
    void on_timer() override;
    void on_help() override;
    int on_cancel() override;

    // Asks a running conversion to stop and waits, events flowing, until it
    // has ended. Boxes of the run are answered at once from now on.
    void stop_and_wait();

    // The status line as the converter's progress gives it now.
    static QString status_text();

    // Once the run is done: a failure, or a worker that could not start,
    // ended it before its end (a stop or Abort the converter tells itself).
    bool ended_early() const { return started && run_result.load(std::memory_order_acquire) != 0; }
    // The failures reported since the run began.
    int errors_in_run() const;
    // The run was started.
    bool has_run() const { return started; }

protected:
    // The run of the registered converter, which catches whatever it raises.
    tk_thread_functor* create_functor() override;

private:
    void start_run();
    // The run is done: to the finish page.
    void show_finish();

    QLabel* caption_xls;
    QLabel* caption_csv;
    QLabel* status;
    QProgressBar* bar;
    bool stopping = false;
    bool asking = false;  // Cancel's question is open
    bool started = false;
    int errors_before = 0;
    // What the converter's run answered (0 to its end or stopped, 1 ended by
    // a failure); -1 until it has.
    std::atomic<int> run_result{-1};
};
