#pragma once
// The items page files and library files are made of: NUL-terminated strings, single bytes and
// little-endian 32-bit integers, one after the other with nothing between them, framed by a magic string
// in front and an end mark at the back. Readers parse from a buffer holding the whole file; writers build
// the whole file in memory, so that it reaches the disk in one atomic replacement.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/part.h"
#include "storage/file_kind.h"
#include "storage/file_status.h"

namespace glyphora {

constexpr int kWrittenVersion = 3;
constexpr std::size_t kMagicCapacity = 64;
constexpr std::string_view kEndMark = "Glyphora-Endmark";
// The header of the recovery file (see recovery_file.h).
constexpr std::string_view kRecoveryMagic = "Glyphora-Recovery V001";

// "Glyphora-DatL V00n", "Glyphora-Data V00n" or "Glyphora-Libr V00n" for version 1 to 3.
std::string magic_of(FileKind kind, int version);

class ByteReader {
  public:
    explicit ByteReader(std::string_view data) : data_(data) {}

    bool at_end() const { return pos_ >= data_.size(); }
    std::size_t position() const { return pos_; }

    // False at the end of the data.
    bool read_byte(uint8_t& out) {
        if (pos_ >= data_.size()) return false;
        out = static_cast<uint8_t>(data_[pos_++]);
        return true;
    }
    // A byte where the format makes no end-of-data test: past the end it reads as 0, and the next test
    // (a flag byte or the end mark) reports the cut.
    uint8_t next_byte() {
        uint8_t b = 0;
        read_byte(b);
        return b;
    }
    // Little-endian two's complement; bytes past the end read as 0.
    int32_t read_int32();

    // A NUL-terminated string of at most capacity - 1 bytes: longer strings are read to their NUL and the
    // rest dropped, so the reading stays in step. The end of the data also ends a string.
    std::string_view read_string(std::size_t capacity);
    template <std::size_t N>
    void read_string(char (&dst)[N]) {
        set_string(dst, read_string(N));
    }

  private:
    std::string_view data_;
    std::size_t pos_ = 0;
};

class ByteWriter {
  public:
    explicit ByteWriter(std::string& out) : out_(out) {}
    void put_byte(uint8_t b) { out_.push_back(static_cast<char>(b)); }
    void put_int32(int32_t v);
    void put_string(std::string_view s) {
        out_.append(s);
        out_.push_back('\0');
    }

  private:
    std::string& out_;
};

// The version (1 to 3) named by the magic at the reader's position when it is one of `kind`'s; 0 otherwise.
int read_magic(ByteReader& reader, FileKind kind);
// ok when the next string is exactly the end mark, cut_off otherwise.
FileStatus read_end_mark(ByteReader& reader);

// One stored part record: a flag byte for every slot, the rest only for a used slot (the border values
// from version 3 on). cut_off when the data ends before the flag byte; the slot is then cleared. A cut
// inside the rest of the record is left to the next flag byte or the end mark to report.
FileStatus read_part(Part& part, ByteReader& reader, int version);
void write_part(const Part& part, ByteWriter& writer, int version);

// The status a reader of `kind` returns for these bytes, found by walking the whole file without storing
// anything. The all-or-nothing readers call it before they touch their target.
FileStatus check_file_bytes(std::string_view bytes, FileKind kind);

// The most bytes write_part can produce for this slot, for reserving the output.
std::size_t stored_part_bound(const Part& part);

// Reads the file whole: cannot_open_for_reading when it cannot be read. A file too large for a page file is
// first checked for a magic of `kind` (wrong_magic), so a wrong choice never pulls gigabytes into memory.
FileStatus read_file_bytes(const std::string& path, FileKind kind, std::string& bytes);
// Replaces the file atomically: cannot_open_for_writing on any failure, the previous file left intact.
FileStatus write_file_bytes(const std::string& path, std::string_view bytes);

}  // namespace glyphora
