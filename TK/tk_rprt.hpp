// Where the back ends report the failure of one item (a foreign key, a view)
// and go on with the next: the conversion's error handler, which stands above
// them, implements it. The first reporter built is the one reached, as with
// the singletons.
#pragma once

#include "TK/tk_excep.hpp"

#include <string>

class tk_reporter {
public:
    tk_reporter(const tk_reporter&) = delete;
    tk_reporter& operator=(const tk_reporter&) = delete;

    // The name of the item that the next reports are about.
    virtual void set_context(const std::wstring& name) = 0;
    // Reports the failure by its level; no_abort: a level-0 report may not
    // end the run. Raises tk_final_exception when the user chose to abort.
    virtual void handle(const tk_exception& e, bool no_abort) = 0;

    // The registered reporter; an internal error when there is none.
    static tk_reporter& current();

protected:
    tk_reporter();
    virtual ~tk_reporter();
};
