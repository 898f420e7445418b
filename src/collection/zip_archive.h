#pragma once
// A ZIP file of a collection, read in place (libzip): its members' names and sizes, and one member's bytes.
// Japanese ZIP tools write names in Shift_JIS without saying so; names that are no UTF-8 are read as
// Shift_JIS. Not thread-safe: one archive per thread.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

typedef struct zip zip_t;

namespace glyphora::collection {

struct ZipMember {
    std::string name;  // UTF-8, "/" between folders
    std::uint64_t index = 0;
    std::uint64_t size = 0;  // uncompressed
    std::uint32_t crc = 0;
};

class ZipArchive {
  public:
    static std::unique_ptr<ZipArchive> open(const std::string& path, std::string& error);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // The files (no folder entries), in the archive's order.
    const std::vector<ZipMember>& members() const { return members_; }
    const ZipMember* find(std::string_view name) const;
    // The member's bytes; refused when it is larger than limit.
    bool read(const ZipMember& member, std::uint64_t limit, std::string& out, std::string& error);

  private:
    ZipArchive() = default;
    zip_t* zip_ = nullptr;
    std::vector<ZipMember> members_;
};

}  // namespace glyphora::collection
