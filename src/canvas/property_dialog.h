#pragma once
// The part detail dialog: every field of one Part, the character palettes, a free character sample kept
// in the settings file and a button that starts the desktop's character map. It edits a working copy and
// writes it back over the caller's record only when the user confirms and the checks pass.

#include <QDialog>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/books.h"
#include "model/part.h"
#include "model/side.h"
#include "session/app_context.h"
#include "system/encoding.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace glyphora {

class PalettesWidget;

inline constexpr const char* kPartDialogCaption = "パーツの詳細設定";
inline constexpr const char* kIntegerRequiredMessage = "整数を入力してください。";
inline constexpr const char* kEmptyNameMessage = "名前が空っぽです";
inline constexpr const char* kEmptyTextMessage = "本体が空っぽでは登録できません";

// Window titles the callers use.
inline constexpr const char* kPreviewPartTitle = "パーツ登録情報";        // preview canvas double click
inline constexpr const char* kLibraryPartTitle = "ライブラリの登録情報";  // library canvas, list, button
inline constexpr const char* kPreviewDetailTitle = "登録情報";            // preview list and button
inline constexpr const char* kPreviewRegisterTitle = "プレビューに登録";
inline constexpr const char* kLibraryRegisterTitle = "ライブラリに登録";

// The desktop character map programs tried for the "charmap.exe" button, in order.
std::vector<std::string> character_map_programs();

// A number typed into an integer field: optional blanks, an optional sign and decimal digits that fit
// into 32 bits. Anything else is not an integer.
std::optional<int32_t> parse_integer_field(std::string_view text);

// The boolean fields of a Part, in the order of their check boxes.
enum class PartFlag { is_label, icon, always_opaque, no_space_click_select, flip_h, flip_v, no_mirror_table };

class CPropertyDialog : public QDialog {
    Q_OBJECT

  public:
    // working is read now and written only by a confirmed OK.
    CPropertyDialog(AppContext& context, Part& working, std::string_view title, QWidget* parent);
    ~CPropertyDialog() override;

    // Puts the selected palette character on the clipboard and inserts it at the caret of the part text,
    // replacing the selection there.
    void character_picked();

    PalettesWidget* palettes() const { return palettes_; }

    QLineEdit* name_edit() const { return name_edit_; }
    QPlainTextEdit* comment_edit() const { return comment_edit_; }
    QPlainTextEdit* text_edit() const { return text_edit_; }
    QPlainTextEdit* sample_edit() const { return sample_edit_; }
    QLineEdit* x_edit() const { return x_edit_; }
    QLineEdit* y_edit() const { return y_edit_; }
    QLineEdit* border_left_edit() const { return border_left_edit_; }
    QLineEdit* border_right_edit() const { return border_right_edit_; }
    QCheckBox* flag_box(PartFlag flag) const { return flag_boxes_[static_cast<int>(flag)]; }
    QPushButton* charmap_button() const { return charmap_button_; }
    QPushButton* ok_button() const { return ok_button_; }
    QPushButton* cancel_button() const { return cancel_button_; }

  public Q_SLOTS:
    // OK: the confirmation check; the dialog stays open when it refuses.
    void accept() override;

  private:
    void build_controls();
    void load_fields();
    void start_character_map();

    // The Shift_JIS form of a text field with CR LF line breaks, cut to capacity - 1 bytes at a whole
    // character; the stored bytes when the field is as it was shown. Nothing, after telling the user which
    // character it is, when code page 932 cannot hold the text.
    std::optional<std::string> field_bytes(QWidget* field, const QString& text, const QString& shown,
                                           std::string_view stored, const char* field_name,
                                           std::size_t capacity);
    // The same for the part's text, shown with its references as their characters: what the user did not
    // edit keeps its stored bytes, new characters code page 932 lacks become references and the web's
    // spaces their markup (ShownPartText).
    std::optional<std::string> part_text_bytes();
    void refuse_field(QWidget* field, const std::string& message);
    bool read_integer(QLineEdit* edit, int32_t& value);
    bool save_sample();

    AppContext& ctx_;
    Part& working_;
    std::string charmap_program_;

    // What each text field showed when the dialog opened: an untouched field keeps its stored bytes.
    QString shown_name_, shown_comment_, shown_text_, shown_sample_;
    std::string stored_sample_;
    std::optional<ShownPartText> part_text_;

    PalettesWidget* palettes_ = nullptr;
    QLineEdit* name_edit_ = nullptr;
    QPlainTextEdit* comment_edit_ = nullptr;
    QPlainTextEdit* text_edit_ = nullptr;
    QPlainTextEdit* sample_edit_ = nullptr;
    QLineEdit* x_edit_ = nullptr;
    QLineEdit* y_edit_ = nullptr;
    QLineEdit* border_left_edit_ = nullptr;
    QLineEdit* border_right_edit_ = nullptr;
    QCheckBox* flag_boxes_[7] = {};
    QPushButton* charmap_button_ = nullptr;
    QPushButton* ok_button_ = nullptr;
    QPushButton* cancel_button_ = nullptr;
};

// One run of the dialog: the record it edits in place and what follows a store.
struct PropertyDialogRequest {
    QWidget* parent = nullptr;  // the window the dialog is modal to
    Part* part = nullptr;       // the record edited in place
    std::string_view title;
    UndoKind undo_kind = UndoKind::none;  // the snapshot taken just before the store
    int undo_slot = 0;
    Sides changed;  // the sides shown again after a store; none when the caller does that itself
};

// Runs the part detail dialog. False when another one is open or the user cancelled; true when the user
// confirmed, whether or not the entry was then stored (an empty text without the label flag is refused
// with a message, leaving the part as it was). A stored entry is in use and selected with a zero box.
bool run_property_dialog(AppContext& ctx, const PropertyDialogRequest& request);

// True while a part detail dialog is open.
bool property_dialog_open();

}  // namespace glyphora
