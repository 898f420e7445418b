#include "storage/stored_items.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "io/file_io.h"

namespace glyphora {

namespace {

enum class FlagBit : uint8_t {
    in_use = 0x01,
    icon = 0x02,
    always_opaque = 0x04,
    no_space_click_select = 0x08,
    flip_h = 0x10,
    flip_v = 0x20,
    no_mirror_table = 0x40,
};

// The bit of the stored flag byte.
constexpr uint8_t bit_of(FlagBit flag) {
    return static_cast<uint8_t>(flag);
}

// Larger than any page file whose strings fit their capacities (a full collection is about 25 MB).
constexpr off_t kLargeFile = off_t{64} << 20;

std::string_view kind_prefix(FileKind kind) {
    switch (kind) {
        case FileKind::collection:
            return "Glyphora-DatL V00";
        case FileKind::single_page:
            return "Glyphora-Data V00";
        case FileKind::library:
            return "Glyphora-Libr V00";
    }
    return {};
}

// True when the file's first string is readable and is not a magic of `kind`.
bool is_other_kind_of_file(const std::string& path, FileKind kind) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return false;  // the whole read reports it
    char head[kMagicCapacity];
    const std::size_t n = std::fread(head, 1, sizeof head, file.get());
    ByteReader reader(std::string_view(head, n));
    return read_magic(reader, kind) == 0;
}

}  // namespace

std::string magic_of(FileKind kind, int version) {
    std::string magic(kind_prefix(kind));
    magic.push_back(static_cast<char>('0' + version));
    return magic;
}

int32_t ByteReader::read_int32() {
    uint32_t v = 0;
    for (int shift = 0; shift < 32; shift += 8) v |= uint32_t{next_byte()} << shift;
    return static_cast<int32_t>(v);
}

std::string_view ByteReader::read_string(std::size_t capacity) {
    const std::size_t start = pos_;
    const void* nul =
        start < data_.size() ? std::memchr(data_.data() + start, '\0', data_.size() - start) : nullptr;
    const std::size_t end =
        nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - data_.data()) : data_.size();
    pos_ = nul ? end + 1 : end;
    const std::size_t keep = capacity == 0 ? 0 : std::min(end - start, capacity - 1);
    return data_.substr(start, keep);
}

void ByteWriter::put_int32(int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    const char bytes[4] = {static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF),
                           static_cast<char>((u >> 16) & 0xFF), static_cast<char>((u >> 24) & 0xFF)};
    out_.append(bytes, 4);
}

int read_magic(ByteReader& reader, FileKind kind) {
    const std::string_view magic = reader.read_string(kMagicCapacity);
    for (int version = 1; version <= kWrittenVersion; ++version)
        if (magic == magic_of(kind, version)) return version;
    return 0;
}

FileStatus read_end_mark(ByteReader& reader) {
    return reader.read_string(kMagicCapacity) == kEndMark ? FileStatus::ok : FileStatus::cut_off;
}

FileStatus read_part(Part& part, ByteReader& reader, int version) {
    clear_slot(part);  // also clears `selected` and the box
    uint8_t flags = 0;
    if (!reader.read_byte(flags)) return FileStatus::cut_off;
    part.in_use = flags & bit_of(FlagBit::in_use);
    part.icon = flags & bit_of(FlagBit::icon);
    part.always_opaque = flags & bit_of(FlagBit::always_opaque);
    part.no_space_click_select = flags & bit_of(FlagBit::no_space_click_select);
    part.flip_h = flags & bit_of(FlagBit::flip_h);
    part.flip_v = flags & bit_of(FlagBit::flip_v);
    part.no_mirror_table = flags & bit_of(FlagBit::no_mirror_table);
    if (part.in_use) {
        part.is_label = reader.next_byte() != 0;
        part.x = reader.read_int32();
        part.y = reader.read_int32();
        if (version >= 3) {
            part.border_left = reader.read_int32();
            part.border_right = reader.read_int32();
        }
        reader.read_string(part.text);
        reader.read_string(part.comment);
        reader.read_string(part.name);
    }
    return FileStatus::ok;
}

void write_part(const Part& part, ByteWriter& writer, int version) {
    uint8_t flags = 0;
    if (part.in_use) flags |= bit_of(FlagBit::in_use);
    if (part.icon) flags |= bit_of(FlagBit::icon);
    if (part.always_opaque) flags |= bit_of(FlagBit::always_opaque);
    if (part.no_space_click_select) flags |= bit_of(FlagBit::no_space_click_select);
    if (part.flip_h) flags |= bit_of(FlagBit::flip_h);
    if (part.flip_v) flags |= bit_of(FlagBit::flip_v);
    if (part.no_mirror_table) flags |= bit_of(FlagBit::no_mirror_table);
    writer.put_byte(flags);
    if (!part.in_use) return;
    writer.put_byte(part.is_label ? 1 : 0);
    writer.put_int32(part.x);
    writer.put_int32(part.y);
    if (version >= 3) {
        writer.put_int32(part.border_left);
        writer.put_int32(part.border_right);
    }
    writer.put_string(get_string(part.text));
    writer.put_string(get_string(part.comment));
    writer.put_string(get_string(part.name));
}

FileStatus check_file_bytes(std::string_view bytes, FileKind kind) {
    ByteReader reader(bytes);
    const int version = read_magic(reader, kind);
    if (version == 0) return FileStatus::wrong_magic;
    int records = kPartsPerPage;
    if (kind == FileKind::collection) records = kPreviewPages * kPartsPerPage;
    if (kind == FileKind::library) {
        records = kLibraryPages * kPartsPerPage;
        for (int p = 0; p < kLibraryPages; ++p) reader.read_string(kNameCapacity);
    }
    const auto scratch = std::make_unique<Part>();
    for (int i = 0; i < records; ++i)
        if (read_part(*scratch, reader, version) != FileStatus::ok) return FileStatus::cut_off;
    if (kind == FileKind::collection && version >= 2)
        for (int i = 0; i < kPreviewPages * RenderSettings::kCount; ++i) reader.next_byte();
    return read_end_mark(reader);
}

std::size_t stored_part_bound(const Part& part) {
    if (!part.in_use) return 1;
    return 2 + 4 * sizeof(int32_t) + kTextCapacity + kCommentCapacity + kNameCapacity;
}

FileStatus read_file_bytes(const std::string& path, FileKind kind, std::string& bytes) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && st.st_size > kLargeFile && is_other_kind_of_file(path, kind))
        return FileStatus::wrong_magic;
    try {
        if (!read_whole_file(path, bytes).ok) return FileStatus::cannot_open_for_reading;
    } catch (const std::bad_alloc&) {
        bytes = std::string();
        return FileStatus::cannot_open_for_reading;
    }
    return FileStatus::ok;
}

FileStatus write_file_bytes(const std::string& path, std::string_view bytes) {
    return write_file_atomically(path, bytes).ok ? FileStatus::ok : FileStatus::cannot_open_for_writing;
}

}  // namespace glyphora
