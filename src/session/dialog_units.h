#pragma once
// Dialog units: the layout unit of dialog templates, a quarter of the font's average character width
// horizontally and an eighth of its height vertically, so a dialog grows with its font.

#include <QFont>
#include <QRect>

namespace glyphora {

class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);
    DialogUnits(int base_x, int base_y) : base_x_(base_x), base_y_(base_y) {}

    int x(int units) const { return scale(units, base_x_, 4); }
    int y(int units) const { return scale(units, base_y_, 8); }
    QRect rect(int left, int top, int width, int height) const {
        return QRect(x(left), y(top), x(width), y(height));
    }
    int base_x() const { return base_x_; }
    int base_y() const { return base_y_; }

  private:
    // units * base / divisor, rounded to the nearest pixel.
    static int scale(int units, int base, int divisor) {
        const long long n = static_cast<long long>(units) * base;
        return static_cast<int>((n >= 0 ? n + divisor / 2 : n - divisor / 2) / divisor);
    }

    int base_x_ = 6;
    int base_y_ = 12;
};

}  // namespace glyphora
