#include "model/sjis.h"

namespace glyphora {

bool splits_double_byte(std::string_view text, std::size_t bytes) {
    std::size_t pos = 0;
    while (pos < bytes && pos < text.size()) {
        pos += static_cast<std::size_t>(char_at(text, pos).length);
    }
    return pos > bytes;
}

}  // namespace glyphora
