#include "storage/file_kind.h"

#include <gtest/gtest.h>

#include <string>

namespace glyphora {
namespace {

TEST(FileKind, ByExtensionInAnyCase) {
    EXPECT_EQ(file_kind_by_extension("a/b.AAP"), FileKind::collection);
    EXPECT_EQ(file_kind_by_extension("b.aAt"), FileKind::single_page);
    EXPECT_EQ(file_kind_by_extension("/x/library.Aal"), FileKind::library);
    for (const char* other : {"b.aat.txt", "x.aal/b", "aap", "b.", "b.aa", "b.aapx", ""})
        EXPECT_EQ(file_kind_by_extension(other), std::nullopt) << other;
}

TEST(FileKind, ByMagicOfEachKindAndVersion) {
    const struct {
        const char* prefix;
        FileKind kind;
    } kinds[] = {{"Glyphora-DatL V00", FileKind::collection},
                 {"Glyphora-Data V00", FileKind::single_page},
                 {"Glyphora-Libr V00", FileKind::library}};
    for (const auto& k : kinds) {
        for (int version = 1; version <= 3; ++version) {
            const std::string bytes = k.prefix + std::to_string(version) + std::string("\0\x04\x04", 3);
            const auto magic = file_kind_by_magic(bytes);
            ASSERT_TRUE(magic) << bytes;
            EXPECT_EQ(magic->kind, k.kind) << bytes;
            EXPECT_EQ(magic->version, version) << bytes;
        }
    }
    for (const std::string& other :
         {std::string("Glyphora-DatL V004\0", 19), std::string("Glyphora-Libr V000\0", 19),
          std::string("Glyphora-DatL V0031\0", 20), std::string("glyphora-data v003\0", 19),
          std::string("Glyphora-Endmark\0", 17), std::string()})
        EXPECT_EQ(file_kind_by_magic(other).has_value(), false) << other;
}

}  // namespace
}  // namespace glyphora
