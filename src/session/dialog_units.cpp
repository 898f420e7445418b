#include "session/dialog_units.h"

#include <QFontMetrics>

#include <algorithm>

namespace glyphora {

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average width of the 52 Latin letters, rounded, as templates have always been measured.
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    base_x_ = std::max(1, (letters / 26 + 1) / 2);
    base_y_ = std::max(1, metrics.height());
}

}  // namespace glyphora
