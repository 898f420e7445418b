#include "platform/qt_text.h"

#include "system/encoding.h"

namespace glyphora {

QString sjis_to_qstring(std::string_view sjis) {
    return QString::fromStdString(sjis_to_utf8_lenient(sjis));
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
