#include "app/page_check_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/posting_session.h"

namespace glyphora {

PageCheckView::PageCheckView(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("page_count"));
    count_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(count_);

    auto* row = new QHBoxLayout;
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("findings"));
    // A few findings at a glance; the list scrolls for more, and what is posted keeps the room.
    list_->setMinimumHeight(list_->fontMetrics().lineSpacing() * 4);
    list_->setMaximumHeight(list_->fontMetrics().lineSpacing() * 7);
    row->addWidget(list_, 1);
    fix_button_ = new QPushButton(QString::fromUtf8("修正(&F)"), this);
    fix_button_->setEnabled(false);
    fix_button_->setToolTip(QString::fromUtf8(
        "選んだスペースをレンダリングの設定に合わせて「&nbsp;」かドットに書き換えます（アンドゥできます）"));
    row->addWidget(fix_button_, 0, Qt::AlignTop);
    layout->addLayout(row);

    connect(list_, &QListWidget::currentRowChanged, this, [this] { selection_changed(); });
    connect(fix_button_, &QPushButton::clicked, this, [this] {
        const int row = list_->currentRow();
        if (row < 0 || row >= static_cast<int>(findings_.size()) || !findings_[row].fixable || !fix_) return;
        const posting::Finding finding = findings_[row];  // the handler refills the list
        fix_(finding);
    });
}

void PageCheckView::show_check(const std::string& count_line, bool over,
                               std::vector<posting::Finding> findings) {
    count_->setText(QString::fromUtf8(count_line));
    count_->setStyleSheet(over ? QString::fromUtf8(kOverBudgetStyle) : QString());
    count_->setProperty("over", over);
    findings_ = std::move(findings);
    list_->clear();
    for (const posting::Finding& finding : findings_) {
        auto* item = new QListWidgetItem(QString::fromUtf8(finding_text(finding)), list_);
        if (finding.severity == posting::Severity::error) item->setForeground(QColor(0xc0, 0, 0));
    }
    if (findings_.empty()) new QListWidgetItem(QString::fromUtf8("問題は見つかりませんでした"), list_);
    list_->setEnabled(!findings_.empty());
    selection_changed();
}

void PageCheckView::selection_changed() {
    const int row = list_->currentRow();
    fix_button_->setEnabled(row >= 0 && row < static_cast<int>(findings_.size()) && findings_[row].fixable);
}

}  // namespace glyphora
