#include "collection/zip_archive.h"

#include <zip.h>

#include "exchange/aa_text.h"
#include "system/encoding.h"

namespace glyphora::collection {

namespace {

std::string error_text(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

// A member name as UTF-8: as it is when it is UTF-8, else read as Shift_JIS; backslashes (old Windows
// tools) become slashes.
std::string member_name(std::string_view raw) {
    std::string name;
    if (is_strict_utf8(raw)) {
        name = raw;
    } else {
        // Converted first: a backslash byte in Shift_JIS may be the second half of a character.
        name = sjis_to_utf8_lenient(raw);
    }
    for (char& c : name)
        if (c == '\\') c = '/';
    return name;
}

}  // namespace

std::unique_ptr<ZipArchive> ZipArchive::open(const std::string& path, std::string& error) {
    int code = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_RDONLY, &code);
    if (zip == nullptr) {
        error = "cannot read the ZIP file: " + error_text(code);
        return nullptr;
    }
    std::unique_ptr<ZipArchive> archive(new ZipArchive);
    archive->zip_ = zip;
    const zip_int64_t count = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(zip, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW, &st) != 0) continue;
        if ((st.valid & ZIP_STAT_NAME) == 0 || st.name == nullptr) continue;
        const std::string_view raw = st.name;
        if (raw.empty() || raw.back() == '/' || raw.back() == '\\') continue;  // a folder entry
        ZipMember member;
        member.name = member_name(raw);
        member.index = static_cast<std::uint64_t>(i);
        member.size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
        member.crc = (st.valid & ZIP_STAT_CRC) ? st.crc : 0;
        archive->members_.push_back(std::move(member));
    }
    return archive;
}

ZipArchive::~ZipArchive() {
    if (zip_ != nullptr) zip_discard(zip_);
}

const ZipMember* ZipArchive::find(std::string_view name) const {
    for (const ZipMember& m : members_)
        if (m.name == name) return &m;
    return nullptr;
}

bool ZipArchive::read(const ZipMember& member, std::uint64_t limit, std::string& out, std::string& error) {
    out.clear();
    if (member.size > limit) {
        error = "the member has " + std::to_string(member.size) + " bytes; an AA file may have at most " +
                std::to_string(limit);
        return false;
    }
    zip_file_t* file = zip_fopen_index(zip_, member.index, 0);
    if (file == nullptr) {
        error = "cannot read the member: " + std::string(zip_strerror(zip_));
        return false;
    }
    out.resize(static_cast<std::size_t>(member.size));
    std::size_t done = 0;
    bool ok = true;
    while (done < out.size()) {
        const zip_int64_t n = zip_fread(file, out.data() + done, out.size() - done);
        if (n < 0) {
            error = "cannot read the member: " + std::string(zip_file_strerror(file));
            ok = false;
            break;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    if (ok && done != out.size()) {
        error = "the member is shorter than the ZIP file says";
        ok = false;
    }
    // More bytes than the directory says: a damaged or hostile archive.
    // Reading on to the end also checks the member's CRC.
    char extra;
    if (const zip_int64_t n = ok ? zip_fread(file, &extra, 1) : 0; n > 0) {
        error = "the member is longer than the ZIP file says";
        ok = false;
    } else if (n < 0) {
        error = "the member is damaged: " + std::string(zip_file_strerror(file));
        ok = false;
    }
    zip_fclose(file);
    if (!ok) out.clear();
    return ok;
}

}  // namespace glyphora::collection
