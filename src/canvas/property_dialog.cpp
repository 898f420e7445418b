#include "canvas/property_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>

#include "canvas/canvas_window.h"
#include "canvas/glyph_font.h"
#include "canvas/palettes_widget.h"
#include "model/books.h"
#include "model/palettes.h"
#include "model/sjis.h"
#include "platform/qt_text.h"
#include "render/part_markup.h"
#include "session/dialog_units.h"
#include "settings/settings.h"
#include "system/encoding.h"

namespace glyphora {

namespace {

// The edit's text with its no-break spaces kept: toPlainText() turns them into plain spaces, which would
// lose the width of a web space pasted from a board.
QString text_with_web_spaces(const QPlainTextEdit* edit) {
    QString text = edit->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

// One detail dialog at a time, program-wide: the canvases stay usable while it is open.
bool g_part_dialog_open = false;

class OpenFlag {
  public:
    OpenFlag() { g_part_dialog_open = true; }
    ~OpenFlag() { g_part_dialog_open = false; }
    OpenFlag(const OpenFlag&) = delete;
    OpenFlag& operator=(const OpenFlag&) = delete;
};

// Captions of the check boxes, in PartFlag order.
constexpr std::array<const char*, 7> kFlagCaptions = {
    "ラベル",
    "アイコン",
    "必ず不透明",
    "space+左click時選択しない",
    "横反転",
    "縦反転",
    "反転時hanten.txtを使用しない",
};

bool& flag_of(Part& part, PartFlag flag) {
    switch (flag) {
        case PartFlag::is_label:
            return part.is_label;
        case PartFlag::icon:
            return part.icon;
        case PartFlag::always_opaque:
            return part.always_opaque;
        case PartFlag::no_space_click_select:
            return part.no_space_click_select;
        case PartFlag::flip_h:
            return part.flip_h;
        case PartFlag::flip_v:
            return part.flip_v;
        case PartFlag::no_mirror_table:
            break;
    }
    return part.no_mirror_table;
}

// Stored text as an edit shows it: CR LF (or a lone CR) becomes one line break. Neither byte can be the
// second half of a Shift_JIS character, so bytes can be looked at one by one.
QString shown_lines(std::string_view sjis) {
    std::string lines;
    lines.reserve(sjis.size());
    for (std::size_t i = 0; i < sjis.size(); ++i) {
        if (sjis[i] == '\r') {
            lines.push_back('\n');
            if (i + 1 < sjis.size() && sjis[i + 1] == '\n') ++i;
        } else {
            lines.push_back(sjis[i]);
        }
    }
    return sjis_to_qstring(lines);
}

// Line breaks of an edit's text as the model stores them (CR LF).
std::string stored_lines(std::string_view sjis) {
    std::string out;
    out.reserve(sjis.size() + 16);
    for (const char c : sjis) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

// The families of the fonts the canvases draw these characters with where the rendering font lacks them, in
// the order first needed.
QStringList fallback_families(const Settings& settings, std::vector<char32_t> code_points) {
    QStringList families;
    if (code_points.empty()) return families;
    std::sort(code_points.begin(), code_points.end());
    code_points.erase(std::unique(code_points.begin(), code_points.end()), code_points.end());
    const GlyphFont drawing(settings.fontface, settings.fontpoint);
    for (const char32_t cp : code_points) {
        const GlyphFont::CodePointGlyph glyph = drawing.code_point_glyph(cp);
        if (!glyph.font || glyph.font == &drawing.raw()) continue;
        if (const QString family = glyph.font->familyName(); !families.contains(family))
            families.append(family);
    }
    return families;
}

QPlainTextEdit* make_text_edit(QWidget* parent, int lines) {
    auto* edit = new QPlainTextEdit(parent);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit->setTabChangesFocus(true);
    if (lines > 0) {
        const int line = edit->fontMetrics().lineSpacing();
        edit->setFixedHeight(line * lines + 2 * edit->frameWidth() + 8);
    }
    return edit;
}

QLineEdit* make_integer_edit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("-0000000")));
    return edit;
}

}  // namespace

std::vector<std::string> character_map_programs() {
    return {"gucharmap", "gnome-characters", "kcharselect"};
}

std::optional<int32_t> parse_integer_field(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        // A value that does not fit is not taken for some other number.
        if (value > static_cast<long long>(std::numeric_limits<int32_t>::max()) + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(value);
}

CPropertyDialog::CPropertyDialog(AppContext& context, Part& working, std::string_view title, QWidget* parent)
    : QDialog(parent), ctx_(context), working_(working) {
    setWindowTitle(QString::fromUtf8(kPartDialogCaption));
    // The dialog shows its text in the rendering face at the rendering size, so AA looks as it will.
    QFont dialog_font = font();
    dialog_font.setFamilies({sjis_to_qstring(ctx_.settings.fontface), QString::fromUtf8(kFallbackFace)});
    if (const int points = ctx_.settings.fontpoint / 10; points > 0) dialog_font.setPointSize(points);
    setFont(dialog_font);
    charmap_program_ = ctx_.ui.find_program(character_map_programs());
    build_controls();
    setWindowTitle(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
    palettes_->set_palettes(build_palettes(ctx_.settings.asciiset_filename));
    load_fields();
    // Characters written as references are shown in the fonts the canvases draw them with.
    std::vector<char32_t> referenced = palettes_->referenced_code_points();
    const std::string_view text = get_string(working_.text);
    BlankTable declared;
    for (std::size_t pos = read_blank_declarations(text, declared); pos < text.size();)
        if (const TextItem item = next_text_item(text, pos); item.kind == TextItemKind::reference)
            referenced.push_back(item.reference.code_point);
    const QStringList fallbacks = fallback_families(ctx_.settings, referenced);
    if (!fallbacks.isEmpty()) {
        dialog_font.setFamilies(dialog_font.families() + fallbacks);
        setFont(dialog_font);
    }
    // What the user types at once is the name, not a palette search.
    name_edit_->setFocus();
}

CPropertyDialog::~CPropertyDialog() = default;

void CPropertyDialog::build_controls() {
    auto* outer = new QHBoxLayout(this);

    palettes_ = new PalettesWidget(this);
    connect(palettes_, &PalettesWidget::picked, this, &CPropertyDialog::character_picked);
    outer->addWidget(palettes_);

    auto* fields = new QVBoxLayout;
    outer->addLayout(fields, 1);
    auto label = [this](const char* caption) { return new QLabel(QString::fromUtf8(caption), this); };
    for (int i = 0; i < static_cast<int>(kFlagCaptions.size()); ++i)
        flag_boxes_[i] = new QCheckBox(QString::fromUtf8(kFlagCaptions[static_cast<std::size_t>(i)]), this);

    auto* head = new QGridLayout;
    fields->addLayout(head);
    name_edit_ = new QLineEdit(this);
    head->addWidget(label("名前"), 0, 0);
    head->addWidget(name_edit_, 0, 1);
    head->addWidget(flag_box(PartFlag::is_label), 0, 2);
    head->addWidget(flag_box(PartFlag::icon), 0, 3);
    comment_edit_ = make_text_edit(this, 2);
    head->addWidget(label("コメント"), 1, 0, Qt::AlignTop);
    head->addWidget(comment_edit_, 1, 1, 1, 3);
    head->setColumnStretch(1, 1);

    auto* place = new QHBoxLayout;
    fields->addLayout(place);
    x_edit_ = make_integer_edit(this);
    y_edit_ = make_integer_edit(this);
    border_left_edit_ = make_integer_edit(this);
    border_right_edit_ = make_integer_edit(this);
    place->addWidget(label("ポジション"));
    place->addWidget(x_edit_);
    place->addWidget(y_edit_);
    place->addSpacing(16);
    place->addWidget(label("BORDER"));
    place->addWidget(border_left_edit_);
    place->addWidget(border_right_edit_);
    place->addStretch(1);

    auto* flags = new QGridLayout;
    fields->addLayout(flags);
    flags->addWidget(flag_box(PartFlag::always_opaque), 0, 0);
    flags->addWidget(flag_box(PartFlag::no_space_click_select), 0, 1, 1, 2);
    flags->addWidget(flag_box(PartFlag::flip_h), 1, 0);
    flags->addWidget(flag_box(PartFlag::flip_v), 1, 1);
    flags->addWidget(flag_box(PartFlag::no_mirror_table), 1, 2);
    flags->setColumnStretch(3, 1);

    fields->addWidget(label("パーツテキスト"));
    text_edit_ = make_text_edit(this, 0);
    // Enter makes a new line here; the text may be wider and longer than the edit.
    text_edit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text_edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    fields->addWidget(text_edit_, 1);

    auto* bottom = new QHBoxLayout;
    fields->addLayout(bottom);
    sample_edit_ = make_text_edit(this, 3);
    bottom->addWidget(sample_edit_, 1);
    auto* buttons = new QVBoxLayout;
    bottom->addLayout(buttons);
    charmap_button_ = new QPushButton(QStringLiteral("charmap.exe"), this);
    charmap_button_->setAutoDefault(false);
    // Offered only when the desktop has a character map program.
    charmap_button_->setEnabled(!charmap_program_.empty());
    connect(charmap_button_, &QPushButton::clicked, this, &CPropertyDialog::start_character_map);
    ok_button_ = new QPushButton(QStringLiteral("OK"), this);
    ok_button_->setDefault(true);
    connect(ok_button_, &QPushButton::clicked, this, &CPropertyDialog::accept);
    cancel_button_ = new QPushButton(QString::fromUtf8("ｷｬﾝｾﾙ"), this);
    cancel_button_->setAutoDefault(false);
    connect(cancel_button_, &QPushButton::clicked, this, &CPropertyDialog::reject);
    buttons->addWidget(charmap_button_);
    buttons->addWidget(ok_button_);
    buttons->addWidget(cancel_button_);

    const DialogUnits du(font());
    // Fits an 800 x 600 screen at the default 12 points.
    resize(du.x(330), du.y(250));
}

void CPropertyDialog::load_fields() {
    name_edit_->setText(sjis_to_qstring(get_string(working_.name)));
    shown_name_ = name_edit_->text();
    comment_edit_->setPlainText(shown_lines(get_string(working_.comment)));
    shown_comment_ = comment_edit_->toPlainText();
    part_text_.emplace(get_string(working_.text));
    text_edit_->setPlainText(QString::fromStdString(part_text_->utf8()));
    shown_text_ = text_with_web_spaces(text_edit_);
    x_edit_->setText(QString::number(working_.x));
    y_edit_->setText(QString::number(working_.y));
    border_left_edit_->setText(QString::number(working_.border_left));
    border_right_edit_->setText(QString::number(working_.border_right));
    for (int i = 0; i < static_cast<int>(kFlagCaptions.size()); ++i)
        flag_boxes_[i]->setChecked(flag_of(working_, static_cast<PartFlag>(i)));
    stored_sample_ = read_mojisample(ctx_.file());
    sample_edit_->setPlainText(shown_lines(decode_mojisample(stored_sample_)));
    shown_sample_ = sample_edit_->toPlainText();
}

std::optional<std::string> CPropertyDialog::field_bytes(QWidget* field, const QString& text,
                                                        const QString& shown, std::string_view stored,
                                                        const char* field_name, std::size_t capacity) {
    // An untouched field keeps its bytes exactly, even those no Unicode character stands for.
    if (text == shown) return std::string(stored);
    std::string sjis;
    std::string error;
    if (!qstring_to_sjis(text, sjis, error)) {
        refuse_field(field, std::string("「") + field_name +
                                "」に Shift_JIS で書けない文字があります。その文字を消してください。\n" +
                                error);
        return std::nullopt;
    }
    // The cut counts bytes but never leaves half a character behind.
    return std::string(whole_chars_prefix(stored_lines(sjis), capacity - 1));
}

std::optional<std::string> CPropertyDialog::part_text_bytes() {
    const QString text = text_with_web_spaces(text_edit_);
    if (text == shown_text_) return std::string(get_string(working_.text));
    const std::string edited = text.toStdString();
    const Conversion stored = part_text_->store(edited);
    if (!stored.ok) {
        refuse_field(text_edit_,
                     "「パーツテキスト」に入れられない文字があります。その文字を消してください。\n" +
                         describe_unmappable(edited, stored));
        return std::nullopt;
    }
    // Never inside a character, a reference or an entity.
    return std::string(part_text_prefix(stored.text, kTextCapacity - 1));
}

void CPropertyDialog::refuse_field(QWidget* field, const std::string& message) {
    ctx_.ui.show_message(this, message);
    field->setFocus();
}

bool CPropertyDialog::read_integer(QLineEdit* edit, int32_t& value) {
    const std::optional<int32_t> parsed = parse_integer_field(edit->text().toStdString());
    if (!parsed) {
        ctx_.ui.show_message(this, kIntegerRequiredMessage);
        edit->setFocus();
        edit->selectAll();
        return false;
    }
    value = *parsed;
    return true;
}

bool CPropertyDialog::save_sample() {
    std::string stored = stored_sample_;
    if (sample_edit_->toPlainText() != shown_sample_) {
        const auto bytes = field_bytes(sample_edit_, sample_edit_->toPlainText(), shown_sample_, {},
                                       "文字サンプル", kMojiSampleCapacity);
        if (!bytes) return false;
        stored = encode_mojisample(*bytes);
    }
    write_mojisample(ctx_.file(), stored);  // like every settings write, a failure is not reported
    ctx_.settings.mojisample = stored;
    return true;
}

void CPropertyDialog::accept() {
    const auto name = field_bytes(name_edit_, name_edit_->text(), shown_name_, get_string(working_.name),
                                  "名前", kNameCapacity);
    if (!name) return;
    const auto comment = field_bytes(comment_edit_, comment_edit_->toPlainText(), shown_comment_,
                                     get_string(working_.comment), "コメント", kCommentCapacity);
    if (!comment) return;
    const auto text = part_text_bytes();
    if (!text) return;
    int32_t x = 0, y = 0, border_left = 0, border_right = 0;
    if (!read_integer(x_edit_, x) || !read_integer(y_edit_, y) ||
        !read_integer(border_left_edit_, border_left) || !read_integer(border_right_edit_, border_right))
        return;

    // The sample is kept even when the name check below refuses.
    if (!save_sample()) return;
    if (name_edit_->text().isEmpty()) {
        ctx_.ui.show_message(this, kEmptyNameMessage);
        name_edit_->setFocus();
        return;
    }

    set_name(working_, *name);
    set_comment(working_, *comment);
    set_text(working_, *text);
    working_.x = x;
    working_.y = y;
    working_.border_left = border_left;
    working_.border_right = border_right;
    for (int i = 0; i < static_cast<int>(kFlagCaptions.size()); ++i)
        flag_of(working_, static_cast<PartFlag>(i)) = flag_boxes_[i]->isChecked();
    QDialog::accept();
}

void CPropertyDialog::character_picked() {
    const std::string bytes = palettes_->selected_character();
    if (bytes.empty()) return;
    // A reference goes on the clipboard as written and into the text as the character it stands for.
    const ShownPartText character(bytes);
    const Conversion shown =
        bytes.size() > 1 && bytes[0] == '&'
            ? Conversion{.ok = true, .text = character.utf8(), .error_offset = 0, .bad_char = {}}
            : sjis_to_utf8(bytes);
    if (!shown.ok) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(char_at(bytes, 0).code));
        ctx_.ui.show_message(this, std::string("文字コード ") + hex +
                                       " は Shift_JIS の文字ではないので、テキストに入れられません。");
        return;
    }
    ctx_.ui.set_clipboard_text(bytes);
    text_edit_->setFocus();
    text_edit_->insertPlainText(QString::fromStdString(shown.text));
}

void CPropertyDialog::start_character_map() {
    if (!charmap_program_.empty()) ctx_.ui.start_program(charmap_program_, {});  // the result is ignored
}

bool property_dialog_open() {
    return g_part_dialog_open;
}

bool run_property_dialog(AppContext& ctx, const PropertyDialogRequest& request) {
    if (g_part_dialog_open || !request.part) return false;
    const OpenFlag open;
    Part& part = *request.part;
    const auto working = std::make_unique<Part>(part);
    {
        CPropertyDialog dialog(ctx, *working, request.title, request.parent);
        // Only the window it was opened from waits; the canvases stay usable, which the open flag allows.
        dialog.setWindowModality(Qt::WindowModal);
        if (dialog.exec() != QDialog::Accepted) return false;
    }
    if (working->text[0] == '\0' && !working->is_label) {
        ctx.ui.show_message(request.parent, kEmptyTextMessage);
        return true;
    }
    working->in_use = true;
    working->selected = true;
    reset_box(*working);  // measured again at the next paint
    take_snapshot(ctx.docs->undo, request.undo_kind, ctx.preview_page(), ctx.library_page(),
                  request.undo_slot);
    part = *working;
    ctx.changed(request.changed);
    return true;
}

}  // namespace glyphora
