#pragma once
// Counting, checking and splitting a rendered page as the board it is posted to will see it. The rendered
// text is Shift_JIS with CR LF line breaks, exactly the bytes the copy puts on the clipboard.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/part.h"
#include "posting/board_profile.h"

namespace glyphora::posting {

struct PostCount {
    int bytes = 0;       // as the server counts them, after escaping
    int lines = 0;       // text lines; a final line break does not start another
    int references = 0;  // numeric character references
    bool over_bytes = false;
    bool over_lines = false;
    bool over() const { return over_bytes || over_lines; }
};

PostCount count_post(std::string_view rendered_sjis, const BoardProfile& profile);

// The same page split into the text lines a post is made of (without their CR LF); a final line break
// ends the last line rather than starting an empty one.
std::vector<std::string_view> split_lines(std::string_view text);

enum class FindingKind {
    leading_space,      // a half-width space at a line start: HTML drops it
    double_space,       // two half-width spaces in a row: HTML shows one
    garbled_reference,  // a numeric reference on a board that garbles them
    unencodable,        // a character the board's encoding cannot carry
    over_bytes,         // the post is over its byte budget
    over_lines,         // the post is over its line budget
};

enum class Severity { warning, error };

struct Finding {
    FindingKind kind = FindingKind::leading_space;
    Severity severity = Severity::warning;
    int line = 0;           // 1-based, in the text checked; 0 for the post as a whole
    int slot = -1;          // the part whose own text holds the space (0-based slot), -1 when none is known
    std::string part_name;  // that part's name (Shift_JIS), may be empty
    std::string message;    // UTF-8, for the user, without the line number
    bool fixable = false;   // fix_part_text can mend it under the page's render flags
};

// Where each line of a rendered page came from, so that space findings can name a part.
struct PageSource {
    const Page* page = nullptr;
    int line_height = 18;  // of the width table the page was rendered with
    RenderSettings settings;
    bool line_numbers = false;  // rendered with render_linenumber (a "NN : " prefix)
};

// The findings of a rendered page (or one post of it), in line order. With a source, the parts' own texts
// are checked for leading and doubled half-width spaces too, each finding at the rendered line the part's
// line lands on, naming the part.
std::vector<Finding> check_page(std::string_view rendered_sjis, const BoardProfile& profile,
                                const PageSource* source = nullptr);

// The text of a part with each half-width space that starts a line or follows another half-width space
// written so that HTML keeps it: "&nbsp;" where the flags allow entities, "." where they allow only dots.
// nullopt when the flags allow neither, or when nothing needs mending.
std::optional<std::string> fix_part_text(std::string_view part_text, const RenderSettings& settings);

struct Post {
    std::string_view text;  // a slice of the page, without the line break that joins it to the next post
    int first_line = 1;     // 1-based line of the page it starts at
    PostCount count;
};

// Splits a page into posts at line boundaries, each within the profile's budget where a line boundary
// allows: a post ends at the last blank line that keeps it within budget, or, when there is none, at the
// last line that does. A line that alone is over budget makes a post of its own, over budget. Joined with
// CR LF between them, the posts give the page back. A page within budget is one post.
std::vector<Post> split_posts(std::string_view rendered_sjis, const BoardProfile& profile);

// The text a post is copied as, UTF-8 for the clipboard: the Shift_JIS text converted character by
// character, references kept as written. nullopt when it holds a byte that is no Shift_JIS character.
std::optional<std::string> post_clipboard_text(std::string_view post_sjis, const BoardProfile& profile);

// "1,834 / 4,096 バイト · 32 / 60 行"
std::string format_count(const PostCount& count, const BoardProfile& profile);

}  // namespace glyphora::posting
