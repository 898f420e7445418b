#include "app/app_icon.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>

#include <algorithm>

namespace glyphora {

namespace {

QPixmap icon_pixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal margin = size / 16.0;
    const QRectF frame(margin, margin, size - 2 * margin, size - 2 * margin);
    QLinearGradient gradient(frame.topLeft(), frame.bottomRight());
    gradient.setColorAt(0, QColor(250, 250, 236));
    gradient.setColorAt(1, QColor(239, 240, 160));
    p.setBrush(gradient);
    p.setPen(QPen(QColor(160, 40, 40), std::max(1.0, size / 24.0)));
    p.drawRoundedRect(frame, size / 6.0, size / 6.0);
    // A small AA face: the kind of picture the program composes.
    QFont font;
    font.setPixelSize(std::max(6, size * 3 / 8));
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(30, 30, 30));
    p.drawText(frame, Qt::AlignCenter, QStringLiteral("ﾟ∀ﾟ"));
    return pixmap;
}

}  // namespace

QIcon app_icon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64}) icon.addPixmap(icon_pixmap(size));
    return icon;
}

QPixmap about_picture(QSize size) {
    QPixmap pixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor(70, 110, 170));
    sky.setColorAt(1, QColor(240, 240, 240));
    p.fillRect(pixmap.rect(), sky);
    QFont font;
    font.setPixelSize(std::max(8, size.height() / 6));
    p.setFont(font);
    p.setPen(QColor(20, 20, 20));
    p.drawText(pixmap.rect().adjusted(8, 8, -8, -8), Qt::AlignCenter,
               QStringLiteral("　 ∧＿∧\n　（　´∀｀）\n　（　　　　）\n　｜ ｜　|\n　（_＿）＿）"));
    return pixmap;
}

}  // namespace glyphora
