#pragma once
// The tool dialog: operations on whole pages and books rather than on parts. Shifting the preview pages
// from the current one on, the library maintenance dialog, and exchanging pages between the preview, the
// library and library files. Every operation that is carried out closes the dialog; a declined shift
// leaves it open. The caller invalidates the undo snapshot before and refreshes everything after.

#include <QDialog>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "exchange/aa_export.h"
#include "exchange/aa_text.h"
#include "exchange/library_import.h"

class QPushButton;

namespace glyphora {

class MainDialog;
struct AppContext;

inline constexpr const char* kToolDialogTitle = "Glyphoraツール";

inline constexpr std::string_view kShiftBackQuestion = "一ページ後ろにずらしますか？";
inline constexpr std::string_view kShiftForwardQuestion = "一ページ前にずらしますか？";
inline constexpr std::string_view kReadIntoPreviewFailedMessage = "読み込みに失敗しました";
inline constexpr std::string_view kExportFailedMessage = "保存に失敗しました";
inline constexpr std::string_view kLibraryFileFilter = "Glyphoraライブラリ(aal)|*.aal|all files|*.*||";
inline constexpr std::string_view kLibraryFileExtension = "aal";
inline constexpr std::string_view kCollectionFileFilter = "Glyphoraファイル(aap)|*.aap|all files|*.*||";
inline constexpr std::string_view kCollectionFileExtension = "aap";
inline constexpr std::string_view kAaFileFilter = "AAファイル(mlt;ast;txt)|*.mlt;*.ast;*.txt|all files|*.*||";
inline constexpr std::string_view kAaExportFilter = "MLTファイル(mlt)|*.mlt|ASTファイル(ast)|*.ast||";
inline constexpr std::string_view kNotAnAaFileMessage = "MLT・AST・TXTファイルではありません";
inline constexpr std::string_view kNoAaMessage = "AAがありません";
inline constexpr std::string_view kNothingToExportMessage = "書き出すページがありません";
inline constexpr std::string_view kImportingAaText = "AAファイルを読み込み中・・・";
inline constexpr std::string_view kImportOutOfMemoryMessage =
    "メモリが足りないため、AAファイルを読み込めませんでした";

class ToolDialog : public QDialog {
    Q_OBJECT

  public:
    explicit ToolDialog(MainDialog& main_dialog);

    // The operations behind the buttons (object names in brackets).
    void shift_back();         // [shift_back]
    void shift_forward();      // [shift_forward]
    void organise_library();   // [organise_library]
    void open_into_preview();  // [open_into_preview]
    void export_preview();     // [export_preview]
    void export_library();     // [export_library]
    void import_aa_file();     // [import_aa_file]: MLT, AST or TXT into the library from its current page on
    void export_aa_file();     // [export_aa_file]: the preview's rendered pages as MLT or AST
    void open_collection();    // [open_collection]: the AA collection window

  private:
    void import_aa_file(const std::string& path, AaFormat format);
    QPushButton* add_button(const char* object_name, const char* caption, void (ToolDialog::*operation)());
    void refresh_preview_side();
    void report(int status, std::string_view failure);

    MainDialog& main_;
    AppContext& ctx_;
};

// The result message of an import: how many AAs went to which library pages, how many of which file did
// not fit, what was cut, and the characters kept as references. files are those the plan was made from.
std::string describe_aa_import(const ImportPlan& plan, std::span<const ImportFile> files,
                               const DecodeReport& report);

// The message for an AA file refused for its size: the file and the limit.
std::string describe_too_large_aa_file(const std::string& path, std::uint64_t size);

// The result message of an export of the preview's pages: how many were written, and the pages that lost a
// blank run.
std::string describe_aa_export(const PreviewExport& exported, std::size_t written);

// The "ツール" command: nothing while the options sheet is open; otherwise the undo snapshot is
// invalidated, the tool dialog runs, and afterwards the library page combo, both lists and both canvases
// are refreshed, whatever was done.
void run_tool_command(MainDialog& main_dialog);

}  // namespace glyphora
