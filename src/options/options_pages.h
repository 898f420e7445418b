#pragma once
// The four pages of the options sheet. Each page is filled from the settings in memory when it is built
// and hands its edits over with take(), which fills OptionsValues or names the first field that cannot be
// taken. Nothing is stored by a page: the sheet stores what the pages took, on OK.

#include <QWidget>

#include <array>
#include <memory>
#include <optional>

#include "options/options_fields.h"
#include "session/app_context.h"
#include "settings/settings.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace glyphora {

// What the sheet edits: the settings in memory and the current preview page's own rendering record.
struct OptionsValues {
    Settings settings;
    RenderSettings page_settings;
};

class OptionsPage : public QWidget {
    Q_OBJECT

  public:
    using QWidget::QWidget;
    // Puts the page's values into values, or returns the first field (top to bottom) that cannot be taken.
    virtual std::optional<FieldProblem> take(OptionsValues& values) const = 0;
};

// "起動関連": the library choice at start-up, the main dialog's font size and the rendering font.
class OptionDialogKd : public OptionsPage {
    Q_OBJECT

  public:
    OptionDialogKd(AppContext& context, QWidget* parent = nullptr);
    std::optional<FieldProblem> take(OptionsValues& values) const override;

    QCheckBox* multilibrary_box() const { return multilibrary_; }
    QLineEdit* library_field() const { return library_; }
    QLineEdit* totalfontsize_field() const { return totalfontsize_; }
    QLineEdit* fontface_field() const { return fontface_->edit(); }
    QLineEdit* fontpoint_field() const { return fontpoint_; }

  private:
    QCheckBox* multilibrary_ = nullptr;
    QLineEdit* library_ = nullptr;
    QLineEdit* totalfontsize_ = nullptr;
    std::unique_ptr<ByteField> fontface_;
    QLineEdit* fontpoint_ = nullptr;
};

// "ディレクトリ": the character set file and the two mirror table files, each with a browse button.
class OptionDialogDir : public OptionsPage {
    Q_OBJECT

  public:
    static constexpr int kRows = 3;  // asciiset_filename, hanten_filename, hanten_filename2

    OptionDialogDir(AppContext& context, QWidget* parent = nullptr);
    std::optional<FieldProblem> take(OptionsValues& values) const override;

    QLineEdit* path_field(int row) const { return paths_[row]->edit(); }
    QPushButton* browse_button(int row) const { return browse_[row]; }
    // The "..." button of a row: a file-open dialog that starts at the row's path (or its default name)
    // and puts the chosen path into the row.
    void browse(int row);

  private:
    AppContext& ctx_;
    std::array<std::unique_ptr<ByteField>, kRows> paths_;
    std::array<QPushButton*, kRows> browse_{};
};

// "レンダリング": the per-page switch and the eight rendering flags, of the whole program or of the current
// preview page; below them the exact-alignment fill and its Unicode spaces, which are global only and so
// stand outside the group and keep their state whichever record the group shows.
class OptionDialogRender : public OptionsPage {
    Q_OBJECT

  public:
    OptionDialogRender(AppContext& context, QWidget* parent = nullptr);
    std::optional<FieldProblem> take(OptionsValues& values) const override;

    QCheckBox* pageflag_box() const { return pageflag_; }
    QGroupBox* group() const { return group_; }
    QCheckBox* flag_box(int i) const { return flags_[i]; }
    QCheckBox* exactfill_box() const { return exactfill_; }
    QCheckBox* unicodefill_box() const { return unicodefill_; }

  private:
    // Shows the record the switch selects, from memory: edits made to the other set are dropped.
    void show_selected_record();

    AppContext& ctx_;
    // The preview page the sheet was opened on: the page scroll bar stays usable while the sheet is open,
    // and the per-page record shown is that page's.
    int page_ = 0;
    QCheckBox* pageflag_ = nullptr;
    QGroupBox* group_ = nullptr;
    std::array<QCheckBox*, RenderSettings::kCount> flags_{};
    QCheckBox* exactfill_ = nullptr;
    QCheckBox* unicodefill_ = nullptr;  // enabled only while exactfill_ is checked
};

// "その他のオプション": the ten texts the canvas popup menu offers as ready-made parts.
class OptionDialogEtc : public OptionsPage {
    Q_OBJECT

  public:
    OptionDialogEtc(AppContext& context, QWidget* parent = nullptr);
    std::optional<FieldProblem> take(OptionsValues& values) const override;

    QLineEdit* menu_field(int i) const { return menu_[i]->edit(); }

  private:
    std::array<std::unique_ptr<ByteField>, kMenuTextCount> menu_;
};

}  // namespace glyphora
