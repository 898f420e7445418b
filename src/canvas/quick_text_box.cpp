#include "canvas/quick_text_box.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>
#include <span>

#include "model/sjis.h"
#include "platform/qt_text.h"
#include "session/dialog_units.h"
#include "system/encoding.h"

namespace glyphora {

namespace {

constexpr const char* kBoxFace = "ＭＳ Ｐゴシック";
constexpr const char* kBoxFallbackFace = "Monapo";
constexpr int kBoxPointSize = 9;

}  // namespace

QuickTextBox::QuickTextBox(AppContext& context, QWidget* parent) : QDialog(parent), ctx_(context) {
    // No caption and no buttons; it stays above everything while the user types.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setModal(true);
    QFont box_font = font();
    box_font.setFamilies({QString::fromUtf8(kBoxFace), QString::fromUtf8(kBoxFallbackFace)});
    box_font.setPointSize(kBoxPointSize);
    setFont(box_font);

    // Without a frame from the window manager the box draws its own thin border.
    auto* border = new QFrame(this);
    border->setFrameShape(QFrame::Box);
    border->setLineWidth(1);
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(border);
    auto* inner = new QHBoxLayout(border);
    inner->setContentsMargins(1, 1, 1, 1);

    field_ = new QComboBox(border);
    field_->setEditable(true);
    // Enter confirms the text; it is not added to the list (the recent texts decide what the list holds).
    field_->setInsertPolicy(QComboBox::NoInsert);
    // No completion from the list: Enter after a typed prefix of a recent text must give what was typed.
    field_->setCompleter(nullptr);
    inner->addWidget(field_);
    // Keys arrive at the drop-down, the focus widget, which hands them to its line edit by a direct call
    // that no filter on the line edit would see; Enter is therefore taken at the drop-down itself. While
    // the list is open its own window has the keys, so Enter there picks a row without confirming.
    field_->installEventFilter(this);

    const DialogUnits du(box_font);
    setFixedSize(du.x(kQuickTextBoxWidth),
                 std::max(du.y(kQuickTextBoxHeight), field_->sizeHint().height() + 4));
    field_->view()->setMinimumHeight(du.y(kQuickTextListHeight) - du.y(kQuickTextBoxHeight));

    recent_ = read_recent_texts(ctx_.file());
    for (const std::string& entry : recent_)
        if (!entry.empty()) field_->addItem(sjis_to_qstring(entry));
    field_->setCurrentIndex(-1);
    field_->setEditText(QString());
}

QuickTextBox::~QuickTextBox() = default;

std::optional<std::string> QuickTextBox::run(QPoint screen_pos) {
    move(screen_pos);
    field_->setFocus();
    if (exec() != QDialog::Accepted) return std::nullopt;
    return result_;
}

bool QuickTextBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == field_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void QuickTextBox::accept() {
    std::string text, error;
    if (!qstring_to_part_text(field_->currentText(), text, error)) {
        ctx_.ui.show_message(this, error);
        field_->setFocus();
        return;
    }
    // A part holds at most kTextCapacity - 1 bytes; the cut never splits a character or a reference.
    result_ = std::string(part_text_prefix(text, kTextCapacity - 1));
    QDialog::accept();
}

std::vector<SettingsEntry> recent_text_entries(const std::array<std::string, kRecentTextCount>& recent,
                                               std::string_view text) {
    std::array<std::string, kRecentTextCount> entries = recent;
    std::vector<SettingsEntry> out;
    const auto found = std::find(entries.begin(), entries.end(), text);
    if (found != entries.end()) {
        out.push_back(setting_entry(settings_keys::mru(0), *found));
        found->clear();
    } else {
        out.push_back(setting_entry(settings_keys::mru(0), text));
    }
    int j = 1;
    for (std::string& entry : entries) {
        if (entry.empty()) continue;
        if (j == kRecentTextCount) break;
        out.push_back(setting_entry(settings_keys::mru(j), entry));
        entry.clear();
        ++j;
    }
    // A gap among the stored texts shortens the list; a key past its new end that still held a text would
    // show that text twice.
    for (; j < kRecentTextCount; ++j)
        if (!recent[static_cast<std::size_t>(j)].empty())
            out.push_back(setting_entry(settings_keys::mru(j), ""));
    return out;
}

IoResult update_recent_texts(SettingsFile& file, std::string_view text) {
    const std::vector<SettingsEntry> entries = recent_text_entries(read_recent_texts(file), text);
    return file.write(std::span(entries.data(), entries.size()));
}

}  // namespace glyphora
