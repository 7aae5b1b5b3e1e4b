#include "common/csv_ahead.hpp"

#include <utility>

namespace {

constexpr size_t batch_lines = 1024;
constexpr size_t batch_bytes = size_t{256} << 10;
constexpr size_t waiting_limit = size_t{1} << 20;

} // namespace

csv_read_ahead::csv_read_ahead(csv_line_reader& input_, size_t keep_)
    : input(input_), keep(keep_), at_position(input_.position()), cutter([this] { cut_lines(); })
{
}

csv_read_ahead::~csv_read_ahead()
{
    {
        std::lock_guard<std::mutex> held(lock);
        stopping = true;
    }
    changed.notify_all();
    cutter.join();
}

void csv_read_ahead::fill(batch& b)
{
    b.count = 0;
    b.bytes = 0;
    b.last = false;
    b.failure = nullptr;
    if (b.lines.size() < batch_lines) {
        b.lines.resize(batch_lines);
        b.positions.resize(batch_lines);
    }
    try {
        while (b.count < batch_lines && b.bytes < batch_bytes) {
            csv_line& line = b.lines[b.count];
            if (!input.get_line(line, keep)) {
                b.last = true;
                break;
            }
            b.positions[b.count++] = input.position();
            b.bytes += line.text.size();
        }
    } catch (...) {
        b.failure = std::current_exception();
        b.last = true;
    }
    b.unclosed_quote = input.unclosed_quote_line();
    b.cut_line = input.cut_short_line();
}

void csv_read_ahead::cut_lines()
{
    for (;;) {
        std::unique_ptr<batch> b;
        {
            std::unique_lock<std::mutex> held(lock);
            changed.wait(held, [this] { return stopping || waiting_bytes < waiting_limit || full.empty(); });
            if (stopping)
                return;
            if (!spare.empty()) {
                b = std::move(spare.back());
                spare.pop_back();
            }
        }
        if (b == nullptr)
            b = std::make_unique<batch>();
        fill(*b);
        const bool last = b->last;
        {
            std::lock_guard<std::mutex> held(lock);
            waiting_bytes += b->bytes;
            full.push_back(std::move(b));
        }
        changed.notify_all();
        if (last)
            return;
    }
}

std::unique_ptr<csv_read_ahead::batch> csv_read_ahead::take_full()
{
    std::unique_lock<std::mutex> held(lock);
    if (current != nullptr)
        spare.push_back(std::move(current));
    changed.wait(held, [this] { return !full.empty(); });
    std::unique_ptr<batch> b = std::move(full.front());
    full.pop_front();
    waiting_bytes -= b->bytes;
    held.unlock();
    changed.notify_all();
    return b;
}

bool csv_read_ahead::get_line(csv_line& line)
{
    for (;;) {
        if (current != nullptr && next < current->count) {
            line.swap(current->lines[next]);
            at_position = current->positions[next++];
            return true;
        }
        if (current != nullptr && current->last) {
            ended = true;
            failure = current->failure;
            unclosed_quote = current->unclosed_quote;
            cut_line = current->cut_line;
        }
        if (failure != nullptr)
            std::rethrow_exception(failure);
        if (ended) {
            line.clear();
            return false;
        }
        current = take_full();
        next = 0;
    }
}
