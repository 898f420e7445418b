#include "app/page_image_commands.h"

#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "app/main_dialog.h"
#include "app/posting_session.h"
#include "posting/page_image.h"

namespace glyphora {

namespace {

constexpr const char* kNoFontMessage = "画像を描くフォントを読み込めません。\n";
constexpr const char* kImageWriteFailedMessage = "画像を保存できませんでした。\n";
constexpr const char* kImageClipboardFailedMessage = "画像をクリップボードに送れませんでした";
constexpr const char* kNothingToDrawMessage = "このページにはレンダリングする内容がありません";
constexpr const char* kPngFilter = "PNG画像(png)|*.png|all files|*.*||";

// Scales other than 1 and 2 are not offered; anything else is taken as 1.
int checked_scale(int scale) {
    return scale == 2 ? 2 : 1;
}

std::optional<posting::Gray8Image> draw(AppContext& ctx, std::string_view text, int scale, QWidget* parent) {
    std::string error;
    const std::unique_ptr<posting::ImageFont> font =
        posting::ImageFont::open(ctx.settings.fontface, ctx.settings.fontpoint, checked_scale(scale), error);
    if (!font) {
        ctx.ui.show_message(parent, kNoFontMessage + error);
        return std::nullopt;
    }
    const BusyScope busy(ctx.ui);
    return posting::draw_page_image(text, *font);
}

std::string proposed_name(const AppContext& ctx) {
    const std::string page = std::to_string(ctx.docs->preview.current_page);
    std::string base(get_string(ctx.docs->preview.collection_name));
    const std::size_t slash = base.find_last_of('/');
    const std::size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.resize(dot);
    return base.empty() ? "page" + page + ".png" : base + "-page" + page + ".png";
}

}  // namespace

QImage page_picture(AppContext& ctx, std::string_view text, int scale, QWidget* parent) {
    const std::optional<posting::Gray8Image> drawn = draw(ctx, text, scale, parent);
    if (!drawn || drawn->width <= 0 || drawn->height <= 0) return {};
    QImage image(drawn->width, drawn->height, QImage::Format_Grayscale8);
    // QImage rows are padded to four bytes; the drawing's are not.
    for (int y = 0; y < drawn->height; ++y)
        std::memcpy(image.scanLine(y), drawn->pixels.data() + static_cast<std::size_t>(y) * drawn->width,
                    static_cast<std::size_t>(drawn->width));
    return image;
}

void save_page_image(AppContext& ctx, std::string_view text, int scale, QWidget* parent) {
    FileDialogRequest request;
    request.filter = kPngFilter;
    request.default_extension = "png";
    request.proposed_name = proposed_name(ctx);
    request.confirm_overwrite = true;
    request.title = "画像として保存";
    const std::optional<std::string> path = ctx.ui.save_file(parent, request);
    if (!path) return;
    const std::optional<posting::Gray8Image> drawn = draw(ctx, text, scale, parent);
    if (!drawn) return;
    const IoResult written = posting::write_png(*path, *drawn);
    if (!written.ok) ctx.ui.show_message(parent, kImageWriteFailedMessage + written.error);
}

bool copy_page_image(AppContext& ctx, std::string_view text, int scale, QWidget* parent) {
    const QImage image = page_picture(ctx, text, scale, parent);
    if (image.isNull()) return false;
    if (ctx.ui.set_clipboard_image(image)) return true;
    ctx.ui.show_message(parent, kImageClipboardFailedMessage);
    return false;
}

void save_current_page_image(MainDialog& dialog, int scale, QWidget* parent) {
    AppContext& ctx = dialog.context();
    if (!ctx.ensure_width_table()) {
        ctx.report_width_table_failure();
        return;
    }
    const RenderedPage page = render_page_text(ctx, ctx.docs->preview.current_page);
    if (!page.has_content) {
        ctx.ui.show_message(parent, kNothingToDrawMessage);
        return;
    }
    save_page_image(ctx, page.text, scale, parent);
}

}  // namespace glyphora
