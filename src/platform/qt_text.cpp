#include "platform/qt_text.h"

#include "model/sjis.h"
#include "platform/encoding.h"

namespace glyphora {

QString sjis_to_qstring(std::string_view sjis) {
    std::string utf8;
    std::size_t pos = 0;
    while (pos < sjis.size()) {
        const Conversion c = sjis_to_utf8(sjis.substr(pos));
        if (c.ok) {
            utf8 += c.text;
            break;
        }
        utf8 += sjis_to_utf8(sjis.substr(pos, c.error_offset)).text;
        utf8 += "\xEF\xBF\xBD";  // U+FFFD
        const std::size_t bad = pos + c.error_offset;
        pos = bad + static_cast<std::size_t>(char_at(sjis, bad).length);
    }
    return QString::fromStdString(utf8);
}

bool qstring_to_sjis(const QString& text, std::string& out, std::string& error) {
    const std::string utf8 = text.toStdString();
    const Conversion c = utf8_to_sjis(utf8);
    if (!c.ok) {
        error = describe_unmappable(utf8, c);
        return false;
    }
    out = c.text;
    return true;
}

}  // namespace glyphora
