#include "app/posting_session.h"

#include <memory>
#include <optional>
#include <utility>

#include "app/main_dialog.h"
#include "render/render_page.h"
#include "settings/settings.h"
#include "system/encoding.h"

namespace glyphora {

namespace {

constexpr const char* kDamagedProfilesMessage =
    "ボードの設定ファイルを読み込めませんでした。ファイルはそのまま残し、ボードの変更はこの実行の間だけ"
    "有効です。\n";
constexpr const char* kProfilesNotSavedMessage = "ボードの設定を保存できませんでした。\n";
constexpr const char* kCurrentNotSavedMessage = "使うボードを設定ファイルに保存できませんでした。\n";
constexpr const char* kProfileUnusableMessage = "このボードの設定は使えません：\n";
constexpr const char* kProfileNameTakenMessage = "同じ名前のボードがすでにあります：";
constexpr const char* kCannotFixMessage =
    "このスペースはレンダリングの設定（&nbsp;もドットも使わない）では直せません";
constexpr const char* kFixTooLongMessage = "直すとパーツのテキストが長すぎて入りません";

std::string with_commas(int n) {
    std::string digits = std::to_string(n < 0 ? -static_cast<long long>(n) : n);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(i, ",");
    return n < 0 ? "-" + digits : digits;
}

const char* finding_what(posting::FindingKind kind) {
    using posting::FindingKind;
    switch (kind) {
        case FindingKind::leading_space:
            return "行頭の半角スペース（HTMLでは消えます）";
        case FindingKind::double_space:
            return "半角スペースが2つ続いています（HTMLでは1つになります）";
        case FindingKind::garbled_reference:
            return "文字参照はこの板では化けます";
        case FindingKind::unencodable:
            return "この板の文字コードで送れない文字があります";
        case FindingKind::over_bytes:
            return "ここで1投稿のバイト数を超えます";
        case FindingKind::over_lines:
            return "ここで1投稿の行数を超えます";
    }
    return "";
}

}  // namespace

RenderedPage render_page_text(AppContext& ctx, int page, bool quiet) {
    RenderedPage result;
    std::optional<BusyScope> busy;
    if (!quiet) busy.emplace(ctx.ui);
    // Far too big for the stack.
    auto workspace = std::make_unique<RenderWorkspace>();
    auto out = std::make_unique<RenderOutput>();
    render_preview_page(ctx.docs->preview, page, ctx.render_context(), *workspace, *out);
    result.has_content = out->has_content;
    if (result.has_content) result.text.assign(out->text, out->length);
    return result;
}

posting::PageSource page_source(AppContext& ctx, int page) {
    posting::PageSource source;
    source.page = &ctx.docs->preview.pages[page];
    source.line_height = ctx.widths->line_height;
    source.settings =
        active_render_settings(ctx.docs->preview, page, ctx.settings.render_pageflag, ctx.settings.render);
    source.line_numbers = source.settings.render_linenumber;
    return source;
}

PostingSession& PostingSession::of(MainDialog& dialog) {
    if (auto* session = dialog.findChild<PostingSession*>(QString(), Qt::FindDirectChildrenOnly))
        return *session;
    return *new PostingSession(dialog.context(), &dialog);
}

PostingSession::PostingSession(AppContext& ctx, QObject* parent) : QObject(parent), ctx_(ctx) {
    const IoResult loaded = posting::load_profiles(profiles_path(), list_);
    if (!loaded.ok) {
        damaged_ = true;
        load_error_ = kDamagedProfilesMessage + loaded.error;
    }
    if (ctx_.settings_file) current_name_ = read_setting(ctx_.file(), settings_keys::boardprofile);
}

std::string PostingSession::profiles_path() const {
    return posting::profiles_file_path(ctx_.program_directory);
}

const posting::BoardProfile& PostingSession::current() const {
    return posting::current_profile(list_, current_name_);
}

std::string PostingSession::take_load_error() {
    return std::exchange(load_error_, std::string());
}

void PostingSession::set_current(const std::string& name, QWidget* parent) {
    if (!list_.find(name) || name == current_name_) return;
    current_name_ = name;
    if (ctx_.settings_file) {
        const IoResult written = write_setting(ctx_.file(), settings_keys::boardprofile, name);
        if (!written.ok) ctx_.ui.show_message(parent, kCurrentNotSavedMessage + written.error);
    }
    Q_EMIT profile_changed();
}

bool PostingSession::put_profile(const std::string& old_name, const posting::BoardProfile& profile,
                                 QWidget* parent) {
    if (const std::string problem = posting::validate_profile(profile); !problem.empty()) {
        ctx_.ui.show_message(parent, kProfileUnusableMessage + problem);
        return false;
    }
    const posting::BoardProfile* same_name = list_.find(profile.name);
    posting::BoardProfile* replaced = old_name.empty() ? nullptr : list_.find(old_name);
    // The built-in profile stays as it is, under its name.
    if ((same_name && same_name != replaced) || profile.name == posting::kBuiltinProfileName ||
        old_name == posting::kBuiltinProfileName) {
        ctx_.ui.show_message(parent, kProfileNameTakenMessage + profile.name);
        return false;
    }
    const bool was_current = replaced && replaced->name == current().name;
    if (replaced) {
        *replaced = profile;
    } else {
        list_.profiles.push_back(profile);
    }
    save(parent);
    if (was_current && old_name != profile.name) {
        set_current(profile.name, parent);
    } else if (was_current) {
        Q_EMIT profile_changed();
    }
    return true;
}

void PostingSession::remove_profile(const std::string& name, QWidget* parent) {
    if (name == posting::kBuiltinProfileName) return;
    auto& profiles = list_.profiles;
    for (auto it = profiles.begin(); it != profiles.end(); ++it) {
        if (it->name != name) continue;
        const bool was_current = name == current().name;
        profiles.erase(it);
        save(parent);
        if (was_current) set_current(posting::kBuiltinProfileName, parent);
        return;
    }
}

void PostingSession::save(QWidget* parent) {
    // A file that could not be read is never written over: what it holds would be lost.
    if (damaged_) {
        ctx_.ui.show_message(parent, std::string(kDamagedProfilesMessage) + profiles_path());
        return;
    }
    const IoResult saved = posting::save_profiles(profiles_path(), list_);
    if (!saved.ok) ctx_.ui.show_message(parent, kProfilesNotSavedMessage + saved.error);
}

bool fix_finding(AppContext& ctx, const posting::Finding& finding, QWidget* parent) {
    if (!finding.fixable || finding.slot < 0 || finding.slot >= kPartsPerPage) return false;
    const int page = ctx.docs->preview.current_page;
    Part& part = ctx.preview_page().slots[finding.slot];
    const std::optional<std::string> fixed =
        posting::fix_part_text(get_string(part.text), page_source(ctx, page).settings);
    if (!fixed) {
        ctx.ui.show_message(parent, kCannotFixMessage);
        return false;
    }
    // A text cut to fit would lose its end.
    if (fixed->size() >= kTextCapacity) {
        ctx.ui.show_message(parent, kFixTooLongMessage);
        return false;
    }
    take_snapshot(ctx.docs->undo, UndoKind::preview_slot, ctx.preview_page(), ctx.library_page(),
                  finding.slot);
    set_text(part, *fixed);
    ctx.changed(Side::preview);
    return true;
}

std::string finding_text(const posting::Finding& finding) {
    std::string text;
    if (finding.line > 0) text += std::to_string(finding.line) + "行目：";
    text += finding_what(finding.kind);
    if (finding.slot >= 0) {
        text += "（パーツ" + std::to_string(finding.slot + 1);
        if (!finding.part_name.empty()) text += "「" + sjis_to_utf8_lenient(finding.part_name) + "」";
        text += "）";
    }
    return text;
}

std::string count_text(const posting::PostCount& count, const posting::BoardProfile& profile, int posts) {
    std::string text = posting::format_count(count, profile);
    if (count.references > 0) text += " · 文字参照 " + with_commas(count.references);
    if (posts > 1) text += " · " + std::to_string(posts) + " 投稿に分割";
    return text;
}

PageCountLine page_count_line(std::string_view rendered, const posting::BoardProfile& profile) {
    const posting::PostCount count = posting::count_post(rendered, profile);
    // The split only matters once the page is over budget.
    const int posts = count.over() ? static_cast<int>(posting::split_posts(rendered, profile).size()) : 1;
    return {count_text(count, profile, posts), count.over()};
}

}  // namespace glyphora
