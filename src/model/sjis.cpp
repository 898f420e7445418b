#include "model/sjis.h"

namespace glyphora {

bool splits_double_byte(std::string_view text, std::size_t bytes) {
    std::size_t pos = 0;
    while (pos < bytes && pos < text.size()) {
        pos += static_cast<std::size_t>(char_at(text, pos).length);
    }
    return pos > bytes;
}

std::string_view whole_chars_prefix(std::string_view text, std::size_t max_bytes) {
    std::size_t end = 0;
    while (end < text.size()) {
        const auto b = static_cast<unsigned char>(text[end]);
        const std::size_t len = is_lead_byte(b) ? 2 : 1;
        if (end + len > max_bytes || end + len > text.size()) break;
        end += len;
    }
    return text.substr(0, end);
}

}  // namespace glyphora
