#include "rvl_shel/rs_prog.hpp"

#include "GUI2/g_guard.hpp"
#include "GUI2/g_uiport.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_conv/rvl_errh.hpp"
#include "rvl_shel/rs_finish.hpp"
#include "rvl_shel/rs_form.hpp"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace {

const wchar_t interrupted[] = L"The conversion was interrupted.";

std::wstring dump_kept_in(const std::wstring& path)
{
    return L"The dump written so far is kept in " + full_path(path);
}

// What a stopped run left behind, and where.
std::wstring interrupted_text(const ravelin_converter& converter)
{
    std::wstring text = interrupted;
    if (const std::wstring table = table_in_hand(converter); !table.empty())
        text += L"\nIt stopped in table '" + table + L"' after " + std::to_wstring(converter.rows_done.load()) +
                L" rows.";
    if (!converter.destination_reached())
        text += L"\n" + nothing_written(converter);
    else if (converter.direct && !converter.kept_items().empty())
        // The table stopped in was being replaced: its replacement went.
        text += L"\nDatabase '" + converter.get_dest() +
                L"' keeps what was written before the stop: the tables converted before; the table it stopped in "
                L"was left as it was.";
    else if (converter.direct)
        text += L"\nDatabase '" + converter.get_dest() + L"' keeps what was written before the stop" +
                // A CSV file is one table: there is none before it.
                (converter.from_xls ? L": the tables converted before, and that table with its rows so far."
                                    : L": table '" + converter.csv_dest_table() + L"' with its rows so far.");
    else if (const std::wstring kept = converter.unfinished_dump(); !kept.empty())
        text += L"\n" + dump_kept_in(kept) + L": the statements written before the stop.";
    if (const std::wstring dropped = dropped_and_skipped(converter); !dropped.empty())
        text += L"\n" + dropped;
    return text;
}

// The worker's procedure: the converter's run, with nothing let out of the
// thread and the done flag set however it ends.
class wizard_run : public tk_thread_functor {
public:
    explicit wizard_run(std::atomic<int>& result_) : result(result_) {}

    uint32_t operator()() override
    {
        ravelin_converter& converter = tk_singleton<ravelin_converter>::instance();
        uint32_t answer = 1;
        try {
            answer = converter();
        } catch (const wizard_exit& e) {
            wizard_shell::end_program(e.code);
        } catch (...) {
            tk_logger::log(3, "The conversion ended by an unknown failure");
            wizard_shell::error(std::wstring(L"The conversion ended by an unknown failure."));
        }
        result.store(static_cast<int>(answer), std::memory_order_release);
        converter.done.store(true, std::memory_order_release);
        return answer;
    }

private:
    std::atomic<int>& result;
};

QLabel* caption(const char* text, QWidget* page)
{
    auto* label = new QLabel(QString::fromLatin1(text), page);
    label->setWordWrap(true);
    return label;
}

} // namespace

progress_page::progress_page()
    : tk_thread(true),
      caption_xls(caption("converting your MS Excel spreadsheet into MySQL data source.", this)),
      caption_csv(caption("converting your CSV file into MySQL data source.", this)), status(named(new QLabel(this), "status")),
      bar(new QProgressBar(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption("Database conversion is in progress. Please wait until wizard completes", this));
    layout->addWidget(caption_xls);
    layout->addWidget(caption_csv);
    layout->addSpacing(16);
    layout->addWidget(status);
    layout->addWidget(bar);
    layout->addStretch(1);
    bar->setRange(0, 100);
    status->setTextFormat(Qt::PlainText);
}

progress_page::~progress_page() { stop_and_wait(); }

tk_thread_functor* progress_page::create_functor() { return new wizard_run(run_result); }

int progress_page::page_init()
{
    tk_logger::log(1, "progress_page::page_init");
    const bool from_xls = tk_singleton<ravelin_converter>::instance().from_xls;
    caption_csv->setVisible(!from_xls);
    caption_xls->setVisible(from_xls);
    tk_logger::log(1, "wizard_page::show_ctrl(%d=%d)", from_xls ? 1325 : 1324, 0);
    wizard_shell::instance().set_buttons(wiz_no_buttons);
    bar->setValue(0);
    start_run();
    return 1;
}

void progress_page::start_run()
{
    wizard_shell& shell = wizard_shell::instance();
    // What the pages reported before is not the run's result.
    shell.clear_errors();
    errors_before = error_handler::instance().error_count();
    started = true;
    // The timer belongs to the window thread: a worker's timer would never fire.
    shell.set_timer(200);
    try {
        start();
    } catch (const tk_exception& e) {
        shell.kill_timer();
        error_handler::instance().handle(e, true);
        QMetaObject::invokeMethod(&shell, [&shell] { ui_guard([&shell] { shell.set_current_page(finish_page_id); }); },
                                  Qt::QueuedConnection);
    }
}

QString progress_page::status_text()
{
    const ravelin_converter& converter = tk_singleton<ravelin_converter>::instance();
    const QString source = QString::fromStdWString(converter.get_src());
    if (!converter.from_xls)
        return QStringLiteral("Processing file '%1', %2 rows done").arg(source).arg(converter.rows_done.load());
    const QString table = QString::fromStdWString(converter.get_cur_table());
    if (table.isEmpty())
        return QStringLiteral("Processing file '%1'").arg(source);
    const uint64_t total = converter.rows_total.load();
    if (total != 0)
        return QStringLiteral("Processing worksheet '%1' (row %2 of %3)")
            .arg(table)
            .arg(converter.rows_done.load())
            .arg(total);
    return QStringLiteral("Processing worksheet '%1', %2 rows done").arg(table).arg(converter.rows_done.load());
}

void progress_page::on_timer()
{
    // While Cancel asks, the page stays: the answer decides what follows.
    if (stopping || asking)
        return;
    ravelin_converter& converter = tk_singleton<ravelin_converter>::instance();
    bar->setValue(converter.get_progress());
    // A long path is cut in the middle on the page; the tooltip has it whole.
    const QString text = status_text();
    status->setText(status->fontMetrics().elidedText(text, Qt::ElideMiddle, std::max(status->width(), 100)));
    status->setToolTip(text);
    if (converter.done.load(std::memory_order_acquire))
        show_finish();
}

void progress_page::show_finish()
{
    wizard_shell& shell = wizard_shell::instance();
    shell.kill_timer();
    // A dump that did not go to its end keeps what was written under its
    // writing name; the finish page tells where.
    if (const std::wstring kept = tk_singleton<ravelin_converter>::instance().unfinished_dump(); !kept.empty())
        shell.add_error(tk_to_ansi(dump_kept_in(kept), tk_cp_thread_acp));
    shell.set_current_page(finish_page_id);
}

void progress_page::on_help() { wizard_shell::display_help(progress_help_topic); }

int progress_page::errors_in_run() const { return error_handler::instance().error_count() - errors_before; }

int progress_page::on_cancel()
{
    ravelin_converter& converter = tk_singleton<ravelin_converter>::instance();
    // Nothing more is written while the user decides.
    converter.request_pause(true);
    asking = true;
    const bool leave = wizard_shell::question(L"Do you want to stop the conversion and exit the wizard?\nWhat "
                                              L"was written so far stays where it is.");
    asking = false;
    if (leave)
        stop_and_wait();
    converter.request_pause(false);
    if (!leave)
        return 0;
    if (!converter.was_interrupted()) {
        // It ended by itself before the stop reached it: nothing was cut short.
        wizard_shell::message(L"The conversion ended before it could be stopped.");
        show_finish();
        return 0;
    }
    wizard_shell::message(interrupted_text(converter));
    return 1;
}

void progress_page::stop_and_wait()
{
    if (stopping)
        return;
    stopping = true;
    // The run's boxes are answered at once while the window thread waits.
    const bool was_closing = ui_closing();
    set_ui_closing(true);
    if (wizard_shell* shell = wizard_shell::try_instance())
        shell->kill_timer();
    if (ravelin_converter* converter = tk_singleton<ravelin_converter>::try_instance())
        converter->request_stop();
    while (is_running())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    set_ui_closing(was_closing);
}
