#include "TK/tk_log.hpp"

#include "TK/tk_utils.hpp"
#include "platform/files/pl_files.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>

namespace {

std::string default_log_name()
{
    std::filesystem::path path = platform::module_file_name();
    path.replace_extension(".log");
    return path.string();
}

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

} // namespace

tk_logger::tk_logger(const char* file, bool enabled_, int min_level_, bool timestamps_)
    : file_name(file != nullptr ? std::string(file) : default_log_name()),
      min_level(min_level_),
      enabled(enabled_),
      timestamps(timestamps_)
{
    if (enabled_)
        create_once();
}

tk_logger::~tk_logger() = default;

void tk_logger::set_file_name(const char* name)
{
    if (name == nullptr)
        throw tk_mail_assertion("..\\TK/tk_log.hpp", 82);
    std::lock_guard lock(mutex);
    file_name = name;
}

std::string tk_logger::get_file_name() const
{
    std::lock_guard lock(mutex);
    return file_name;
}

void tk_logger::create_once()
{
    std::lock_guard lock(mutex);
    if (created.load(std::memory_order_relaxed))
        return;
    // Appended to, never emptied: the name may come from a profile made
    // elsewhere and point at a file of the user's.
    file_ptr opened(std::fopen(file_name.c_str(), "ab"));
    created.store(true, std::memory_order_release);
}

void tk_logger::set_failure_report(failure_report report)
{
    std::lock_guard lock(mutex);
    report_failure = std::move(report);
}

bool tk_logger::append(std::string_view line)
{
    file_ptr file(std::fopen(file_name.c_str(), "ab"));
    if (!file)
        return false;
    if (timestamps) {
        const std::tm local = tk_local_now();
        std::fprintf(file.get(), "%02d:%02d:%02d ", local.tm_hour, local.tm_min, local.tm_sec);
    }
    bool whole = std::fwrite(line.data(), 1, line.size(), file.get()) == line.size();
    if (crlf)
        whole = std::fwrite("\r\n", 1, 2, file.get()) == 2 && whole;
    // A full disk often shows only when the buffered bytes are written out.
    return std::fclose(file.release()) == 0 && whole;
}

void tk_logger::write(std::string_view line)
{
    failure_report report;
    std::string name, reason;
    {
        std::lock_guard lock(mutex);
        if (append(line))
            return;
        const int error = errno;
        if (failure_reported || !report_failure)
            return;  // a lost line is lost; the user hears of the first
        failure_reported = true;
        report = report_failure;
        name = file_name;
        reason = std::strerror(error);
    }
    // Outside the lock: the report may well log a line itself.
    report(name, reason);
}
