#include "render/char_width_table.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <unordered_map>

namespace glyphora {

// Code points of the Basic Multilingual Plane, where nearly every reference points, are looked up without
// a lock; the rest, and every first measurement, go through the mutex.
class CodePointCache {
  public:
    explicit CodePointCache(std::shared_ptr<CodePointMetricsSource> source) : source_(std::move(source)) {
        for (auto& w : bmp_) w.store(kUnknown, std::memory_order_relaxed);
    }

    CodePointWidth width(char32_t code_point, const CharWidthTable& table) {
        if (code_point < kBmp) {
            const int32_t known = bmp_[code_point].load(std::memory_order_acquire);
            if (known != kUnknown) return CodePointWidth{known};
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        // Another thread may have measured it while this one waited for the lock.
        if (code_point < kBmp) {
            const int32_t known = bmp_[code_point].load(std::memory_order_relaxed);
            if (known != kUnknown) return CodePointWidth{known};
        } else if (const auto found = astral_.find(code_point); found != astral_.end()) {
            return CodePointWidth{found->second};
        }
        const int32_t measured = measure(code_point, table);
        if (code_point < kBmp)
            bmp_[code_point].store(measured, std::memory_order_release);
        else
            astral_.emplace(code_point, measured);
        return CodePointWidth{measured};
    }

  private:
    static constexpr char32_t kBmp = 0x10000;
    static constexpr int32_t kUnknown = -1;

    int32_t measure(char32_t code_point, const CharWidthTable& table) {
        if (!source_) return 0;
        const int code = source_->sjis_code(code_point);
        if (code >= 0 && CharWidthTable::index_of(code) >= 0) return table.width(code) * 64;
        const int32_t w = source_->advance_64ths(code_point);
        return w < 0 ? 0 : w;
    }

    std::shared_ptr<CodePointMetricsSource> source_;
    std::atomic<int32_t> bmp_[kBmp];
    std::mutex mutex_;
    std::unordered_map<char32_t, int32_t> astral_;
};

CodePointWidth CharWidthTable::code_point_width(char32_t code_point) const {
    if (!code_points_) return {};
    return code_points_->width(code_point, *this);
}

void CharWidthTable::set_code_point_source(std::shared_ptr<CodePointMetricsSource> source) {
    code_points_ = source ? std::make_shared<CodePointCache>(std::move(source)) : nullptr;
}

void CharWidthTable::build(GlyphMetricsSource& source) {
    if (built) return;
    int i = 0;
    for (int code = kSingleFirst; code <= kSingleLast; ++code, ++i) {
        codes[i] = code;
        widths[i] = source.measure(code);
    }
    for (int code = kDoubleFirst; code <= kDoubleLast; ++code, ++i) {
        codes[i] = code;
        widths[i] = source.measure(code);
    }
    count = kEntryCount;
    line_height = source.text_height() + 2;
    set_code_point_source(source.code_points());
    built = true;
}

MetricsFile::MetricsFile() {
    for (auto& w : widths) w = -1;
}

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool parse_number(std::string_view word, long& value) {
    if (word.empty() || word.size() > 20) return false;
    const std::string s(word);
    int base = 10;
    const char* start = s.c_str();
    bool negative = false;
    if (*start == '-') {
        negative = true;
        ++start;
    }
    if (start[0] == '0' && (start[1] == 'x' || start[1] == 'X')) {
        base = 16;
        start += 2;
    }
    if (*start == '\0') return false;
    for (const char* p = start; *p; ++p) {
        const bool digit =
            base == 16 ? std::isxdigit(static_cast<unsigned char>(*p)) != 0 : (*p >= '0' && *p <= '9');
        if (!digit) return false;
    }
    errno = 0;
    const long v = std::strtol(start, nullptr, base);
    if (errno != 0) return false;
    value = negative ? -v : v;
    return true;
}

}  // namespace

MetricsParseResult parse_metrics(std::string_view content, MetricsFile& out) {
    MetricsParseResult result;
    int line_no = 0;
    while (!content.empty()) {
        ++line_no;
        const std::size_t nl = content.find('\n');
        std::string_view line = content.substr(0, nl);
        content = nl == std::string_view::npos ? std::string_view{} : content.substr(nl + 1);
        const std::size_t hash = line.find('#');
        if (hash != std::string_view::npos) line = line.substr(0, hash);
        line = trim(line);
        if (line.empty()) continue;
        const std::size_t sep = line.find_first_of(" \t");
        if (sep == std::string_view::npos) {
            result.line = line_no;
            result.message = "expected a key and a value";
            return result;
        }
        const std::string_view key = line.substr(0, sep);
        const std::string_view value_word = trim(line.substr(sep));
        if (key.starts_with("U+") || key.starts_with("u+")) {
            long code_point = 0;
            if (!parse_number("0x" + std::string(key.substr(2)), code_point) || key.size() < 3 ||
                code_point < 1 || code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) {
                result.line = line_no;
                result.message = "'" + std::string(key) + "' is not a Unicode code point";
                return result;
            }
            // Digits and a decimal point only, whatever the locale (strtod would take "2,667" in some).
            double width = -1;
            const char* const first = value_word.data();
            const char* const last = first + value_word.size();
            const bool digits_first = !value_word.empty() && value_word[0] >= '0' && value_word[0] <= '9';
            const auto parsed = std::from_chars(first, last, width, std::chars_format::fixed);
            if (!digits_first || parsed.ec != std::errc() || parsed.ptr != last || width > 10000) {
                result.line = line_no;
                result.message = "'" + std::string(value_word) + "' is not a width from 0 to 10000";
                return result;
            }
            out.code_point_64ths[static_cast<char32_t>(code_point)] =
                static_cast<int32_t>(std::lround(width * 64));
            continue;
        }
        long value = 0;
        const bool is_height = key == "line_height";
        const long low = is_height ? 1 : 0;
        const long high = is_height ? 1000 : 10000;
        if (!parse_number(value_word, value) || value < low || value > high) {
            result.line = line_no;
            result.message = "'" + std::string(value_word) + "' is not a number from " + std::to_string(low) +
                             " to " + std::to_string(high);
            return result;
        }
        if (is_height) {
            out.line_height = static_cast<int>(value);
            out.has_line_height = true;
        } else if (key == "default") {
            out.default_width = static_cast<int>(value);
        } else {
            long code = 0;
            const int index = parse_number(key, code) && code >= 0 && code <= 0xFFFF
                                  ? CharWidthTable::index_of(static_cast<int>(code))
                                  : -1;
            if (index < 0) {
                result.line = line_no;
                result.message = "'" + std::string(key) +
                                 "' is neither line_height, default nor a character code of the table";
                return result;
            }
            out.widths[index] = static_cast<int32_t>(value);
        }
    }
    if (!out.has_line_height) {
        result.line = line_no;
        result.message = "the file gives no line_height";
        return result;
    }
    result.ok = true;
    return result;
}

MetricsParseResult load_metrics_file(const std::string& path, MetricsFile& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        MetricsParseResult r;
        r.message = "cannot open " + path;
        return r;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    return parse_metrics(ss.str(), out);
}

AbcWidth MetricsFileSource::measure(int code) {
    const int index = CharWidthTable::index_of(code);
    const int w = index >= 0 && file_.widths[index] >= 0 ? file_.widths[index] : file_.default_width;
    AbcWidth abc;
    abc.b = static_cast<uint32_t>(w);
    return abc;
}

namespace {

class MetricsFileCodePoints : public CodePointMetricsSource {
  public:
    MetricsFileCodePoints(std::map<char32_t, int32_t> widths, int default_width)
        : widths_(std::move(widths)), default_64ths_(default_width * 64) {}
    int32_t advance_64ths(char32_t code_point) override {
        const auto found = widths_.find(code_point);
        return found != widths_.end() ? found->second : default_64ths_;
    }
    int sjis_code(char32_t code_point) override {
        // A code point the file lists is its own; others of ASCII are the table's characters.
        return widths_.contains(code_point) ? -1 : CodePointMetricsSource::sjis_code(code_point);
    }

  private:
    std::map<char32_t, int32_t> widths_;
    int32_t default_64ths_;
};

}  // namespace

std::shared_ptr<CodePointMetricsSource> MetricsFileSource::code_points() {
    return std::make_shared<MetricsFileCodePoints>(file_.code_point_64ths, file_.default_width);
}

}  // namespace glyphora
