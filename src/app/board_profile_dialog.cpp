#include "app/board_profile_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace glyphora {

namespace {

QString qs(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QSpinBox* number_field(QWidget* parent, int value, int high) {
    auto* field = new QSpinBox(parent);
    field->setRange(1, high);
    field->setValue(value);
    field->setGroupSeparatorShown(true);
    return field;
}

}  // namespace

BoardProfileDialog::BoardProfileDialog(const posting::BoardProfile& profile, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("BoardProfileDialog"));
    setWindowTitle(qs("ボードの設定"));
    auto* layout = new QVBoxLayout(this);

    auto* form = new QFormLayout;
    name_ = new QLineEdit(QString::fromStdString(profile.name), this);
    name_->setObjectName(QStringLiteral("profile_name"));
    form->addRow(qs("名前(&N)"), name_);
    bytes_ = number_field(this, profile.bytes_per_post, posting::kMaxBytesPerPost);
    bytes_->setObjectName(QStringLiteral("profile_bytes"));
    form->addRow(qs("1投稿のバイト数(&B)"), bytes_);
    lines_ = number_field(this, profile.lines_per_post, posting::kMaxLinesPerPost);
    lines_->setObjectName(QStringLiteral("profile_lines"));
    form->addRow(qs("1投稿の行数(&L)"), lines_);
    encoding_ = new QComboBox(this);
    encoding_->addItems({QStringLiteral("Shift_JIS"), QStringLiteral("UTF-8")});
    encoding_->setCurrentIndex(profile.encoding == posting::BoardProfile::utf8 ? 1 : 0);
    form->addRow(qs("文字コード(&E)"), encoding_);
    layout->addLayout(form);
    references_ = new QCheckBox(qs("数値文字参照がそのまま表示される（BBS_UNICODE=pass）(&R)"), this);
    references_->setChecked(profile.references_pass);
    layout->addWidget(references_);

    // How the server's escaping counts: boards differ only rarely, so these sit in a group of their own.
    auto* rules = new QGroupBox(qs("エスケープ後に数えるバイト数"), this);
    auto* rules_form = new QFormLayout(rules);
    line_break_ = number_field(rules, profile.rules.line_break, posting::kMaxCountRule);
    rules_form->addRow(qs("改行"), line_break_);
    quote_ = number_field(rules, profile.rules.quote, posting::kMaxCountRule);
    rules_form->addRow(QStringLiteral("\""), quote_);
    less_ = number_field(rules, profile.rules.less, posting::kMaxCountRule);
    rules_form->addRow(QStringLiteral("<"), less_);
    greater_ = number_field(rules, profile.rules.greater, posting::kMaxCountRule);
    rules_form->addRow(QStringLiteral(">"), greater_);
    amp_ = number_field(rules, profile.rules.amp, posting::kMaxCountRule);
    rules_form->addRow(qs("&&（文字参照以外）"), amp_);
    layout->addWidget(rules);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(qs("キャンセル"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &BoardProfileDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &BoardProfileDialog::reject);
    layout->addWidget(buttons);
    name_->setFocus();
    name_->selectAll();
}

posting::BoardProfile BoardProfileDialog::profile() const {
    posting::BoardProfile p;
    p.name = name_->text().trimmed().toStdString();
    p.bytes_per_post = bytes_->value();
    p.lines_per_post = lines_->value();
    p.references_pass = references_->isChecked();
    p.encoding = encoding_->currentIndex() == 1 ? posting::BoardProfile::utf8 : posting::BoardProfile::sjis;
    p.rules.line_break = line_break_->value();
    p.rules.quote = quote_->value();
    p.rules.less = less_->value();
    p.rules.greater = greater_->value();
    p.rules.amp = amp_->value();
    return p;
}

void BoardProfileDialog::accept() {
    if (acceptor_ && !acceptor_(profile())) {
        name_->setFocus();
        return;
    }
    QDialog::accept();
}

}  // namespace glyphora
