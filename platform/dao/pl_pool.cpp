#include "platform/dao/pl_pool.hpp"

namespace platform::dao {

text_ref text_pool::add(std::string_view text)
{
    if (text.size() > max_length) {
        size_t n = max_length;
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;  // never split a UTF-8 sequence
        text = text.substr(0, n);
    }
    const text_ref ref = (text_ref(buf.size()) << 24) | text.size();
    buf.append(text);
    return ref;
}

} // namespace platform::dao
