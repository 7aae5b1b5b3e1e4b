// What the wizard's frame tests share: a page whose answers the test sets,
// an error handler that records, and a shell with four such pages.
#pragma once

#include "GUI2/g_wiz_pg.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "fake_ui.hpp"
#include "rvl_conv/rvl_errh.hpp"
#include "rvl_conv/rvl_errt.hpp"

#include <QPushButton>
#include <QTest>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class test_page : public wizard_page_base {
public:
    explicit test_page(uint32_t id, int buttons = wiz_back_next, uint32_t flags = psp_hashelp)
        : wizard_page_base(id, buttons, flags)
    {
    }

    int page_init() override
    {
        ++inits;
        if (init_action)
            init_action();
        return init_result;
    }
    int on_kill_active() override { return kill_result; }
    int on_finish() override { return finish_result; }
    void on_help() override { ++helps; }
    int on_next() override
    {
        if (next_action)
            next_action();
        return next_result;
    }
    int on_back() override { return back_result; }
    void on_timer() override { ++ticks; }

    int init_result = 1, kill_result = 1, finish_result = 1, next_result = wiz_order, back_result = wiz_order;
    int inits = 0, helps = 0, ticks = 0;
    std::function<void()> next_action;
    std::function<void()> init_action;
};

class recording_handler : public error_handler {
public:
    struct report {
        std::string text;
        int level;
        bool no_abort;
    };
    recording_handler() : error_handler(dao_err_map_size, dao_err_map) {}
    void handle(const tk_exception& e, bool no_abort) override
    {
        reports.push_back({e.what(), e.get_level(), no_abort});
    }
    std::vector<report> reports;
};

inline void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

// A shell titled "T" over pages 1 to 4, or the pages the test gives.
struct shell_fixture {
    fake_ui port;
    recording_handler errors;
    std::vector<std::unique_ptr<test_page>> pages;
    wizard_shell shell{L"T"};

    explicit shell_fixture(int count = 4)
    {
        for (int id = 1; id <= count; ++id)
            add(std::make_unique<test_page>(id));
    }
    void add(std::unique_ptr<test_page> page)
    {
        shell.add_page(*page);
        pages.push_back(std::move(page));
    }
    test_page& page(uint32_t id) { return *pages.at(id - 1); }
    uint32_t current() const { return shell.current_page() != nullptr ? shell.current_page()->get_id() : 0; }
    void start()
    {
        ASSERT_TRUE(shell.start());
        shell.show();
    }
};
