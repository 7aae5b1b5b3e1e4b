#include "GUI2/g_wiz_sh.hpp"

#include "GUI2/g_guard.hpp"
#include "GUI2/g_images.hpp"
#include "GUI2/g_uiport.hpp"
#include "GUI2/g_wiz_pg.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"

#include <QApplication>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The wizard never gets smaller, whatever its pages take.
constexpr QSize smallest_size(640, 440);

constexpr const char wiz_sh_file[] = "g_wiz_sh";

// Every page fits at first, whichever pages the wizard has (a saved
// conversion shows only the last two).
constexpr QSize initial_size(800, 520);

// The watermark fills the height beside the page, as the window grows.
class watermark_panel : public QWidget {
public:
    explicit watermark_panel(QWidget* parent) : QWidget(parent)
    {
        setFixedWidth(wizard_watermark_width);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.drawPixmap(0, 0, wizard_watermark(height()));
    }
};

QFrame* rule(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// Shows one box on the window thread; the answer of a question.
bool show_box(box_kind kind, const char* suffix, const std::wstring& text)
{
    bool answer = false;
    if (ui_closing())
        return answer;
    on_window_thread([&] {
        if (ui_closing())
            return;
        // The title names the program from the start; the window owns the
        // box once it is shown.
        wizard_shell* titled = wizard_shell::try_instance();
        wizard_shell* shell = wizard_shell::is_initialized() ? titled : nullptr;
        const QString word = QString::fromLatin1(suffix);
        const QString caption =
            titled != nullptr ? QString::fromStdWString(titled->get_title()) + QLatin1Char(' ') + word : word;
        answer = ui().box(kind, shell, caption, QString::fromStdWString(text), kind == box_kind::question);
    });
    return answer;
}

} // namespace

// The program's title may end in a blank; captions add their own.
wizard_shell::wizard_shell(const std::wstring& title_) : title(tk_wrtrim(title_))
{
    tk_logger::wlog(1, L"wizard_shell::ctor(%s)", title.c_str());
    build_layout();
    connect(&timer, &QTimer::timeout, this, [this] {
        ui_guard([this] {
            if (wizard_page_base* page = current_page())
                page->on_timer();
        });
    });
}

wizard_shell::~wizard_shell()
{
    tk_logger::log(1, "wizard_shell::dtor");
    initialized = false;
    timer.stop();
    // The pages are not ours: they leave the stack before they are destroyed.
    for (wizard_page_base* page : pages)
        page->setParent(nullptr);
}

void wizard_shell::build_layout()
{
    header = new QWidget(this);
    header->setAutoFillBackground(true);
    QPalette palette = header->palette();
    palette.setColor(QPalette::Window, Qt::white);
    header->setPalette(palette);
    header_title = new QLabel(header);
    QFont bold = header_title->font();
    bold.setBold(true);
    header_title->setFont(bold);
    header_subtitle = new QLabel(header);
    header_subtitle->setIndent(16);
    auto* header_picture = new QLabel(header);
    header_picture->setPixmap(wizard_header_image());
    auto* texts = new QVBoxLayout;
    texts->addWidget(header_title);
    texts->addWidget(header_subtitle);
    auto* header_row = new QHBoxLayout(header);
    header_row->addLayout(texts, 1);
    header_row->addWidget(header_picture);

    watermark = new watermark_panel(this);
    stack = new QStackedWidget(this);
    auto* body = new QHBoxLayout;
    body->addWidget(watermark);
    body->addWidget(stack, 1);

    help_button = new QPushButton(tr("&Help"), this);
    back_button = new QPushButton(tr("< &Back"), this);
    next_button = new QPushButton(tr("&Next >"), this);
    finish_button = new QPushButton(tr("Finish"), this);
    cancel_button = new QPushButton(tr("Cancel"), this);
    for (QPushButton* b : {help_button, back_button, next_button, finish_button, cancel_button})
        b->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(help_button);
    buttons->addStretch(1);
    buttons->addWidget(back_button);
    buttons->addWidget(next_button);
    buttons->addWidget(finish_button);
    buttons->addSpacing(8);
    buttons->addWidget(cancel_button);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 8);
    header_rule = rule(this);
    layout->addWidget(header);
    layout->addWidget(header_rule);
    layout->addLayout(body, 1);
    layout->addWidget(rule(this));
    auto* button_margin = new QHBoxLayout;
    button_margin->setContentsMargins(8, 0, 8, 0);
    button_margin->addLayout(buttons);
    layout->addLayout(button_margin);

    connect(help_button, &QPushButton::clicked, this, [this] {
        ui_guard([this] {
            if (wizard_page_base* page = current_page())
                page->on_help();
        });
    });
    connect(back_button, &QPushButton::clicked, this, [this] { go_back(); });
    connect(next_button, &QPushButton::clicked, this, [this] { go_next(); });
    connect(finish_button, &QPushButton::clicked, this, [this] { go_finish(); });
    connect(cancel_button, &QPushButton::clicked, this, [this] { reject(); });
    setMinimumSize(smallest_size);
}

void wizard_shell::add_page(wizard_page_base& page)
{
    pages.push_back(&page);
    stack->addWidget(&page);
}

bool wizard_shell::start() { return show_index(0, 1); }

int wizard_shell::run()
{
    if (!start())
        return QDialog::Rejected;
    // Ended while the first page was being shown: no modal run.
    if (ended_with)
        return *ended_with;
    return exec();
}

wizard_page_base* wizard_shell::current_page() const
{
    return current >= 0 && current < static_cast<int>(pages.size()) ? pages[current] : nullptr;
}

int wizard_shell::index_of(uint32_t id) const
{
    const auto found =
        std::find_if(pages.begin(), pages.end(), [id](const wizard_page_base* p) { return p->get_id() == id; });
    if (found == pages.end())
        throw tk_mail_assertion(wiz_sh_file, 310);
    return static_cast<int>(found - pages.begin());
}

void wizard_shell::update_header(const wizard_page_base& page)
{
    const bool no_header = (page.get_flags() & psp_hideheader) != 0;
    header->setVisible(!no_header);
    header_rule->setVisible(!no_header);
    watermark->setVisible(no_header);
    header_title->setText(page.get_header_title());
    header_subtitle->setText(page.get_header_subtitle());
    help_button->setVisible((page.get_flags() & psp_hashelp) != 0);
    help_button->setEnabled(true);
    cancel_button->setEnabled(true);
    // The header comes and goes: no page is squeezed below what its rows
    // need, under a header or not.
    layout()->invalidate();
    setMinimumSize(smallest_size.expandedTo(layout()->minimumSize()));
}

bool wizard_shell::show_index(int index, int step)
{
    for (; index >= 0 && index < static_cast<int>(pages.size()); index += step) {
        wizard_page_base* page = pages[index];
        current = index;
        stack->setCurrentWidget(page);
        update_header(*page);
        bool shown = false;
        ui_guard([&] { shown = page->activate(); });
        if (shown || step == 0)
            return shown;
    }
    return false;
}

void wizard_shell::set_current_page(uint32_t id) { show_index(index_of(id), 1); }

void wizard_shell::go_next()
{
    ui_guard([this] {
        wizard_page_base* page = current_page();
        if (page == nullptr)
            return;
        const int target = page->on_next();
        if (target == wiz_stay || page->on_kill_active() == 0)
            return;
        const int from = current;
        if (show_index(target == wiz_order ? current + 1 : index_of(static_cast<uint32_t>(target)), 1))
            history.push_back(from);
        else
            show_index(from, 0);
    });
}

void wizard_shell::go_back()
{
    ui_guard([this] {
        wizard_page_base* page = current_page();
        if (page == nullptr)
            return;
        const int target = page->on_back();
        if (target == wiz_stay || page->on_kill_active() == 0)
            return;
        int index = current - 1;
        if (target != wiz_order) {
            index = index_of(static_cast<uint32_t>(target));
            const auto seen = std::find(history.rbegin(), history.rend(), index);
            if (seen != history.rend())
                history.erase(std::next(seen).base(), history.end());
        } else if (!history.empty()) {
            index = history.back();
            history.pop_back();
        }
        show_index(index, -1);
    });
}

void wizard_shell::go_finish()
{
    ui_guard([this] {
        wizard_page_base* page = current_page();
        if (page == nullptr || page->on_finish() != 0)
            accept();
    });
}

void wizard_shell::reject()
{
    // On the last page nothing is left to cancel: Esc closes as Finish does.
    if (!cancel_button->isEnabled() && finish_button->isVisible() && finish_button->isEnabled()) {
        go_finish();
        return;
    }
    if (!cancel_button->isEnabled())
        return;
    ui_guard([this] {
        wizard_page_base* page = current_page();
        if (page == nullptr || page->on_cancel() != 0)
            QDialog::reject();
    });
}

void wizard_shell::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_F1) {
        QDialog::keyPressEvent(event);
        return;
    }
    ui_guard([this] {
        if (wizard_page_base* page = current_page())
            page->on_help();
    });
}

void wizard_shell::set_buttons(int set)
{
    back_button->setEnabled((set & 1) != 0);
    next_button->setEnabled((set & 2) != 0);
    finish_button->setVisible((set & 4) != 0);
    next_button->setVisible((set & 4) == 0);
    // Enter is Next, and Finish on the last page, wherever the focus is but
    // on a button of the page.
    ((set & 4) != 0 ? finish_button : next_button)->setDefault(true);
}

QPushButton* wizard_shell::button(wizard_button which) const
{
    switch (which) {
    case wizard_button::back:
        return back_button;
    case wizard_button::next:
        return next_button;
    case wizard_button::finish:
        return finish_button;
    case wizard_button::cancel:
        return cancel_button;
    case wizard_button::help:
        break;
    }
    return help_button;
}

void wizard_shell::enable_button(wizard_button which, bool enable)
{
    QPushButton* b = button(which);
    tk_logger::log(2, "wizard_shell::enable_button(%08X)", static_cast<unsigned>(reinterpret_cast<uintptr_t>(b)));
    b->setEnabled(enable);
}

void wizard_shell::initialize_if()
{
    tk_logger::log(2, "wizard_shell::initialize_if");
    if (initialized)
        return;
    setWindowTitle(QString::fromStdWString(title));
    setWindowIcon(wizard_icon());
    adjustSize();
    resize(size().expandedTo(initial_size));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    initialized = true;
}

bool wizard_shell::is_initialized()
{
    tk_logger::log(1, "wizard_shell::is_initialized");
    const wizard_shell* shell = try_instance();
    if (shell == nullptr) {
        tk_logger::log(1, "Before return false");
        return false;
    }
    tk_logger::log(1, "Singleton has been initialized");
    return shell->initialized;
}

void wizard_shell::error(const std::string& text) { error(tk_to_unicode(text)); }

void wizard_shell::error(const std::wstring& text)
{
    tk_logger::wlog(1, L"wizard_shell::error(%s)", text.c_str());
    show_box(box_kind::error, "Error", text);
    tk_logger::wlog(3, L"%s", text.c_str());
}

void wizard_shell::message(const std::wstring& text)
{
    tk_logger::wlog(1, L"wizard_shell::message(%s)", text.c_str());
    show_box(box_kind::message, "Message", text);
    tk_logger::wlog(3, L"%s", text.c_str());
}

bool wizard_shell::question(const std::wstring& text) { return show_box(box_kind::question, "Question", text); }

std::wstring wizard_shell::help_folder()
{
    return (QCoreApplication::applicationDirPath() + QStringLiteral("/ravelin.help")).toStdWString();
}

namespace {

void open_help_page(const std::wstring& page)
{
    const QString path = QString::fromStdWString(wizard_shell::help_folder()) + QLatin1Char('/') +
                         QString::fromStdWString(page);
    if (!QFileInfo(path).isFile()) {
        wizard_shell::error(std::wstring(L"Help file does not exist. Reinstall the program."));
        return;
    }
    on_window_thread([&] {
        ui().open_help(path, [path] {
            ui_guard([&path] {
                wizard_shell::error(L"The help page " + path.toStdWString() + L" could not be opened.");
            });
        });
    });
}

} // namespace

void wizard_shell::display_help(uint32_t topic)
{
    tk_logger::log(1, "wizard_shell::display_help(%d)", static_cast<int>(topic));
    open_help_page(std::to_wstring(topic) + L".html");
}

void wizard_shell::display_help()
{
    tk_logger::log(1, "wizard_shell::display_help");
    open_help_page(L"index.html");
}

void wizard_shell::set_timer(uint32_t ms)
{
    on_window_thread([&] {
        if (timer.isActive())
            throw tk_mail_assertion(wiz_sh_file, 281);
        timer.start(static_cast<int>(ms));
    });
}

void wizard_shell::kill_timer()
{
    on_window_thread([&] { timer.stop(); });
}

void wizard_shell::add_error(const std::string& message)
{
    std::lock_guard<std::mutex> lock(errors_mutex);
    ++errors_added;
    if (errors.size() < max_errors)
        errors.push_back(message);
}

std::vector<std::string> wizard_shell::get_errors() const
{
    std::lock_guard<std::mutex> lock(errors_mutex);
    return errors;
}

void wizard_shell::clear_errors()
{
    std::lock_guard<std::mutex> lock(errors_mutex);
    errors.clear();
    errors_added = 0;
}

size_t wizard_shell::error_total() const
{
    std::lock_guard<std::mutex> lock(errors_mutex);
    return errors_added;
}

void wizard_shell::end_program(int code)
{
    wizard_shell* shell = try_instance();
    if (shell == nullptr)
        return;
    set_ui_closing(true);
    QMetaObject::invokeMethod(
        shell,
        [shell, code] {
            shell->ended_with = code;
            shell->done(code);
        },
        Qt::AutoConnection);
}
