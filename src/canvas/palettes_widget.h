#pragma once
// The palettes of the part detail dialog on screen: a vertical strip of eight tabs and, beside it, a
// one-column list of the current tab's characters. Choosing a character (a click, also on the character
// already selected, or moving the selection with the keys) reports it with picked().

#include <QWidget>

#include <string>
#include <vector>

#include "model/palettes.h"

class QListWidget;
class QTabBar;

namespace glyphora {

class PalettesWidget : public QWidget {
    Q_OBJECT

  public:
    explicit PalettesWidget(QWidget* parent);

    // Shows the eight palettes with their names, in index order, and the list of the first one.
    void set_palettes(const PaletteSet& palettes);
    // The current palette becomes index (held to 0..7, a negative index counts as 0); the list is filled
    // again.
    void tab_changed(int index);

    const PaletteSet& palettes() const { return palettes_; }
    int current_tab() const { return current_tab_; }
    // The selected character as the palette holds it: its Shift_JIS bytes, or a numeric reference as
    // written ("&#9825;"), which the list shows as the character itself. Empty when none is selected.
    std::string selected_character() const;
    // The code points of the references the palettes hold, for choosing the fonts that show them.
    std::vector<char32_t> referenced_code_points() const;

    QTabBar* tabs() const { return tabs_; }
    QListWidget* list() const { return list_; }

  Q_SIGNALS:
    void picked();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void fill_list();

    PaletteSet palettes_;
    int current_tab_ = 0;
    bool filling_ = false;
    bool picked_on_press_ = false;  // the click under way already reported its selection change
    QTabBar* tabs_ = nullptr;
    QListWidget* list_ = nullptr;
};

}  // namespace glyphora
