#include "options/options_fields.h"

#include <QFile>
#include <QLineEdit>

#include <charconv>
#include <limits>
#include <string_view>

#include "platform/qt_text.h"

namespace glyphora {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The number part of a typed size, or nothing when the text is not one decimal number.
std::optional<std::string_view> number_part(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < s.size() && is_digit(s[i])) ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && is_digit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t exponent_digits = 0;
        while (i < s.size() && is_digit(s[i])) ++i, ++exponent_digits;
        if (exponent_digits == 0) return std::nullopt;
    }
    if (i != s.size()) return std::nullopt;
    return s;
}

bool has_line_break(std::string_view bytes) {
    return bytes.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

std::optional<float> parse_points(const QString& text) {
    const std::string utf8 = text.toStdString();
    const auto number = number_part(utf8);
    if (!number) return std::nullopt;
    // from_chars takes no leading '+'; it is independent of the C locale, which Qt sets from the user's.
    std::string_view s = *number;
    if (s.front() == '+') s.remove_prefix(1);
    float value = 0.0f;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (end != s.data() + s.size()) return std::nullopt;
    // Beyond the float range (either way): a value no size range holds, refused by the range check.
    if (error == std::errc::result_out_of_range) value = std::numeric_limits<float>::quiet_NaN();
    return value;
}

QString format_points(int tenths) {
    const float points = static_cast<float>(tenths) * 0.1f;
    return QString::number(static_cast<double>(points), 'g', 6);
}

ByteField::ByteField(QLineEdit* edit, Kind kind, std::size_t capacity, std::string name)
    : edit_(edit), kind_(kind), capacity_(capacity), name_(std::move(name)) {}

void ByteField::set_value(const std::string& bytes) {
    original_ = bytes;
    shown_ =
        kind_ == Kind::path ? QFile::decodeName(QByteArray::fromStdString(bytes)) : sjis_to_qstring(bytes);
    edit_->setText(shown_);
}

std::optional<FieldProblem> ByteField::take(std::string& out) const {
    const QString text = edit_->text();
    std::string bytes;
    if (text == shown_) {
        bytes = original_;
    } else if (kind_ == Kind::path) {
        bytes = QFile::encodeName(text).toStdString();
    } else {
        std::string error;
        if (!qstring_to_sjis(text, bytes, error))
            return FieldProblem{edit_, name_ + "に Shift_JIS で書けない文字があります。\n" + error};
    }
    if (has_line_break(bytes)) return FieldProblem{edit_, name_ + "に改行は入れられません。"};
    if (bytes.size() > capacity_ - 1) {
        const std::string unit = kind_ == Kind::path ? "バイト" : "バイト (全角文字は 2 バイト)";
        return FieldProblem{edit_, name_ + "は " + std::to_string(capacity_ - 1) + " " + unit +
                                       "までです。いまは " + std::to_string(bytes.size()) +
                                       " バイトあります。"};
    }
    out = std::move(bytes);
    return std::nullopt;
}

}  // namespace glyphora
