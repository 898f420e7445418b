#include "app/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/app_icon.h"

namespace glyphora {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(kAboutTitle));
    auto* layout = new QVBoxLayout(this);

    auto* picture = new QLabel(this);
    picture->setFrameStyle(QFrame::Box | QFrame::Sunken);
    picture->setPixmap(about_picture(QSize(280, 150)));
    picture->setScaledContents(true);
    layout->addWidget(picture);

    auto* line = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(app_icon().pixmap(32, 32));
    line->addWidget(icon);
    auto* version = new QLabel(QString::fromUtf8(kVersionLine), this);
    version->setObjectName(QStringLiteral("version"));
    line->addWidget(version, 1);
    layout->addLayout(line);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    setFixedSize(sizeHint());
}

}  // namespace glyphora
