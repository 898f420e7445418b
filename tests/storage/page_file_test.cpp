#include "storage/page_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "io/file_io.h"
#include "storage/stored_items.h"
#include "storage/test_support.h"

namespace glyphora {
namespace {

namespace fs = std::filesystem;
using test::fill_part;
using test::stored;

class PageFile : public ::testing::Test {
  protected:
    fs::path dir = test::fresh_dir();
    std::unique_ptr<Documents> docs = make_documents();
    std::unique_ptr<Documents> other = make_documents();
    RenderSettings global = default_global_render_settings();
    PreviewBook& book() { return docs->preview; }

    std::string path(const std::string& name) { return (dir / name).string(); }
    void save(const std::string& name, const std::string& bytes) {
        ASSERT_TRUE(write_file_atomically(path(name), bytes).ok);
    }
    // Parts on pages 0, 7 and 29 (slots 0, 1 and 49), settings on pages 3 and 29.
    void fill_book(PreviewBook& b) {
        for (int page : {0, 7, 29})
            for (int slot : {0, 1, 49}) fill_part(b.pages[page].slots[slot], page * 50 + slot + 1);
        b.page_settings[3].renderdotflag = true;
        b.page_settings[29].rendernotrenspace = true;
    }
};

TEST_F(PageFile, EmptyFilesHaveTheirExactBytes) {
    const std::string single = serialize_single_page(book().pages[0]);
    ASSERT_EQ(single.size(), 86u);
    EXPECT_EQ(single, std::string("Glyphora-Data V003\0", 19) + std::string(50, '\x04') +
                          std::string("Glyphora-Endmark\0", 17));
    const std::string collection = serialize_collection(book());
    ASSERT_EQ(collection.size(), 1776u);
    EXPECT_EQ(collection.substr(0, 19), std::string("Glyphora-DatL V003\0", 19));
    EXPECT_EQ(collection.substr(19, 1500), std::string(1500, '\x04'));
    EXPECT_EQ(collection.substr(1519, 240), std::string(240, '\0'));

    ASSERT_EQ(write_single_page(path("e.aat"), book().pages[0]), FileStatus::ok);
    EXPECT_EQ(fs::file_size(path("e.aat")), 86u);
    ASSERT_EQ(write_collection(path("e.aap"), book()), FileStatus::ok);
    EXPECT_EQ(fs::file_size(path("e.aap")), 1776u);
}

TEST_F(PageFile, UsedRecordLayout) {
    Part& p = book().pages[0].slots[0];
    clear_slot(p);
    p.in_use = p.flip_v = p.no_mirror_table = true;
    p.always_opaque = false;
    p.is_label = true;
    p.x = -2;
    p.y = 0x01020304;
    p.border_left = 5;
    p.border_right = 6;
    set_text(p, "T");
    set_name(p, "N");
    const std::string expected("\x61\x01\xfe\xff\xff\xff\x04\x03\x02\x01\x05\0\0\0\x06\0\0\0T\0\0N\0", 23);
    EXPECT_EQ(stored(p), expected);
    std::string v2;
    ByteWriter w(v2);
    write_part(p, w, 2);
    EXPECT_EQ(v2, expected.substr(0, 10) + expected.substr(18));
}

TEST_F(PageFile, CollectionAndSinglePageRoundTrip) {
    fill_book(book());
    book().pages[7].slots[1].selected = true;
    book().pages[7].slots[1].box = {1, 2, 3, 4};
    book().pages[7].slots[1].no_mirror_table = true;
    ASSERT_EQ(write_collection(path("a.aap"), book()), FileStatus::ok);
    ASSERT_EQ(read_collection(path("a.aap"), other->preview, global), FileStatus::ok);
    for (int pg = 0; pg < kPreviewPages; ++pg) {
        EXPECT_EQ(other->preview.page_settings[pg], book().page_settings[pg]) << pg;
        for (int s = 0; s < kPartsPerPage; ++s)
            ASSERT_EQ(stored(other->preview.pages[pg].slots[s]), stored(book().pages[pg].slots[s])) << pg;
    }
    const Part& back = other->preview.pages[7].slots[1];
    EXPECT_FALSE(back.selected);
    EXPECT_TRUE(back.box.is_zero());
    EXPECT_TRUE(back.no_mirror_table);
    EXPECT_EQ(back.border_right, 100000 + 352);

    ASSERT_EQ(write_single_page(path("p.aat"), book().pages[29]), FileStatus::ok);
    ASSERT_EQ(read_single_page_all_or_nothing(path("p.aat"), other->preview.pages[2]), FileStatus::ok);
    for (int s = 0; s < kPartsPerPage; ++s)
        EXPECT_EQ(stored(other->preview.pages[2].slots[s]), stored(book().pages[29].slots[s]));
}

TEST_F(PageFile, OlderVersionsAreRead) {
    fill_book(book());
    global.render_linenumber = true;
    // Version 1: no borders, no settings; every page takes the global settings, and saving stores them.
    save("v1.aap", test::collection_bytes(book(), 1));
    ASSERT_EQ(read_collection(path("v1.aap"), other->preview, global), FileStatus::ok);
    for (const RenderSettings& s : other->preview.page_settings) EXPECT_EQ(s, global);
    EXPECT_EQ(other->preview.pages[7].slots[1].border_left, 0);
    EXPECT_EQ(get_string(other->preview.pages[7].slots[1].text), get_string(book().pages[7].slots[1].text));
    const std::string resaved = serialize_collection(other->preview);
    EXPECT_EQ(resaved.substr(0, 19), std::string("Glyphora-DatL V003\0", 19));
    EXPECT_EQ(resaved.substr(resaved.size() - 17 - 8, 8), std::string("\1\0\0\0\0\1\1\0", 8));

    // Version 2: settings stored, still no borders.
    save("v2.aap", test::collection_bytes(book(), 2));
    ASSERT_EQ(read_collection(path("v2.aap"), other->preview, global), FileStatus::ok);
    EXPECT_EQ(other->preview.page_settings[3], book().page_settings[3]);
    EXPECT_EQ(other->preview.page_settings[0], RenderSettings{});
    EXPECT_EQ(other->preview.pages[29].slots[49].y, book().pages[29].slots[49].y);

    for (int version : {1, 2}) {
        save("old.aat", test::single_page_bytes(book().pages[0], version));
        ASSERT_EQ(read_single_page(path("old.aat"), other->preview.pages[0]), FileStatus::ok);
        const Part& p = other->preview.pages[0].slots[1];
        EXPECT_EQ(p.border_left, 0);
        EXPECT_EQ(p.border_right, 0);
        EXPECT_EQ(p.x, book().pages[0].slots[1].x);
        EXPECT_EQ(get_string(p.name), "n2");
    }
}

TEST_F(PageFile, LongStringsAreCutAndReadingStaysInStep) {
    Page& page = book().pages[0];
    fill_part(page.slots[1], 9);
    std::string bytes = serialize_single_page(page);
    // Slot 0 as written by a program with larger buffers.
    std::string big("\x01\x00", 2);
    big += std::string(16, '\0') + std::string(20000, 'a') + '\0' + std::string(80, 'c') + '\0' +
           std::string(40, 'n') + '\0';
    bytes.replace(19, 1, big);
    ASSERT_EQ(parse_single_page(bytes, other->preview.pages[0]), FileStatus::ok);
    const Part& cut = other->preview.pages[0].slots[0];
    EXPECT_EQ(get_string(cut.text), std::string(16383, 'a'));
    EXPECT_EQ(get_string(cut.comment), std::string(49, 'c'));
    EXPECT_EQ(get_string(cut.name), std::string(29, 'n'));
    EXPECT_EQ(stored(other->preview.pages[0].slots[1]), stored(page.slots[1]));
}

TEST_F(PageFile, OtherKindsOfFileChangeNothing) {
    fill_book(book());
    const std::string before = serialize_collection(book());
    save("c.aap", serialize_collection(other->preview));
    save("s.aat", serialize_single_page(other->preview.pages[0]));
    EXPECT_EQ(read_single_page(path("c.aap"), book().pages[0]), FileStatus::wrong_magic);
    EXPECT_EQ(read_collection(path("s.aat"), book(), global), FileStatus::wrong_magic);
    for (const std::string& bad : {std::string(), std::string("Glyphora-DatL V004\0", 19),
                                   std::string("Glyphora-Libr V003\0", 19), std::string(5000, 'G')}) {
        EXPECT_EQ(parse_collection(bad, book(), global), FileStatus::wrong_magic);
        EXPECT_EQ(parse_single_page(bad, book().pages[7]), FileStatus::wrong_magic);
    }
    EXPECT_EQ(read_collection(path("missing.aap"), book(), global), FileStatus::cannot_open_for_reading);
    EXPECT_EQ(read_single_page(dir.string(), book().pages[0]), FileStatus::cannot_open_for_reading);
    // A huge file of another kind is refused from its first bytes instead of being read whole.
    save("huge.aap", "not a page file");
    fs::resize_file(path("huge.aap"), uintmax_t{4} << 30);
    EXPECT_EQ(read_collection(path("huge.aap"), book(), global), FileStatus::wrong_magic);
    fs::remove(path("huge.aap"));
    EXPECT_EQ(serialize_collection(book()), before);
}

// Every prefix of a small file: the magic is incomplete (3) or the file is cut off (5); only dropping the
// final NUL still reads (the end of the file ends the end mark). The all-or-nothing form changes nothing.
TEST_F(PageFile, EveryTruncationIsReportedAndAllOrNothingKeepsTheTarget) {
    fill_part(book().pages[0].slots[0], 3);
    fill_part(book().pages[0].slots[2], 4);
    const std::string file = serialize_single_page(book().pages[0]);
    fill_part(other->preview.pages[5].slots[7], 77);
    const std::string untouched = serialize_collection(other->preview);
    for (std::size_t n = 0; n < file.size(); ++n) {
        const std::string cut = file.substr(0, n);
        const FileStatus expected = n < 18                 ? FileStatus::wrong_magic
                                    : n == file.size() - 1 ? FileStatus::ok
                                                           : FileStatus::cut_off;
        ASSERT_EQ(parse_single_page(cut, book().pages[1]), expected) << n;
        if (expected == FileStatus::ok) continue;
        save("cut.aat", cut);
        ASSERT_EQ(read_single_page_all_or_nothing(path("cut.aat"), other->preview.pages[5]), expected);
        ASSERT_EQ(serialize_collection(other->preview), untouched) << n;
    }
}

TEST_F(PageFile, CutOffCollectionsAndWrongEndMarks) {
    fill_book(book());
    const std::string file = serialize_collection(book());
    // Cut in the middle of the 30th page: the pages before it are kept by the plain reader.
    const std::size_t cut_at = file.find(std::string("n1451\0", 6)) + 10;
    save("cut.aap", file.substr(0, cut_at));
    fill_part(other->preview.pages[12].slots[0], 12);
    const std::string untouched = serialize_collection(other->preview);
    EXPECT_EQ(read_collection_all_or_nothing(path("cut.aap"), other->preview, global), FileStatus::cut_off);
    EXPECT_EQ(serialize_collection(other->preview), untouched);
    EXPECT_EQ(read_collection(path("cut.aap"), other->preview, global), FileStatus::cut_off);
    EXPECT_EQ(stored(other->preview.pages[7].slots[49]), stored(book().pages[7].slots[49]));
    EXPECT_FALSE(other->preview.pages[12].slots[0].in_use);
    EXPECT_FALSE(other->preview.pages[29].slots[49].in_use);

    std::string longer = file;
    longer.insert(longer.size() - 1, "x");
    EXPECT_EQ(parse_collection(longer, other->preview, global), FileStatus::cut_off);
    // Bytes after the end mark are not part of the format and are left alone.
    EXPECT_EQ(parse_collection(file + "trailing", other->preview, global), FileStatus::ok);
}

TEST_F(PageFile, AnyNonZeroByteIsTrueAndBitSevenIsIgnored) {
    std::string bytes = serialize_collection(book());
    bytes[19] = '\x81';  // page 0 slot 0: in_use and bit 7
    bytes.insert(20, "\x07" + std::string(16, '\0') + std::string("t\0c\0n\0", 6));
    bytes[bytes.size() - 17 - 240 + 1] = '\x02';  // renderdotflag of page 0
    ASSERT_EQ(parse_collection(bytes, book(), global), FileStatus::ok);
    EXPECT_TRUE(book().pages[0].slots[0].in_use);
    EXPECT_TRUE(book().pages[0].slots[0].is_label);
    EXPECT_FALSE(book().pages[0].slots[0].always_opaque);
    EXPECT_TRUE(book().page_settings[0].renderdotflag);
    EXPECT_EQ(stored(book().pages[0].slots[0])[0], '\x01');
}

TEST_F(PageFile, DispatchByExtension) {
    EXPECT_EQ(page_file_type("a/b.AAT"), PageFileType::single_page);
    EXPECT_EQ(page_file_type("b.Aap"), PageFileType::collection);
    EXPECT_EQ(page_file_type("x.aap/b"), PageFileType::unknown);
    EXPECT_EQ(page_file_type("b.aat.txt"), PageFileType::unknown);

    fill_book(book());
    book().current_page = 7;
    ASSERT_EQ(save_page_file(path("one.AAT"), book()), FileStatus::ok);
    EXPECT_EQ(get_string(book().collection_name), "");  // a single page is not the collection
    ASSERT_EQ(save_page_file(path("all.Aap"), book()), FileStatus::ok);
    EXPECT_EQ(get_string(book().collection_name), path("all.Aap"));

    other->preview.current_page = 2;
    ASSERT_EQ(load_page_file(path("one.AAT"), other->preview, global), FileStatus::ok);
    EXPECT_EQ(stored(other->preview.pages[2].slots[49]), stored(book().pages[7].slots[49]));
    EXPECT_FALSE(other->preview.pages[7].slots[0].in_use);
    ASSERT_EQ(load_page_file(path("all.Aap"), other->preview, global), FileStatus::ok);
    EXPECT_EQ(serialize_collection(other->preview), serialize_collection(book()));
    EXPECT_EQ(get_string(other->preview.collection_name), path("all.Aap"));

    // A damaged file costs none of the pages in memory, nor the remembered name.
    save("bad.aap", test::file_content(path("all.Aap")).substr(0, 1000));
    save("bad.aat", test::file_content(path("one.AAT")).substr(0, 100));
    fill_part(other->preview.pages[2].slots[0], 5);
    const std::string kept = serialize_collection(other->preview);
    EXPECT_EQ(load_page_file(path("bad.aap"), other->preview, global), FileStatus::cut_off);
    EXPECT_EQ(load_page_file(path("bad.aat"), other->preview, global), FileStatus::cut_off);
    EXPECT_EQ(serialize_collection(other->preview), kept);
    EXPECT_EQ(get_string(other->preview.collection_name), path("all.Aap"));

    EXPECT_EQ(load_page_file(path("all.txt"), book(), global), FileStatus::unknown_extension);
    EXPECT_EQ(save_page_file(path("new.txt"), book()), FileStatus::unknown_extension);
    EXPECT_FALSE(fs::exists(path("new.txt")));

    // A path that does not fit the remembered name is not remembered cut.
    const fs::path deep_dir = dir / std::string(150, 'd') / std::string(150, 'e');
    fs::create_directories(deep_dir);
    const std::string deep = (deep_dir / "x.aap").string();
    ASSERT_EQ(save_page_file(deep, book()), FileStatus::ok);
    EXPECT_EQ(get_string(book().collection_name), "");
}

TEST_F(PageFile, WriteFailuresKeepTheOldFile) {
    EXPECT_EQ(write_collection(path("no/such/folder.aap"), book()), FileStatus::cannot_open_for_writing);
    fill_book(book());
    ASSERT_EQ(write_collection(path("keep.aap"), book()), FileStatus::ok);
    const std::string before = test::file_content(path("keep.aap"));
    fill_part(book().pages[20].slots[0], 1000);
    set_text(book().pages[20].slots[0], std::string(16383, 'z'));
    {
        FileSizeLimit limit(before.size() + 100);
        EXPECT_EQ(write_collection(path("keep.aap"), book()), FileStatus::cannot_open_for_writing);
        EXPECT_EQ(save_page_file(path("keep.aap"), book()), FileStatus::cannot_open_for_writing);
    }
    EXPECT_EQ(test::file_content(path("keep.aap")), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    EXPECT_EQ(get_string(book().collection_name), "");
}

TEST_F(PageFile, CollectionFromLibrary) {
    LibraryBook& lib = docs->library;
    fill_part(lib.pages[19].slots[49], 5);
    set_string(lib.page_names[19], "faces");
    global.renderspbar = true;
    ASSERT_EQ(write_collection_from_library(path("lib.aap"), lib, global), FileStatus::ok);
    const std::string file = test::file_content(path("lib.aap"));
    const std::string record = stored(lib.pages[19].slots[49]);
    ASSERT_EQ(file.size(), 1776u + record.size() - 1);
    EXPECT_EQ(file.substr(19 + 999, record.size()), record);
    EXPECT_EQ(file.substr(19 + 999 + record.size(), 500), std::string(500, '\x04'));  // pages 20 to 29
    ASSERT_EQ(parse_collection(file, other->preview, {}), FileStatus::ok);
    for (const RenderSettings& s : other->preview.page_settings) EXPECT_EQ(s, global);
}

TEST(FileStatusMessages, EveryCodeHasItsMessage) {
    EXPECT_EQ(status_message(0), "正常終了");
    EXPECT_EQ(status_message(FileStatus::cannot_open_for_writing), "ファイルが書き込みオープン不能");
    EXPECT_EQ(status_message(2), "ファイルが開けない");
    EXPECT_EQ(status_message(3), "ファイルが破損あるいは違う");
    EXPECT_EQ(status_message(4), "拡張子からファイルタイプが決まらず");
    EXPECT_EQ(status_message(FileStatus::cut_off), "ファイルが途中で不正に切れてしまっている");
    EXPECT_EQ(status_message(6, "other"), "other");
    EXPECT_EQ(status_message(-1, ""), "");
}

}  // namespace
}  // namespace glyphora
