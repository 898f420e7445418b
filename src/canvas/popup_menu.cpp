#include "canvas/popup_menu.h"

#include <QAction>
#include <QMenu>

#include "canvas/canvas_window.h"
#include "system/encoding.h"

namespace glyphora {

namespace {

PopupItem item(PopupCommand command, const char* text) {
    PopupItem i;
    i.command = command;
    i.text = text;
    return i;
}

PopupItem check_item(PopupCommand command, const char* text, bool checked) {
    PopupItem i = item(command, text);
    i.checkable = true;
    i.checked = checked;
    return i;
}

PopupItem separator() {
    return PopupItem{};
}

// The menu shows a menu character as its own text; "&" would otherwise mark a shortcut.
std::string menu_label(const std::string& sjis, int index) {
    const Conversion utf8 = sjis_to_utf8(sjis);
    // A stored text that is not valid Shift_JIS still gets an item, named by its number.
    if (!utf8.ok) return std::to_string(index);
    std::string label;
    for (const char c : utf8.text) {
        if (c == '&') label += '&';
        label += (c == '\r' || c == '\n' || c == '\t') ? ' ' : c;
    }
    return label;
}

}  // namespace

std::vector<PopupItem> popup_menu_items(const CanvasState& state, const Settings& settings) {
    constexpr const char* kFrames = "非選択パーツはＢＯＸを非表示";
    constexpr const char* kUndo = "アンドゥ";
    std::vector<PopupItem> items;
    if (state.side == Side::library) {
        items.push_back(item(PopupCommand::update_library, "ライブラリ更新"));
        items.push_back(item(PopupCommand::register_from_library, "プレビューに登録"));
        items.push_back(separator());
        items.push_back(check_item(PopupCommand::toggle_frames, kFrames, state.boxflag));
        items.push_back(item(PopupCommand::undo, kUndo));
        return items;
    }
    items.push_back(item(PopupCommand::temporary_rendering, "一時レンダリング"));
    items.push_back(item(PopupCommand::temporary_rendering_clipboard, "一時レンダリング＆クリップボード送"));
    items.push_back(item(PopupCommand::rendering_options, "レンダリングオプション"));
    items.push_back(separator());
    items.push_back(item(PopupCommand::posts, "投稿"));
    items.push_back(item(PopupCommand::save_image, "画像として保存"));
    items.push_back(item(PopupCommand::save_image_double, "画像として保存（2倍）"));
    items.push_back(separator());
    items.push_back(item(PopupCommand::register_from_library, "ライブラリから登録"));
    items.push_back(separator());
    items.push_back(check_item(PopupCommand::toggle_frames, kFrames, state.boxflag));
    items.push_back(check_item(PopupCommand::toggle_blank_colouring, "一時レンダリングモード空白色分け",
                               state.blank_colouring));
    items.push_back(separator());
    items.push_back(item(PopupCommand::align_horizontally, "横方向にキレイに整列"));
    items.push_back(item(PopupCommand::undo, kUndo));
    bool first = true;
    for (int i = 0; i < kMenuTextCount; ++i) {
        const std::string& text = settings.menuchr[static_cast<std::size_t>(i)];
        if (text.empty()) continue;
        if (first) items.push_back(separator());
        first = false;
        PopupItem character;
        character.command = PopupCommand::menu_character;
        character.text = menu_label(text, i);
        character.menu_index = i;
        items.push_back(character);
    }
    return items;
}

void open_popup_menu(CanvasWindow& canvas, QPoint global_pos) {
    if (!canvas.popup_handler()) return;
    const std::vector<PopupItem> items = popup_menu_items(canvas.state(), canvas.context().settings);
    QMenu menu(&canvas);
    std::vector<std::pair<QAction*, const PopupItem*>> actions;
    for (const PopupItem& i : items) {
        if (i.command == PopupCommand::separator) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(QString::fromUtf8(i.text));
        action->setCheckable(i.checkable);
        action->setChecked(i.checked);
        actions.emplace_back(action, &i);
    }
    QAction* chosen = menu.exec(global_pos);
    if (!chosen) return;
    for (const auto& [action, i] : actions)
        if (action == chosen) canvas.popup_handler()(canvas, *i);
}

}  // namespace glyphora
