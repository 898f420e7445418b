#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "render/char_width_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto file = std::make_unique<glyphora::MetricsFile>();
    const auto result =
        glyphora::parse_metrics(std::string_view(reinterpret_cast<const char*>(data), size), *file);
    if (result.ok && file->line_height < 1) __builtin_trap();
    return 0;
}
