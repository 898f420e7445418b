#include "canvas/count_strip.h"

#include <QEvent>
#include <QMetaObject>

namespace glyphora {

namespace {

constexpr const char* kPlainStyle =
    "QLabel { background: #ffffe8; color: #000000; border-top: 1px solid #808080; padding: 2px 6px; }";
constexpr const char* kOverStyle =
    "QLabel { background: #fff0f0; color: #c00000; font-weight: bold; border-top: 1px solid #c00000; "
    "padding: 2px 6px; }";

}  // namespace

CountStrip::CountStrip(QWidget* canvas) : QLabel(canvas) {
    setObjectName(QStringLiteral("count_strip"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(true);
    setStyleSheet(QString::fromUtf8(kPlainStyle));
    hide();
    canvas->installEventFilter(this);
}

void CountStrip::count(std::string_view rendered_sjis) {
    rendered_.assign(rendered_sjis);
    recount();
}

void CountStrip::recount() {
    const TempCount c = counter_ ? counter_(rendered_) : TempCount{};
    over_ = c.over;
    setText(QString::fromStdString(c.text));
    setStyleSheet(QString::fromUtf8(over_ ? kOverStyle : kPlainStyle));
    place();
}

void CountStrip::follow(bool temporary_shown) {
    const bool wanted = temporary_shown && !text().isEmpty();
    if (wanted == wanted_ && isHidden() != wanted) return;
    wanted_ = wanted;
    QMetaObject::invokeMethod(
        this, [this] { setVisible(wanted_); }, Qt::QueuedConnection);
}

bool CountStrip::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Resize) place();
    return QLabel::eventFilter(watched, event);
}

void CountStrip::place() {
    const auto* canvas = parentWidget();
    if (!canvas) return;
    const int height = sizeHint().height();
    setGeometry(0, canvas->height() - height, canvas->width(), height);
}

}  // namespace glyphora
