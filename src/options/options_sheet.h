#pragma once
// The options property sheet "Glyphoraのオプション": four pages when opened from the main dialog, the
// rendering page alone when opened from a canvas. It edits copies of the settings; OK stores them in memory
// and in the settings file, Cancel drops them.

#include <QDialog>

#include <vector>

#include "options/options_pages.h"
#include "session/app_context.h"

class QPushButton;
class QTabWidget;

namespace glyphora {

inline constexpr const char* kOptionsSheetTitle = "Glyphoraのオプション";

enum class OptionsSheetKind {
    full,            // the main dialog's "オプション"
    rendering_only,  // the canvas popup's "レンダリングオプション"
};

enum class OptionsSheetResult {
    already_open,  // a sheet was open: nothing happened
    cancelled,     // nothing was stored
    confirmed,     // the edits are in memory and (unless writing failed, which was reported) in the file
};

// Shows the sheet modal to parent alone. While it is open context.options_open is set, which keeps load,
// save, tools, undo, rendering and the close request from running; opening it invalidates the undo
// snapshot. A request while a sheet is open does nothing.
OptionsSheetResult run_options_sheet(AppContext& context, OptionsSheetKind kind, QWidget* parent);

class OptionsSheet : public QDialog {
    Q_OBJECT

  public:
    // Fills the pages from the settings in memory; shown on its first page.
    OptionsSheet(AppContext& context, OptionsSheetKind kind, QWidget* parent = nullptr);

    OptionsSheetKind kind() const { return kind_; }
    QTabWidget* tabs() const { return tabs_; }
    QPushButton* ok_button() const { return ok_; }
    QPushButton* cancel_button() const { return cancel_; }
    // The pages of this sheet; the full sheet's pages are null in the rendering-only sheet.
    OptionDialogKd* kd_page() const { return kd_; }
    OptionDialogDir* dir_page() const { return dir_; }
    OptionDialogRender* render_page() const { return render_; }
    OptionDialogEtc* etc_page() const { return etc_; }

    // OK: every page hands over its edits, which are then stored. A field that cannot be taken keeps the
    // sheet open on its page, with a message.
    void accept() override;

  private:
    void add_page(OptionsPage* page, const char* caption);
    void tab_changed(int index);
    // Shows the page and the field of a problem and tells the user.
    void report(OptionsPage* page, const FieldProblem& problem);
    void store(const OptionsValues& values);

    AppContext& ctx_;
    OptionsSheetKind kind_;
    int page_;  // the preview page whose record the per-page settings are (the page may change meanwhile)
    QTabWidget* tabs_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    OptionDialogKd* kd_ = nullptr;
    OptionDialogDir* dir_ = nullptr;
    OptionDialogRender* render_ = nullptr;
    OptionDialogEtc* etc_ = nullptr;
    std::vector<OptionsPage*> pages_;  // in tab order
    int shown_page_ = 0;               // the page a tab change leaves
    bool switching_back_ = false;      // the tab is being set back: not a change of the user's
};

}  // namespace glyphora
