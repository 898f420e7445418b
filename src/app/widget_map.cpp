#include "app/widget_map.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSaveFile>
#include <QTimer>
#include <QWidget>

#include <memory>

#include "app/main_dialog.h"

namespace glyphora {

namespace {

constexpr int kMainDialogIds[] = {
    control_id::kVersion,         control_id::kLoad,          control_id::kSave,
    control_id::kRender,          control_id::kRenderPage,    control_id::kTool,
    control_id::kOptions,         control_id::kUndo,          control_id::kExit,
    control_id::kPreviewList,     control_id::kPreviewCut,    control_id::kPreviewCopy,
    control_id::kPreviewPaste,    control_id::kPreviewDetail, control_id::kPreviewRegister,
    control_id::kMoveUp,          control_id::kMoveLeft,      control_id::kMoveRight,
    control_id::kMoveDown,        control_id::kPreviewRowUp,  control_id::kPreviewRowDown,
    control_id::kCopyFromLibrary, control_id::kLibraryList,   control_id::kLibraryCut,
    control_id::kLibraryCopy,     control_id::kLibraryPaste,  control_id::kLibraryDetail,
    control_id::kLibraryRegister, control_id::kLibraryRowUp,  control_id::kLibraryRowDown,
    control_id::kPageLabel,       control_id::kPageScroll,    control_id::kLibraryPageCombo,
    control_id::kLibraryPageName,
};

QString flat(QString text) {
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return text;
}

QString line(const QString& title, const QString& key, const QRect& r, const QString& text = {}) {
    return QStringLiteral("%1\t%2\t%3 %4 %5 %6\t%7\n")
        .arg(flat(title), key)
        .arg(r.x())
        .arg(r.y())
        .arg(r.width())
        .arg(r.height())
        .arg(flat(text));
}

// What the control shows, for labels, buttons and text fields.
QString shown_text(const QWidget* w) {
    if (auto* label = qobject_cast<const QLabel*>(w)) return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(w)) return button->text();
    if (auto* edit = qobject_cast<const QLineEdit*>(w)) return edit->text();
    if (auto* combo = qobject_cast<const QComboBox*>(w)) return combo->currentText();
    return {};
}

QString key_of(QWidget* window, QWidget* w) {
    if (auto* dialog = qobject_cast<MainDialog*>(window))
        for (const int id : kMainDialogIds)
            if (dialog->control(id) == w) return QStringLiteral("id:%1").arg(id);
    QString key = w->objectName();
    if (!key.isEmpty() && !key.startsWith(QLatin1String("qt_"))) return key;
    if (auto* button = qobject_cast<QAbstractButton*>(w); button && !button->text().isEmpty())
        return QStringLiteral("button:") + flat(button->text());
    if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty())
        return QStringLiteral("label:") + flat(label->text());
    return QStringLiteral("class:") + QString::fromLatin1(w->metaObject()->className());
}

QRect global_rect(const QWidget* w) {
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

QString describe_window(QWidget* window) {
    const QString title = window->windowTitle();
    QString out = line(title, QStringLiteral("@client"), global_rect(window));
    QWidget* focus = QApplication::focusWidget();
    if (focus && focus->window() == window)
        out += line(title, QStringLiteral("@focus"), global_rect(focus), key_of(window, focus));
    if (auto* menu = qobject_cast<QMenu*>(window)) {
        for (QAction* action : menu->actions()) {
            if (action->isSeparator() || !action->isVisible()) continue;
            const QRect r = menu->actionGeometry(action);
            out += line(title, QStringLiteral("action:") + flat(action->text()),
                        QRect(menu->mapToGlobal(r.topLeft()), r.size()));
        }
        return out;
    }
    if (auto* dialog = qobject_cast<MainDialog*>(window)) {
        for (const int id : kMainDialogIds) {
            QWidget* w = dialog->control(id);
            if (w && w->isVisible())
                out += line(title, QStringLiteral("id:%1").arg(id), global_rect(w), shown_text(w));
        }
        return out;
    }
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->window() != window) continue;
        out += line(title, key_of(window, w), global_rect(w), shown_text(w));
    }
    return out;
}

}  // namespace

void install_widget_map_from_environment() {
    const QString path = qEnvironmentVariable("GLYPHORA_WIDGET_MAP");
    if (path.isEmpty()) return;
    auto* timer = new QTimer(qApp);
    auto last = std::make_shared<QString>();
    QObject::connect(timer, &QTimer::timeout, timer, [path, last] {
        QString content;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->isVisible()) content += describe_window(window);
        if (content == *last) return;
        // Written whole and renamed into place, so a reader never sees half a map.
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return;
        file.write(content.toUtf8());
        if (file.commit()) *last = content;
    });
    timer->start(200);
}

}  // namespace glyphora
