// The mirror table file reader on arbitrary bytes: the table must stay sorted, within its capacity, and
// every key in it must be found.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "model/mirror_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace glyphora;
    static MirrorTable table;
    clear(table);
    if (size > 0 && (data[0] & 1)) add_builtin_pairs(table);
    add_pairs_from_file_content(table, std::string_view(reinterpret_cast<const char*>(data), size));
    if (table.count < 0 || table.count > MirrorTable::kCapacity) __builtin_trap();
    for (int i = 0; i < MirrorTable::kCapacity; ++i) {
        const MirrorEntry& e = table.entries[i];
        if ((i < table.count) != (e.key != 0)) __builtin_trap();
        if (i < table.count && (e.value == 0 || e.key < 0 || e.key > 0xFFFF)) __builtin_trap();
        if (i > 0 && i < table.count && table.entries[i - 1].key > e.key) __builtin_trap();
    }
    // Every key maps to one of its values.
    for (int i = 0; i < table.count; ++i) {
        const int32_t key = table.entries[i].key;
        const int32_t got = lookup(table, key);
        bool found = false;
        for (int j = 0; j < table.count; ++j)
            found |= table.entries[j].key == key && table.entries[j].value == got;
        if (!found) __builtin_trap();
    }
    return 0;
}
