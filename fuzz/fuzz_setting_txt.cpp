// A board's SETTING.TXT on arbitrary bytes: parsing never crashes; a file it accepts gives a profile within
// the bounds every counter relies on, whose profiles-file text reads back as the same profile; a refused
// file leaves the profile as it was and says why.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "posting/board_profile.h"
#include "posting/post_count.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace glyphora::posting;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    BoardProfile profile = builtin_profile();
    std::string error;
    if (!parse_setting_txt(bytes, profile, error)) {
        check(!error.empty());
        check(profile == builtin_profile());
        return 0;
    }
    check(validate_profile(profile).empty());
    check(profile.lines_per_post % 2 == 0);
    ProfileList list;
    list.profiles = {builtin_profile(), profile};
    ProfileList read;
    if (profile.name != kBuiltinProfileName) {
        check(parse_profiles(format_profiles(list), read, error));
        check(read.profiles.size() == 2 && read.profiles[1] == profile);
    }
    // The file itself as a post: counting and splitting hold for any bytes.
    const PostCount c = count_post(bytes, profile);
    check(c.bytes >= 0 && c.lines >= 0);
    for (const Post& post : split_posts(bytes, profile)) check(!post.count.over() || post.count.lines <= 1);
    return 0;
}
