#pragma once
// Builders shared by the page-file and library-file tests: filled parts, and files of the older versions
// that this program reads but never writes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "io/file_io.h"
#include "io/test_support.h"
#include "model/books.h"
#include "storage/stored_items.h"

namespace glyphora::test {

// A used part with every stored field set, different for each seed (x negative for odd seeds).
inline void fill_part(Part& part, int seed) {
    clear_slot(part);
    part.in_use = true;
    part.is_label = seed % 5 == 0;
    part.icon = seed % 2 == 0;
    part.always_opaque = seed % 3 != 0;
    part.no_space_click_select = seed % 4 == 0;
    part.flip_h = seed % 2 == 1;
    part.flip_v = seed % 3 == 1;
    part.no_mirror_table = seed % 2 == 1;
    part.x = seed % 2 ? -seed * 7 : seed * 7;
    part.y = seed * 18;
    part.border_left = seed;
    part.border_right = 100000 + seed;
    // "\x81\x40" is a full-width space, "\x82\xa0" is "あ".
    set_text(part, "\x81\x40\x82\xa0 line " + std::to_string(seed) + "\r\nsecond\rthird");
    set_comment(part, "c" + std::to_string(seed));
    set_name(part, "n" + std::to_string(seed));
}

// The stored bytes of one part as this program writes it: two parts are equal as far as files go when
// these are equal.
inline std::string stored(const Part& part) {
    std::string out;
    ByteWriter writer(out);
    write_part(part, writer, kWrittenVersion);
    return out;
}

// A page collection of an older version (1 stores no settings).
inline std::string collection_bytes(const PreviewBook& book, int version) {
    std::string out;
    ByteWriter w(out);
    w.put_string(magic_of(FileKind::collection, version));
    for (const Page& page : book.pages)
        for (const Part& part : page.slots) write_part(part, w, version);
    if (version >= 2)
        for (const RenderSettings& s : book.page_settings)
            for (int i = 0; i < RenderSettings::kCount; ++i) w.put_byte(s.flag(i));
    w.put_string(kEndMark);
    return out;
}

inline std::string single_page_bytes(const Page& page, int version) {
    std::string out;
    ByteWriter w(out);
    w.put_string(magic_of(FileKind::single_page, version));
    for (const Part& part : page.slots) write_part(part, w, version);
    w.put_string(kEndMark);
    return out;
}

inline std::string library_bytes(const LibraryBook& book, int version) {
    std::string out;
    ByteWriter w(out);
    w.put_string(magic_of(FileKind::library, version));
    for (const auto& name : book.page_names) w.put_string(get_string(name));
    for (const Page& page : book.pages)
        for (const Part& part : page.slots) write_part(part, w, version);
    w.put_string(kEndMark);
    return out;
}

// A fresh folder of the running test under GLYPHORA_HOME (ctest may run tests in parallel).
inline std::filesystem::path fresh_dir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const char* home = std::getenv("GLYPHORA_HOME");
    const auto dir = (home ? std::filesystem::path(home) : std::filesystem::temp_directory_path()) /
                     (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline std::string file_content(const std::filesystem::path& path) {
    std::string out;
    read_whole_file(path.string(), out);
    return out;
}

}  // namespace glyphora::test
