#pragma once
// The quick text box: a small caption-less box that stays above every window, holding one editable
// drop-down with the recent texts, in which the text of a new part is typed right where the part will
// start. Enter confirms, Escape cancels. The recent texts live in the settings file only: the box reads
// them when it opens and update_recent_texts writes them after a confirmation.

#include <QDialog>
#include <QPoint>

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "session/app_context.h"
#include "settings/settings.h"

class QComboBox;

namespace glyphora {

// Size of the box in dialog units of its font.
constexpr int kQuickTextBoxWidth = 145;
constexpr int kQuickTextBoxHeight = 13;
constexpr int kQuickTextListHeight = 95;

class QuickTextBox : public QDialog {
    Q_OBJECT

  public:
    QuickTextBox(AppContext& context, QWidget* parent);
    ~QuickTextBox() override;

    // Shows the box modally with its top left corner at screen_pos. The confirmed text (Shift_JIS), or
    // nothing when cancelled.
    std::optional<std::string> run(QPoint screen_pos);

    QComboBox* field() const { return field_; }
    // The recent texts the box was filled from, entry 0 first (empty entries are not in the list).
    const std::array<std::string, kRecentTextCount>& recent() const { return recent_; }

  public Q_SLOTS:
    // Enter: the field's text becomes the result, a character code page 932 lacks as a numeric reference.
    // A character no part can hold (utf8_to_part_text) is named in a message and the box stays open.
    void accept() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    AppContext& ctx_;
    QComboBox* field_ = nullptr;
    std::array<std::string, kRecentTextCount> recent_;
    std::string result_;
};

// What update_recent_texts writes: the settings entries, in order, that make the confirmed text the most
// recent one (an equal entry moves to the front, the others follow in their order, at most 16 in all).
std::vector<SettingsEntry> recent_text_entries(const std::array<std::string, kRecentTextCount>& recent,
                                               std::string_view text);

// Moves text to the front of the recent texts in the settings file, in one write.
IoResult update_recent_texts(SettingsFile& file, std::string_view text);

}  // namespace glyphora
