#include "options/options_sheet.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "model/books.h"

namespace glyphora {

namespace {

constexpr const char* kWriteFailedMessage = "オプションを設定ファイルに保存できませんでした。\n";

}  // namespace

OptionsSheetResult run_options_sheet(AppContext& context, OptionsSheetKind kind, QWidget* parent) {
    if (context.options_open) return OptionsSheetResult::already_open;
    context.options_open = true;
    // Settings edited meanwhile would make an undo restore parts under other rendering settings.
    context.invalidate_undo();
    int result = QDialog::Rejected;
    {
        OptionsSheet sheet(context, kind, parent);
        // Modal to its opener only: the main dialog and the other canvas stay usable meanwhile, which is
        // what options_open guards.
        sheet.setWindowModality(Qt::WindowModal);
        result = sheet.exec();
    }
    context.options_open = false;
    return result == QDialog::Accepted ? OptionsSheetResult::confirmed : OptionsSheetResult::cancelled;
}

OptionsSheet::OptionsSheet(AppContext& context, OptionsSheetKind kind, QWidget* parent)
    : QDialog(parent), ctx_(context), kind_(kind), page_(context.docs->preview.current_page) {
    setObjectName(QStringLiteral("OptionsSheet"));
    setWindowTitle(QString::fromUtf8(kOptionsSheetTitle));
    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    layout->addWidget(tabs_);

    const bool full = kind == OptionsSheetKind::full;
    if (full) {
        add_page(kd_ = new OptionDialogKd(ctx_), "起動関連");
        add_page(dir_ = new OptionDialogDir(ctx_), "ディレクトリ");
    }
    add_page(render_ = new OptionDialogRender(ctx_), "レンダリング");
    if (full) add_page(etc_ = new OptionDialogEtc(ctx_), "その他のオプション");
    tabs_->setCurrentIndex(0);
    connect(tabs_, &QTabWidget::currentChanged, this, &OptionsSheet::tab_changed);

    // OK and Cancel only: the sheet has no Apply and no Help button.
    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    cancel_ = buttons->addButton(QString::fromUtf8("キャンセル"), QDialogButtonBox::RejectRole);
    ok_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &OptionsSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OptionsSheet::reject);
    layout->addWidget(buttons);
    setMinimumWidth(440);
}

void OptionsSheet::add_page(OptionsPage* page, const char* caption) {
    tabs_->addTab(page, QString::fromUtf8(caption));
    pages_.push_back(page);
}

void OptionsSheet::report(OptionsPage* page, const FieldProblem& problem) {
    switching_back_ = true;
    tabs_->setCurrentWidget(page);
    switching_back_ = false;
    shown_page_ = tabs_->currentIndex();
    if (auto* edit = qobject_cast<QLineEdit*>(problem.field)) {
        edit->setFocus();
        edit->selectAll();
    }
    ctx_.ui.show_message(this, problem.message);
}

void OptionsSheet::tab_changed(int index) {
    if (switching_back_) return;
    // A page whose fields cannot be taken cannot be left.
    if (shown_page_ >= 0 && shown_page_ < static_cast<int>(pages_.size()) && shown_page_ != index) {
        OptionsPage* left = pages_[shown_page_];
        OptionsValues scratch{ctx_.settings, ctx_.docs->preview.page_settings[page_]};
        if (const auto problem = left->take(scratch)) {
            report(left, *problem);
            return;
        }
    }
    shown_page_ = index;
}

void OptionsSheet::accept() {
    PreviewBook& preview = ctx_.docs->preview;
    OptionsValues values{ctx_.settings, preview.page_settings[page_]};
    // The page on show first, as the user sees it; then the others in tab order.
    std::vector<OptionsPage*> order{pages_[tabs_->currentIndex()]};
    for (OptionsPage* page : pages_)
        if (page != order.front()) order.push_back(page);
    for (OptionsPage* page : order) {
        if (const auto problem = page->take(values)) {
            report(page, *problem);
            return;
        }
    }
    store(values);
    QDialog::accept();
}

void OptionsSheet::store(const OptionsValues& values) {
    PreviewBook& preview = ctx_.docs->preview;
    Settings& s = ctx_.settings;
    if (kind_ == OptionsSheetKind::full) {
        s.multilibrary = values.settings.multilibrary;
        s.totalfontsize = values.settings.totalfontsize;
        s.fontpoint = values.settings.fontpoint;
        s.fontface = values.settings.fontface;
        s.asciiset_filename = values.settings.asciiset_filename;
        s.hanten_filename = values.settings.hanten_filename;
        s.hanten_filename2 = values.settings.hanten_filename2;
        s.menuchr = values.settings.menuchr;
    }
    s.render_pageflag = values.settings.render_pageflag;
    s.renderexactfill = values.settings.renderexactfill;  // global whichever record the group edited
    s.renderunicodefill = values.settings.renderunicodefill;
    // Per-page settings go into the current page's record (kept only in page collection files); the global
    // record then stays as it was and is written unchanged.
    if (s.render_pageflag) {
        RenderSettings& record = preview.page_settings[page_];
        const bool differs = !(record == values.page_settings);
        record = values.page_settings;
        // A page's own settings are saved with the collection.
        if (differs) ctx_.preview_modified();
    } else {
        s.render = values.settings.render;
    }
    const IoResult written = write_options(ctx_.file(), s, kind_ == OptionsSheetKind::full);
    // The settings hold in memory for this run either way; the user learns they will not survive it.
    if (!written.ok) ctx_.ui.show_message(this, kWriteFailedMessage + written.error);
}

}  // namespace glyphora
