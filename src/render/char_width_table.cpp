#include "render/char_width_table.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace glyphora {

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

}  // namespace glyphora
