#pragma once
// The commands behind the main dialog's part buttons (cut, copy, paste, fine movement, reorder, copy from
// the library), undo, load and save, the library page name and the two render commands. The buttons are
// connected by install_main_commands (command_groups.h); what the canvases share is declared here.

#include <string_view>

namespace glyphora {

struct AppContext;

// Messages and captions of the commands (UTF-8).
inline constexpr std::string_view kPasteOverflowMessage = "あふれるのでペーストできません";
inline constexpr std::string_view kLoadFailedMessage = "読み出しに失敗しました";
inline constexpr std::string_view kSaveFailedMessage = "保存に失敗しました";
inline constexpr std::string_view kPageFileFilter =
    "Glyphoraファイル(aap)|*.aap|Glyphora単体ファイル(aat)|*.aat|all files|*.*||";
inline constexpr std::string_view kPageFileExtension = "aap";
inline constexpr std::string_view kLibraryPageNameTitle = "ライブラリページ名";
// The main dialog's title once a page collection was loaded or saved: this and the collection's path.
inline constexpr std::string_view kCollectionTitlePrefix = "Glyphora - ";

// Moves every selected part in use of the current preview page by dx, dy and snaps its y to the line
// grid, truncating toward zero (y 5 becomes 0, y -5 becomes 0, y -20 becomes -18 with lines of 18).
// Takes the undo snapshot first: the one slot's (kind 2) for a single part, the page's (kind 0) for
// several; with nothing selected nothing moves and the snapshot stays. Positions saturate at the int32
// range. Returns the number of parts moved; 0 without a line grid (no font could be measured).
int move_selected(AppContext& ctx, int dx, int dy);

}  // namespace glyphora
