#include "options/options_pages.h"

#include <QCheckBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/books.h"
#include "platform/qt_text.h"

namespace glyphora {

namespace {

QString qs(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Captions of the eight rendering flags, in stored order ("&&" shows one "&").
constexpr std::array<const char*, RenderSettings::kCount> kRenderFlagCaptions = {
    "レンダリング結果に行番号をつける",
    "空白の中に「.」(ドット)を使用する",
    "&&nbsp;などを使用しない",
    "連続する半角スペースを _ 出力",
    "反転計算時 hanten.txt を使用しない",
    "反転時ずれにくいように処理",
    "レンダリング結果のサイズを追加",
    "ずれてもいいから半角連続スペースを徹底的に排除",
};

struct DirRow {
    const char* label;
    const char* name;  // how messages refer to the field
    const char* default_name;
};
constexpr std::array<DirRow, OptionDialogDir::kRows> kDirRows = {
    DirRow{"AAエディタの asciiset.txt", "asciiset.txt のパス", "asciiset.txt"},
    DirRow{"AAエディタの hanten.txt", "hanten.txt のパス", "hanten.txt"},
    DirRow{"(Ｙ反転用)", "hanten2.txt のパス", "hanten2.txt"},
};

constexpr const char* kBrowseFilter = "テキスト(txt)|*.txt|テキスト(tx)|*.tx|html|*.html|all files|*.*||";

std::string* dir_row_value(Settings& s, int row) {
    switch (row) {
        case 0:
            return &s.asciiset_filename;
        case 1:
            return &s.hanten_filename;
        default:
            return &s.hanten_filename2;
    }
}

QLineEdit* number_field(QWidget* parent, int tenths) {
    auto* field = new QLineEdit(format_points(tenths), parent);
    field->setMaximumWidth(80);
    return field;
}

// A point size field as the sheet stores it: tenths of a point, in single precision, truncated.
std::optional<FieldProblem> take_points(QLineEdit* field, int& tenths) {
    const std::optional<float> points = parse_points(field->text());
    if (!points) return FieldProblem{field, kEnterNumberMessage};
    if (!font_points_in_range(*points)) return FieldProblem{field, kFontPointsRangeMessage};
    tenths = tenths_from_points(*points);
    return std::nullopt;
}

}  // namespace

// --- 起動関連

OptionDialogKd::OptionDialogKd(AppContext& context, QWidget* parent) : OptionsPage(parent) {
    setObjectName(QStringLiteral("COptionDialogKd"));
    const Settings& s = context.settings;
    auto* layout = new QVBoxLayout(this);

    multilibrary_ = new QCheckBox(qs("起動時にライブラリを選択"), this);
    multilibrary_->setChecked(s.multilibrary);
    layout->addWidget(multilibrary_);

    auto* library_row = new QHBoxLayout;
    library_row->addWidget(new QLabel(qs("現在のライブラリ"), this));
    library_ = new QLineEdit(QFile::decodeName(QByteArray::fromStdString(context.library_path)), this);
    library_->setReadOnly(true);
    library_row->addWidget(library_, 1);
    layout->addLayout(library_row);
    layout->addSpacing(8);

    auto* size_row = new QHBoxLayout;
    size_row->addWidget(new QLabel(qs("メインダイアログのフォントポイント(要再起動)"), this));
    totalfontsize_ = number_field(this, s.totalfontsize);
    size_row->addWidget(totalfontsize_);
    size_row->addStretch(1);
    layout->addLayout(size_row);

    auto* font_group = new QGroupBox(qs("Font(要再起動)"), this);
    auto* font_row = new QHBoxLayout(font_group);
    auto* face = new QLineEdit(font_group);
    fontface_ =
        std::make_unique<ByteField>(face, ByteField::Kind::sjis_text, kFontFaceCapacity, "Font の名前");
    fontface_->set_value(s.fontface);
    font_row->addWidget(face, 1);
    fontpoint_ = number_field(font_group, s.fontpoint);
    font_row->addWidget(fontpoint_);
    layout->addWidget(font_group);
    layout->addStretch(1);
}

std::optional<FieldProblem> OptionDialogKd::take(OptionsValues& values) const {
    Settings& s = values.settings;
    s.multilibrary = multilibrary_->isChecked();
    if (auto problem = take_points(totalfontsize_, s.totalfontsize)) return problem;
    if (auto problem = fontface_->take(s.fontface)) return problem;
    if (auto problem = take_points(fontpoint_, s.fontpoint)) return problem;
    return std::nullopt;
}

// --- ディレクトリ

OptionDialogDir::OptionDialogDir(AppContext& context, QWidget* parent) : OptionsPage(parent), ctx_(context) {
    setObjectName(QStringLiteral("COptionDialogDir"));
    auto* layout = new QVBoxLayout(this);
    for (int row = 0; row < kRows; ++row) {
        layout->addWidget(new QLabel(qs(kDirRows[row].label), this));
        auto* line = new QHBoxLayout;
        auto* edit = new QLineEdit(this);
        paths_[row] =
            std::make_unique<ByteField>(edit, ByteField::Kind::path, kPathCapacity, kDirRows[row].name);
        paths_[row]->set_value(*dir_row_value(context.settings, row));
        line->addWidget(edit, 1);
        browse_[row] = new QPushButton(QStringLiteral("..."), this);
        browse_[row]->setAutoDefault(false);
        browse_[row]->setFixedWidth(32);
        connect(browse_[row], &QPushButton::clicked, this, [this, row] { browse(row); });
        line->addWidget(browse_[row]);
        layout->addLayout(line);
    }
    layout->addStretch(1);
}

std::optional<FieldProblem> OptionDialogDir::take(OptionsValues& values) const {
    for (int row = 0; row < kRows; ++row)
        if (auto problem = paths_[row]->take(*dir_row_value(values.settings, row))) return problem;
    return std::nullopt;
}

void OptionDialogDir::browse(int row) {
    FileDialogRequest request;
    request.filter = kBrowseFilter;
    request.default_extension = "txt";
    // The row's path as it would be stored; a field that cannot be stored yet still proposes its text.
    std::string path;
    if (paths_[row]->take(path)) path = QFile::encodeName(paths_[row]->edit()->text()).toStdString();
    request.proposed_name = path.empty() ? kDirRows[row].default_name : path;
    if (const std::optional<std::string> chosen = ctx_.ui.open_file(this, request))
        paths_[row]->set_value(*chosen);
}

// --- レンダリング

OptionDialogRender::OptionDialogRender(AppContext& context, QWidget* parent)
    : OptionsPage(parent), ctx_(context), page_(context.docs->preview.current_page) {
    setObjectName(QStringLiteral("COptionDialogRender"));
    auto* layout = new QVBoxLayout(this);
    pageflag_ = new QCheckBox(qs("ページ毎にレンダリング設定する"), this);
    pageflag_->setChecked(context.settings.render_pageflag);
    layout->addWidget(pageflag_);

    group_ = new QGroupBox(this);
    auto* group_layout = new QVBoxLayout(group_);
    for (int i = 0; i < RenderSettings::kCount; ++i) {
        flags_[i] = new QCheckBox(qs(kRenderFlagCaptions[i]), group_);
        group_layout->addWidget(flags_[i]);
    }
    layout->addWidget(group_);
    exactfill_ = new QCheckBox(qs("ずれを最小にする空白（実験的）"), this);
    exactfill_->setChecked(context.settings.renderexactfill);
    layout->addWidget(exactfill_);
    // A refinement of the box above, so it stands indented under it and works only while that is on; its
    // own state is kept either way.
    unicodefill_ = new QCheckBox(qs("Unicodeの空白も使う（文字参照）"), this);
    unicodefill_->setChecked(context.settings.renderunicodefill);
    unicodefill_->setToolTip(
        qs("「ずれを最小にする空白」がオンのときだけ働きます。1ドットや3ドットのように、通常の空白では"
           "文字を元の位置に置けない所にだけ、U+200A（1ドット）などの空白を数値文字参照で書き出します。"
           "参照1つにつき7～8バイト増えます。"));
    unicodefill_->setEnabled(exactfill_->isChecked());
    connect(exactfill_, &QCheckBox::toggled, unicodefill_, &QCheckBox::setEnabled);
    auto* indented = new QHBoxLayout;
    indented->addSpacing(20);
    indented->addWidget(unicodefill_);
    layout->addLayout(indented);
    layout->addStretch(1);

    show_selected_record();
    connect(pageflag_, &QCheckBox::toggled, this, [this] { show_selected_record(); });
}

void OptionDialogRender::show_selected_record() {
    const PreviewBook& preview = ctx_.docs->preview;
    const bool per_page = pageflag_->isChecked();
    group_->setTitle(per_page ? qs("このページ(%1)の設定").arg(page_) : qs("全体の設定"));
    const RenderSettings& record = per_page ? preview.page_settings[page_] : ctx_.settings.render;
    for (int i = 0; i < RenderSettings::kCount; ++i) flags_[i]->setChecked(record.flag(i));
}

std::optional<FieldProblem> OptionDialogRender::take(OptionsValues& values) const {
    values.settings.render_pageflag = pageflag_->isChecked();
    RenderSettings& record = values.settings.render_pageflag ? values.page_settings : values.settings.render;
    for (int i = 0; i < RenderSettings::kCount; ++i) record.flag(i) = flags_[i]->isChecked();
    values.settings.renderexactfill = exactfill_->isChecked();
    values.settings.renderunicodefill = unicodefill_->isChecked();
    return std::nullopt;
}

// --- その他のオプション

OptionDialogEtc::OptionDialogEtc(AppContext& context, QWidget* parent) : OptionsPage(parent) {
    setObjectName(QStringLiteral("COptionDialogEtc"));
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(qs("メニュー入力文字"), this);
    auto* grid = new QGridLayout(group);
    for (int i = 0; i < kMenuTextCount; ++i) {
        // The popup menu offers the texts as its items "0" to "9".
        grid->addWidget(new QLabel(QString::number(i), group), i, 0);
        auto* edit = new QLineEdit(group);
        menu_[i] = std::make_unique<ByteField>(edit, ByteField::Kind::sjis_text, kMenuTextCapacity,
                                               "メニュー入力文字 " + std::to_string(i));
        menu_[i]->set_value(context.settings.menuchr[i]);
        grid->addWidget(edit, i, 1);
    }
    layout->addWidget(group);
    layout->addStretch(1);
}

std::optional<FieldProblem> OptionDialogEtc::take(OptionsValues& values) const {
    for (int i = 0; i < kMenuTextCount; ++i)
        if (auto problem = menu_[i]->take(values.settings.menuchr[i])) return problem;
    return std::nullopt;
}

}  // namespace glyphora
