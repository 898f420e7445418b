#include "platform/qt_text.h"

#include "system/encoding.h"

namespace glyphora {

QString sjis_to_qstring(std::string_view sjis) {
    return QString::fromStdString(sjis_to_utf8_lenient(sjis));
}

namespace {

bool convert(const QString& text, Conversion (*to_sjis)(std::string_view), std::string& out,
             std::string& error) {
    const std::string utf8 = text.toStdString();
    const Conversion c = to_sjis(utf8);
    if (!c.ok) {
        error = describe_unmappable(utf8, c);
        return false;
    }
    out = c.text;
    return true;
}

}  // namespace

bool qstring_to_sjis(const QString& text, std::string& out, std::string& error) {
    return convert(text, utf8_to_sjis, out, error);
}

bool qstring_to_part_text(const QString& text, std::string& out, std::string& error) {
    return convert(text, utf8_to_part_text, out, error);
}

}  // namespace glyphora
