// The wizard's window: a header with the page's title and subtitle, the
// watermark beside the pages without a header, the page stack, and the Help,
// Back, Next or Finish, and Cancel buttons. It is also the program's one hub
// for what no single page owns: message boxes, help, the progress timer and
// the list of error messages that the finish page shows.
//
// Back returns along the pages the user came by; Next asks the page where to
// go (a page id, the next page in order, or stay). A page that refuses to be
// shown is passed over in the direction of travel.
#pragma once

#include "TK/tk_singl.hpp"

#include <QDialog>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QStackedWidget;
class QWidget;
class wizard_page_base;

// The sheet's buttons, as the pages name them.
enum class wizard_button { back, next, finish, cancel, help };

class wizard_shell : public QDialog, public tk_singleton<wizard_shell> {
public:
    // Messages the finish page lists; later ones are only counted.
    static constexpr size_t max_errors = 20;

    explicit wizard_shell(const std::wstring& title);
    ~wizard_shell() override;

    // Pages in sheet order; not owned, they outlive the shell's run.
    void add_page(wizard_page_base& page);
    // Shows the first page that accepts; false when none does.
    bool start();
    // start(), then the wizard runs modally; the dialog's result, or the
    // code the wizard was ended with.
    int run();
    // Moves to the page with that id (no history entry, no leave check).
    void set_current_page(uint32_t id);
    wizard_page_base* current_page() const;

    // 0 none, 2 Next, 3 Back and Next, 4 Finish (Next turns into Finish).
    void set_buttons(int buttons);
    void enable_button(wizard_button which, bool enable);
    QPushButton* button(wizard_button which) const;

    // Title, icon and position, once, at the first page activation.
    void initialize_if();
    // True once the shell exists and has shown a page; any thread.
    static bool is_initialized();
    const std::wstring& get_title() const { return title; }

    // The three boxes. Captions carry the title once the wizard is shown;
    // before, the bare word. Any thread; while closing no box is shown.
    static void error(const std::string& text);
    static void error(const std::wstring& text);
    static void message(const std::wstring& text);
    // No is the default button. True for Yes.
    static bool question(const std::wstring& text);

    // <program folder>/ravelin.help/<topic>.html, index.html without one.
    static void display_help(uint32_t topic);
    static void display_help();
    static std::wstring help_folder();

    // The progress timer on the window thread: every ms the current page's
    // on_timer. A second start without a stop is an internal error.
    void set_timer(uint32_t ms);
    void kill_timer();
    bool timer_running() const { return timer.isActive(); }

    // The error list: any thread.
    void add_error(const std::string& message);
    std::vector<std::string> get_errors() const;
    // How many were added, those not kept included.
    size_t error_total() const;
    // A run begins: what the pages reported before is not its result.
    void clear_errors();

    // Ends the wizard with the code (after an internal error); the program
    // then closes. Without a shell nothing happens.
    static void end_program(int code);

    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void build_layout();
    void go_next();
    void go_back();
    void go_finish();
    // Activates the page at index, passing over pages that refuse, in the
    // given direction; false when none accepted.
    bool show_index(int index, int step);
    int index_of(uint32_t id) const;
    void update_header(const wizard_page_base& page);

    const std::wstring title;
    std::vector<wizard_page_base*> pages;
    std::vector<int> history;
    int current = -1;
    std::optional<int> ended_with;  // the code end_program gave
    std::atomic<bool> initialized{false};
    QTimer timer;

    QLabel* header_title = nullptr;
    QLabel* header_subtitle = nullptr;
    QWidget* header = nullptr;
    QWidget* header_rule = nullptr;  // under the header, and gone with it
    QWidget* watermark = nullptr;
    QStackedWidget* stack = nullptr;
    QPushButton* help_button = nullptr;
    QPushButton* back_button = nullptr;
    QPushButton* next_button = nullptr;
    QPushButton* finish_button = nullptr;
    QPushButton* cancel_button = nullptr;

    mutable std::mutex errors_mutex;
    std::vector<std::string> errors;
    size_t errors_added = 0;
};
