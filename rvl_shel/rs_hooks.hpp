// What a run shows of itself in the wizard: the progress page polls the
// converter, so the progress lines only reach the log; notices and the
// worksheets not found join the finish page's list; a standard exception
// that ends the run gets an error box.
#pragma once

#include "rvl_conv/rvl_hook.hpp"

class wizard_hooks : public converter_hooks {
public:
    void progress_line(const std::wstring& line) override;
    void sheet_not_found(const std::wstring& name) override;
    // The progress page has started the timer on the window thread already.
    void start_timer() override {}
    void notice(const std::wstring& line) override;
    void report_std_exception(const std::exception& e) override;
};
