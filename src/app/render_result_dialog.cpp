#include "app/render_result_dialog.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

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
    auto* layout = new QVBoxLayout(this);

    text_ = new QPlainTextEdit(display_text(report), this);
    text_->setObjectName(QStringLiteral("result"));
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Room for the longest message on each of the seven kinds and the line of the references.
    const QFontMetrics metrics(text_->font());
    text_->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('M')) * 44, metrics.lineSpacing() * 9);
    layout->addWidget(text_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    close_button_ = new QPushButton(QString::fromUtf8(kRenderResultClose), this);
    close_button_->setDefault(true);
    connect(close_button_, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(close_button_);
    buttons->addStretch(1);
    layout->addLayout(buttons);
}

QString RenderResultDialog::text() const {
    return text_->toPlainText();
}

}  // namespace glyphora
