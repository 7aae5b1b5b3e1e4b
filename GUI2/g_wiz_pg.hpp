// The base of every wizard page: a page says whether it may be shown, where
// Next and Back lead, whether it may be left, finished or cancelled, and what
// its help is. The shell calls these on the window thread, each inside
// ui_guard.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>

// Page flags, as the pages are declared with them.
inline constexpr uint32_t psp_hashelp = 0x20;      // the Help button is shown
inline constexpr uint32_t psp_hideheader = 0x800;  // no header: the watermark stands beside the page

// Button sets a page asks for on activation.
inline constexpr int wiz_no_buttons = 0;
inline constexpr int wiz_next = 2;
inline constexpr int wiz_back_next = 3;
inline constexpr int wiz_finish = 4;

// Results of on_next and on_back besides a page id.
inline constexpr int wiz_order = 0;  // the next page in sheet order (Back: the page before)
inline constexpr int wiz_stay = -1;

class wizard_page_base : public QWidget {
public:
    wizard_page_base(uint32_t id, int buttons, uint32_t flags);
    ~wizard_page_base() override;

    uint32_t get_id() const { return id; }
    uint32_t get_flags() const { return flags; }
    void set_header(const QString& title, const QString& subtitle);
    const QString& get_header_title() const { return header_title; }
    const QString& get_header_subtitle() const { return header_subtitle; }

    // Sets the page's buttons, lets the shell finish its setup, then asks
    // page_init; false when the page is to be passed over.
    bool activate();

    // Nonzero: show the page.
    virtual int page_init() { return 1; }
    // Nonzero: the page may be left.
    virtual int on_kill_active() { return 1; }
    // Nonzero: the wizard may finish.
    virtual int on_finish() { return 1; }
    virtual void on_help() {}
    // A page id, wiz_order or wiz_stay.
    virtual int on_next() { return wiz_order; }
    virtual int on_back() { return wiz_order; }
    // Nonzero: the wizard may close. The base asks the user.
    virtual int on_cancel();
    // A tick of the shell's progress timer while the page is current.
    virtual void on_timer() {}

private:
    const uint32_t id;
    const int buttons;
    const uint32_t flags;
    QString header_title;
    QString header_subtitle;
};

// A page of dialog IDD with its button set and flags.
template <uint32_t IDD, int BUTTONS, uint32_t FLAGS>
class wizard_page : public wizard_page_base {
public:
    wizard_page() : wizard_page_base(IDD, BUTTONS, FLAGS) {}
};
