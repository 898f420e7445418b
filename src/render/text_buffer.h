#pragma once
// The rendered text of one page: a fixed buffer of 16384 bytes that always keeps room for its NUL. A write
// that does not fit is skipped and recorded; later, shorter writes may still fit.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "model/sjis.h"
#include "render/error_report.h"
#include "render/render_line.h"

namespace glyphora {

constexpr std::size_t kOutputCapacity = 16384;

struct TextBuffer {
    char* data;
    std::size_t length;
    ErrorReport& report;
    // The bytes of the page's reference cells; nullptr while the page has none.
    const ReferenceSpellings* references = nullptr;

    // Writes n bytes when length < capacity - n, else records ErrorKind::text_too_long with error_value.
    void put(const char* bytes, std::size_t n, int32_t error_value) {
        if (length + n < kOutputCapacity) {
            for (std::size_t i = 0; i < n; ++i) data[length + i] = bytes[i];
            length += n;
        } else {
            record_error(report, ErrorKind::text_too_long, error_value);
        }
    }

    // The line number prefix has always been checked one byte more strictly than other writes.
    void put_prefix(const char* bytes, std::size_t n, int32_t error_value) {
        if (length + n + 1 < kOutputCapacity) {
            put(bytes, n, error_value);
        } else {
            record_error(report, ErrorKind::text_too_long, error_value);
        }
    }

    // Writes a character cell: the bytes of its Shift_JIS code, or of its reference as ReferenceSpellings
    // keeps them, whole or not at all; the references written are counted in the report.
    void put_char(int32_t code, int32_t error_value) {
        if (is_reference_code(code)) {
            if (!references) return;
            const ReferenceSpellings::CellText text = references->text(code);
            if (length + text.size() < kOutputCapacity) {
                std::memcpy(data + length, text.bytes.data(), text.bytes.size());
                if (text.semicolon) data[length + text.bytes.size()] = ';';
                length += text.size();
                report.references += static_cast<int32_t>(text.references);
                report.reference_bytes += static_cast<int32_t>(text.reference_bytes);
            } else {
                record_error(report, ErrorKind::text_too_long, error_value);
            }
            return;
        }
        char bytes[2];
        const int n = put_code(bytes, code);
        put(bytes, static_cast<std::size_t>(n), error_value);
    }

    void terminate() { data[length] = '\0'; }
};

}  // namespace glyphora
