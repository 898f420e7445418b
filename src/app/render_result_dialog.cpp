#include "app/render_result_dialog.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/main_dialog.h"
#include "app/page_check_view.h"
#include "app/post_dialog.h"
#include "app/posting_session.h"

namespace glyphora {

namespace {

// The report's lines end in CR LF, as the text would in a file; the text field wants plain line feeds.
QString display_text(const ErrorReport& report) {
    QString text = QString::fromUtf8(render_result_text(report));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    while (text.endsWith(QLatin1Char('\n'))) text.chop(1);
    return text;
}

}  // namespace

RenderResultDialog::RenderResultDialog(const ErrorReport& report, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(kRenderResultTitle));
    setModal(true);
    layout_ = new QVBoxLayout(this);

    text_ = new QPlainTextEdit(display_text(report), this);
    text_->setObjectName(QStringLiteral("result"));
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Room for the longest message on each of the seven kinds and the line of the references.
    const QFontMetrics metrics(text_->font());
    text_->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('M')) * 44, metrics.lineSpacing() * 9);
    layout_->addWidget(text_);

    buttons_ = new QHBoxLayout;
    buttons_->addStretch(1);
    close_button_ = new QPushButton(QString::fromUtf8(kRenderResultClose), this);
    close_button_->setDefault(true);
    connect(close_button_, &QPushButton::clicked, this, &QDialog::accept);
    buttons_->addWidget(close_button_);
    buttons_->addStretch(1);
    layout_->addLayout(buttons_);
}

void RenderResultDialog::add_posting(MainDialog& main, bool all_pages) {
    if (main_) return;
    AppContext& ctx = main.context();
    if (!ctx.ensure_width_table()) return;
    main_ = &main;
    all_pages_ = all_pages;

    auto* group = new QGroupBox(this);
    group->setObjectName(QStringLiteral("posting"));
    auto* group_layout = new QVBoxLayout(group);
    if (all_pages) {
        page_counts_ = new QListWidget(group);
        page_counts_->setObjectName(QStringLiteral("page_counts"));
        page_counts_->setMaximumHeight(page_counts_->fontMetrics().lineSpacing() * 6);
        group_layout->addWidget(page_counts_);
    }
    check_ = new PageCheckView(group);
    group_layout->addWidget(check_);
    layout_->insertWidget(layout_->indexOf(text_) + 1, group);

    posts_button_ = new QPushButton(QString::fromUtf8("投稿(&P)…"), this);
    posts_button_->setAutoDefault(false);
    buttons_->insertWidget(1, posts_button_);
    connect(posts_button_, &QPushButton::clicked, this, [this] {
        run_post_dialog(*main_, this);
        refresh_posting();  // the board or the page may have changed there
    });
    check_->set_fix_handler([this](const posting::Finding& finding) {
        if (fix_finding(main_->context(), finding, this)) refresh_posting();
    });
    connect(&PostingSession::of(main), &PostingSession::profile_changed, this,
            &RenderResultDialog::refresh_posting);
    refresh_posting();
}

void RenderResultDialog::refresh_posting() {
    if (!main_) return;
    AppContext& ctx = main_->context();
    const posting::BoardProfile& profile = PostingSession::of(*main_).current();
    qobject_cast<QGroupBox*>(check_->parentWidget())->setTitle(QString::fromUtf8("投稿：" + profile.name));
    const int current = ctx.docs->preview.current_page;

    if (page_counts_) {
        page_counts_->clear();
        for (int page = 0; page < kPreviewPages; ++page) {
            if (is_page_empty(ctx.docs->preview.pages[page])) continue;
            const RenderedPage rendered = render_page_text(ctx, page, true);
            if (!rendered.has_content) continue;
            const PageCountLine line = page_count_line(rendered.text, profile);
            auto* item = new QListWidgetItem(
                QString::fromUtf8("ページ" + std::to_string(page) + "：" + line.text), page_counts_);
            if (line.over) item->setForeground(QColor(0xc0, 0, 0));
            if (page == current) item->setSelected(true);
        }
    }

    const RenderedPage rendered = render_page_text(ctx, current, true);
    posts_button_->setEnabled(rendered.has_content);
    if (!rendered.has_content) {
        check_->show_check("ページ" + std::to_string(current) + "：投稿する内容がありません", false, {});
        return;
    }
    const PageCountLine line = page_count_line(rendered.text, profile);
    const posting::PageSource source = page_source(ctx, current);
    check_->show_check("ページ" + std::to_string(current) + "：" + line.text, line.over,
                       posting::check_page(rendered.text, profile, &source));
}

QString RenderResultDialog::text() const {
    return text_->toPlainText();
}

}  // namespace glyphora
