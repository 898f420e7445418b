#pragma once
// The fields of the options sheet: point sizes typed as decimal numbers, and text fields that edit stored
// bytes (Shift_JIS texts, or paths in the platform's native bytes) without losing any of them.

#include <QString>

#include <cstddef>
#include <optional>
#include <string>

class QLineEdit;
class QWidget;

namespace glyphora {

// The framework's message for a number field that does not hold a number.
inline constexpr const char* kEnterNumberMessage = "数字を入力してください。";
// Sizes outside this range would leave the main dialog or the part detail dialog unusable at the next
// start (a size of 0 draws nothing), so the sheet refuses them.
inline constexpr float kMinFontPoints = 1.0f;
inline constexpr float kMaxFontPoints = 72.0f;
inline constexpr const char* kFontPointsRangeMessage =
    "フォントサイズは 1 から 72 ポイントの範囲で入力してください。";
inline bool font_points_in_range(float points) {
    return points >= kMinFontPoints && points <= kMaxFontPoints;  // false for NaN
}

// A decimal number as typed: optional blanks, an optional sign, digits with an optional decimal point and
// an optional exponent, optional blanks. Nothing else counts as a number (no hexadecimal, "inf" or "nan").
std::optional<float> parse_points(const QString& text);
// A size in tenths of a point as the sheet shows it: the value times 0.1 in single precision, with up to
// six significant digits ("9", "12.5").
QString format_points(int tenths);

// A field that cannot be taken as it is, and why.
struct FieldProblem {
    QWidget* field = nullptr;
    std::string message;  // for the user, UTF-8
};

// A line edit bound to stored bytes. It shows them as text; when the text is left as shown, the original
// bytes come back exactly (even bytes the widget could not show); otherwise the text is converted back.
class ByteField {
  public:
    enum class Kind { sjis_text, path };

    // name is how messages refer to the field; capacity counts the terminator of the stored buffer.
    ByteField(QLineEdit* edit, Kind kind, std::size_t capacity, std::string name);

    QLineEdit* edit() const { return edit_; }
    void set_value(const std::string& bytes);
    // The bytes the field holds now, or why they cannot be stored: a character Shift_JIS has no code for,
    // a line break, or more than capacity - 1 bytes (refused rather than cut, so nothing typed is lost).
    std::optional<FieldProblem> take(std::string& out) const;

  private:
    QLineEdit* edit_;
    Kind kind_;
    std::size_t capacity_;
    std::string name_;
    std::string original_;
    QString shown_;
};

}  // namespace glyphora
