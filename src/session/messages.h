#pragma once
// Messages that more than one window of the program shows (UTF-8).

#include <string_view>

namespace glyphora {

// No free slot on the page for a new part.
inline constexpr std::string_view kRegisterErrorMessage = "登録エラー";
// Copying library parts into the preview stopped at a full page.
inline constexpr std::string_view kPreviewFullMessage = "プレビューに登録できる限界数です";
// Shown while the library file is written back, and when that fails.
inline constexpr const char* kUpdatingLibraryText = "ライブラリファイルを更新中・・・";
inline constexpr const char* kLibraryWriteFailedMessage = "ライブラリのファイルへの登録に失敗しました";

}  // namespace glyphora
