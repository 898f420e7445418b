#include "canvas/palettes_widget.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QListWidget>
#include <QTabBar>

#include <algorithm>
#include <string>

#include "model/sjis.h"
#include "platform/qt_text.h"
#include "render/part_markup.h"
#include "system/encoding.h"

namespace glyphora {

PalettesWidget::PalettesWidget(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    tabs_ = new QTabBar(this);
    tabs_->setShape(QTabBar::RoundedWest);
    tabs_->setExpanding(false);
    tabs_->setUsesScrollButtons(true);
    tabs_->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(tabs_, 0, Qt::AlignTop);

    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setUniformItemSizes(true);
    // Wide enough for one full-width character beside the scroll bar.
    list_->setFixedWidth(list_->fontMetrics().height() * 2 + 24);
    list_->viewport()->installEventFilter(this);
    layout->addWidget(list_);

    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
        if (!filling_) tab_changed(index);
    });
    connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
        if (filling_ || selected_character().empty()) return;
        picked_on_press_ = true;
        Q_EMIT picked();
    });
    // A click on the character that is already selected changes no selection, yet picks it again.
    connect(list_, &QListWidget::itemClicked, this, [this] {
        if (!picked_on_press_) Q_EMIT picked();
        picked_on_press_ = false;
    });
}

void PalettesWidget::set_palettes(const PaletteSet& palettes) {
    palettes_ = palettes;
    filling_ = true;
    while (tabs_->count() > 0) tabs_->removeTab(0);
    for (const Palette& p : palettes_) tabs_->addTab(sjis_to_qstring(p.name));
    current_tab_ = 0;
    tabs_->setCurrentIndex(0);
    filling_ = false;
    fill_list();
}

void PalettesWidget::tab_changed(int index) {
    current_tab_ = std::clamp(index, 0, kPaletteCount - 1);
    if (tabs_->currentIndex() != current_tab_) {
        filling_ = true;
        tabs_->setCurrentIndex(current_tab_);
        filling_ = false;
    }
    fill_list();
}

namespace {

// The characters of a palette's content, each as the palette holds it; a numeric reference is one character.
std::vector<std::string_view> palette_characters(std::string_view content) {
    std::vector<std::string_view> out;
    for (std::size_t pos = 0; pos < content.size();) {
        std::size_t length = static_cast<std::size_t>(char_at(content, pos).length);
        if (content[pos] == '&')
            if (const CharReference ref = match_reference(content, pos); ref.length > 0)
                length = static_cast<std::size_t>(ref.length);
        out.push_back(content.substr(pos, length));
        pos += length;
    }
    return out;
}

// A palette character longer than one byte that starts with "&" is a reference.
CharReference reference_in(std::string_view character) {
    return character.size() > 1 && character[0] == '&' ? match_reference(character, 0) : CharReference{};
}

}  // namespace

std::string PalettesWidget::selected_character() const {
    const QList<QListWidgetItem*> items = list_->selectedItems();
    return items.isEmpty() ? std::string() : items.front()->data(Qt::UserRole).toByteArray().toStdString();
}

std::vector<char32_t> PalettesWidget::referenced_code_points() const {
    std::vector<char32_t> out;
    for (const Palette& palette : palettes_)
        for (const std::string_view c : palette_characters(palette.content))
            if (const CharReference ref = reference_in(c); ref.length > 0) out.push_back(ref.code_point);
    return out;
}

void PalettesWidget::fill_list() {
    filling_ = true;
    list_->clear();
    for (const std::string_view c : palette_characters(palettes_[current_tab_].content)) {
        const CharReference ref = reference_in(c);
        const QString shown = ref.length > 0 && shows_as_itself(ref.code_point)
                                  ? QString::fromUcs4(&ref.code_point, 1)
                                  : sjis_to_qstring(c);
        auto* item = new QListWidgetItem(shown, list_);
        item->setData(Qt::UserRole, QByteArray(c.data(), static_cast<qsizetype>(c.size())));
        item->setTextAlignment(Qt::AlignCenter);
    }
    filling_ = false;
}

bool PalettesWidget::eventFilter(QObject* watched, QEvent* event) {
    // Each press starts a new click; whether it changes the selection is seen after it.
    if (watched == list_->viewport() && event->type() == QEvent::MouseButtonPress) picked_on_press_ = false;
    return QWidget::eventFilter(watched, event);
}

}  // namespace glyphora
