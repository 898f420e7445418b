#include "app/post_dialog.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <optional>

#include "app/board_profile_dialog.h"
#include "app/main_dialog.h"
#include "app/page_check_view.h"
#include "app/page_image_commands.h"
#include "io/file_io.h"
#include "system/encoding.h"

namespace glyphora {

namespace {

constexpr const char* kNothingToPostMessage = "このページには投稿する内容がありません";
constexpr const char* kCopyFailedMessage = "投稿をクリップボードに送れませんでした";
constexpr const char* kSettingTxtUnreadableMessage = "SETTING.TXTとして読めません：\n";
constexpr const char* kSettingTxtFilter = "SETTING.TXT|SETTING.TXT;*.txt;*.TXT|all files|*.*||";
// A board's SETTING.TXT is a few hundred bytes; anything this big was picked by mistake.
constexpr qint64 kMaxSettingTxtBytes = 1 << 20;

QString qs(const char* utf8) {
    return QString::fromUtf8(utf8);
}
QString qs(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

QPushButton* button(const char* text, QWidget* parent, QLayout* layout) {
    auto* b = new QPushButton(qs(text), parent);
    layout->addWidget(b);
    return b;
}

// A name no other profile has: the name itself, else with " (2)", " (3)" … after it.
std::string unused_name(const posting::ProfileList& list, const std::string& name) {
    if (!list.find(name)) return name;
    for (int n = 2;; ++n) {
        const std::string candidate = name + " (" + std::to_string(n) + ")";
        if (!list.find(candidate)) return candidate;
    }
}

std::string post_label(const posting::Post& post, std::size_t index, const posting::BoardProfile& profile) {
    const int last = post.first_line + std::max(post.count.lines, 1) - 1;
    const std::string lines =
        std::to_string(post.first_line) + (last > post.first_line ? "～" + std::to_string(last) : "");
    return "投稿 " + std::to_string(index + 1) + "（" + lines + "行目）　" + count_text(post.count, profile);
}

}  // namespace

PostDialog::PostDialog(MainDialog& main, RenderedPage page, QWidget* parent)
    : QDialog(parent), ctx_(main.context()), session_(PostingSession::of(main)), page_(std::move(page)) {
    setObjectName(QStringLiteral("PostDialog"));
    setWindowTitle(qs(kPostDialogTitle) + QStringLiteral(" － ") +
                   qs("ページ %1").arg(ctx_.docs->preview.current_page));
    auto* layout = new QVBoxLayout(this);

    // The board: which one, and its profiles.
    auto* board_row = new QHBoxLayout;
    auto* board_label = new QLabel(qs("ボード(&B)"), this);
    board_row->addWidget(board_label);
    profile_box_ = new QComboBox(this);
    profile_box_->setObjectName(QStringLiteral("profile"));
    profile_box_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    board_label->setBuddy(profile_box_);
    board_row->addWidget(profile_box_, 1);
    add_ = button("追加…", this, board_row);
    edit_ = button("編集…", this, board_row);
    delete_ = button("削除", this, board_row);
    import_ = button("SETTING.TXTを読み込む…", this, board_row);
    layout->addLayout(board_row);

    check_ = new PageCheckView(this);
    layout->addWidget(check_);

    auto* posts_label = new QLabel(qs("投稿(&P)"), this);
    layout->addWidget(posts_label);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("posts"));
    posts_label->setBuddy(list_);
    layout->addWidget(list_);
    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("post_text"));
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setMinimumHeight(text_->fontMetrics().lineSpacing() * 8);
    layout->addWidget(text_, 1);

    auto* actions = new QHBoxLayout;
    copy_ = new QPushButton(qs("コピー(&C)"), this);
    copy_->setObjectName(QStringLiteral("copy_post"));
    // Return copies: copy, paste, Return, paste goes through a long page.
    copy_->setDefault(true);
    actions->addWidget(copy_);
    actions->addSpacing(16);
    scale_ = new QComboBox(this);
    scale_->setObjectName(QStringLiteral("scale"));
    scale_->addItem(qs("1倍"), 1);
    scale_->addItem(qs("2倍"), 2);
    save_image_ = button("画像として保存(&S)…", this, actions);
    actions->addWidget(scale_);
    copy_image_ = button("画像をコピー(&I)", this, actions);
    actions->addStretch(1);
    QPushButton* close = button("閉じる", this, actions);
    layout->addLayout(actions);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status"));
    layout->addWidget(status_);

    connect(profile_box_, &QComboBox::currentIndexChanged, this, &PostDialog::profile_chosen);
    connect(add_, &QPushButton::clicked, this, &PostDialog::add_profile);
    connect(edit_, &QPushButton::clicked, this, &PostDialog::edit_profile);
    connect(delete_, &QPushButton::clicked, this, &PostDialog::delete_profile);
    connect(import_, &QPushButton::clicked, this, &PostDialog::import_setting_txt);
    connect(list_, &QListWidget::currentRowChanged, this, &PostDialog::show_post);
    connect(copy_, &QPushButton::clicked, this, &PostDialog::copy_selected);
    connect(save_image_, &QPushButton::clicked, this,
            [this] { save_page_image(ctx_, page_.text, scale_->currentData().toInt(), this); });
    connect(copy_image_, &QPushButton::clicked, this, [this] {
        if (copy_page_image(ctx_, page_.text, scale_->currentData().toInt(), this))
            say("ページの画像をクリップボードに送りました");
    });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    check_->set_fix_handler([this](const posting::Finding& finding) { fix(finding); });

    fill_profiles();
    refresh();
    resize(std::max(sizeHint().width(), 640), std::max(sizeHint().height(), 520));
    list_->setFocus();
}

void PostDialog::fill_profiles() {
    filling_ = true;
    profile_box_->clear();
    const std::string current = session_.current().name;
    for (const posting::BoardProfile& p : session_.profiles().profiles) {
        profile_box_->addItem(qs(p.name));
        if (p.name == current) profile_box_->setCurrentIndex(profile_box_->count() - 1);
    }
    filling_ = false;
    const bool builtin = current == posting::kBuiltinProfileName;
    edit_->setEnabled(!builtin);
    delete_->setEnabled(!builtin);
}

void PostDialog::profile_chosen(int index) {
    if (filling_ || index < 0) return;
    session_.set_current(profile_box_->itemText(index).toStdString(), this);
    fill_profiles();
    refresh();
}

void PostDialog::refresh() {
    const posting::BoardProfile& profile = session_.current();
    const int selected = std::max(list_->currentRow(), 0);
    posts_ = posting::split_posts(page_.text, profile);
    const posting::PageSource source = page_source(ctx_, ctx_.docs->preview.current_page);
    const posting::PostCount whole = posting::count_post(page_.text, profile);
    check_->show_check("ページ全体：" + count_text(whole, profile, static_cast<int>(posts_.size())),
                       whole.over(), posting::check_page(page_.text, profile, &source));

    const QSignalBlocker blocker(list_);
    list_->clear();
    for (std::size_t i = 0; i < posts_.size(); ++i) {
        auto* item = new QListWidgetItem(qs(post_label(posts_[i], i, profile)), list_);
        if (posts_[i].count.over()) item->setForeground(QColor(0xc0, 0, 0));
    }
    list_->setCurrentRow(std::min(selected, static_cast<int>(posts_.size()) - 1));
    show_post(list_->currentRow());
}

void PostDialog::show_post(int row) {
    if (row < 0 || row >= static_cast<int>(posts_.size())) {
        text_->clear();
        copy_->setEnabled(false);
        return;
    }
    copy_->setEnabled(true);
    text_->setPlainText(qs(sjis_to_utf8_lenient(posts_[row].text)));
}

void PostDialog::copy_selected() {
    const int row = list_->currentRow();
    if (row < 0 || row >= static_cast<int>(posts_.size())) return;
    // The clipboard carries Unicode text whatever the board's encoding; references stay as written, as
    // they were counted.
    if (!ctx_.ui.set_clipboard_text(posts_[row].text)) {
        ctx_.ui.show_message(this, kCopyFailedMessage);
        return;
    }
    const int total = static_cast<int>(posts_.size());
    say("投稿 " + std::to_string(row + 1) + " / " + std::to_string(total) + " をコピーしました" +
        (row + 1 < total ? "" : "（最後の投稿です）"));
    if (row + 1 < total) list_->setCurrentRow(row + 1);
    copy_->setFocus();
}

bool PostDialog::edit_in_dialog(const posting::BoardProfile& start, const std::string& old_name) {
    BoardProfileDialog dialog(start, this);
    dialog.set_acceptor([this, &old_name](const posting::BoardProfile& profile) {
        return session_.put_profile(old_name, profile, this);
    });
    return dialog.exec() == QDialog::Accepted;
}

void PostDialog::add_profile() {
    posting::BoardProfile start = session_.current();
    start.name =
        unused_name(session_.profiles(),
                    start.name == posting::kBuiltinProfileName ? std::string("新しいボード") : start.name);
    if (!edit_in_dialog(start, {})) return;
    // The new profile is the last one; the user added it to use it.
    session_.set_current(session_.profiles().profiles.back().name, this);
    fill_profiles();
    refresh();
}

void PostDialog::edit_profile() {
    const posting::BoardProfile current = session_.current();
    if (current.name == posting::kBuiltinProfileName) return;
    if (!edit_in_dialog(current, current.name)) return;
    fill_profiles();
    refresh();
}

void PostDialog::delete_profile() {
    const std::string name = session_.current().name;
    if (name == posting::kBuiltinProfileName) return;
    if (!ctx_.ui.ask_yes_no(this, "ボード「" + name + "」を削除しますか？", kMessageCaption,
                            DefaultAnswer::no))
        return;
    session_.remove_profile(name, this);
    fill_profiles();
    refresh();
}

void PostDialog::import_setting_txt() {
    FileDialogRequest request;
    request.filter = kSettingTxtFilter;
    request.proposed_name = "SETTING.TXT";
    request.title = "SETTING.TXTを読み込む";
    const std::optional<std::string> path = ctx_.ui.open_file(this, request);
    if (!path) return;
    const QFileInfo info(QString::fromStdString(*path));
    std::string bytes;
    std::string error;
    if (info.size() > kMaxSettingTxtBytes) {
        error = "the file is " + std::to_string(info.size()) + " bytes long; it is no SETTING.TXT";
    } else if (const IoResult read = read_whole_file(*path, bytes); !read.ok) {
        error = read.error;
    }
    posting::BoardProfile profile;
    if (!(error.empty() && posting::parse_setting_txt(bytes, profile, error))) {
        ctx_.ui.show_message(this, kSettingTxtUnreadableMessage + error);
        return;
    }
    profile.name = unused_name(session_.profiles(), profile.name);
    if (!session_.put_profile({}, profile, this)) return;
    session_.set_current(profile.name, this);
    fill_profiles();
    refresh();
    say("「" + profile.name + "」を追加しました");
}

void PostDialog::fix(const posting::Finding& finding) {
    if (!fix_finding(ctx_, finding, this)) return;
    // The page changed: what is posted is its new rendering.
    RenderedPage again = render_page_text(ctx_, ctx_.docs->preview.current_page);
    if (!again.has_content) return;
    posts_.clear();
    page_ = std::move(again);
    refresh();
    say("パーツ" + std::to_string(finding.slot + 1) + "のスペースを直しました（アンドゥで戻せます）");
}

void PostDialog::say(const std::string& status) {
    status_->setText(qs(status));
}

void run_post_dialog(MainDialog& main, QWidget* parent) {
    AppContext& ctx = main.context();
    if (!ctx.ensure_width_table()) {
        ctx.report_width_table_failure();
        return;
    }
    PostingSession& session = PostingSession::of(main);
    if (const std::string error = session.take_load_error(); !error.empty())
        ctx.ui.show_message(parent, error);
    RenderedPage page = render_page_text(ctx, ctx.docs->preview.current_page);
    if (!page.has_content) {
        ctx.ui.show_message(parent, kNothingToPostMessage);
        return;
    }
    PostDialog dialog(main, std::move(page), parent);
    dialog.exec();
}

}  // namespace glyphora
