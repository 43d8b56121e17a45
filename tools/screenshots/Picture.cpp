#include "tools/screenshots/Picture.h"

#include <QPainter>
#include <QWidget>

namespace screenshots {

QPixmap Canvas(QSize size, qreal ratio, const QColor& fill) {
    QPixmap picture(size * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(fill);
    return picture;
}

QPixmap WithTitleBar(QWidget& form) {
    QPixmap client = form.grab();
    const QSize size = client.deviceIndependentSize().toSize();
    QPixmap shot = Canvas({size.width(), size.height() + kCaption}, client.devicePixelRatio(),
                          QColor(0x0a, 0x24, 0x6a));
    QPainter painter(&shot);
    QFont font;
    font.setFamilies({"Tahoma"});
    font.setPixelSize(11);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(4, 0, size.width() - 60, kCaption), Qt::AlignVCenter | Qt::AlignLeft,
                     form.windowTitle());
    Qt::WindowFlags flags = form.windowFlags();
    QString buttons;
    if (flags & Qt::WindowMinimizeButtonHint) buttons += "_ ";
    if (flags & Qt::WindowMaximizeButtonHint) buttons += "□ ";
    if (flags & Qt::WindowCloseButtonHint) buttons += "×";
    painter.drawText(QRect(0, 0, size.width() - 4, kCaption), Qt::AlignVCenter | Qt::AlignRight,
                     buttons.trimmed());
    painter.drawPixmap(0, kCaption, client);
    return shot;
}

}  // namespace screenshots
