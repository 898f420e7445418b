#include "canvas/palettes_widget.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QListWidget>
#include <QTabBar>

#include <algorithm>
#include <string>

#include "model/sjis.h"
#include "platform/qt_text.h"

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
        if (filling_ || selected_code() < 0) return;
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

int PalettesWidget::selected_code() const {
    const QList<QListWidgetItem*> items = list_->selectedItems();
    return items.isEmpty() ? -1 : items.front()->data(Qt::UserRole).toInt();
}

void PalettesWidget::fill_list() {
    filling_ = true;
    list_->clear();
    for (const int code : palette_codes(palettes_[current_tab_].content)) {
        std::string bytes;
        append_code(bytes, code);
        auto* item = new QListWidgetItem(sjis_to_qstring(bytes), list_);
        item->setData(Qt::UserRole, code);
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
