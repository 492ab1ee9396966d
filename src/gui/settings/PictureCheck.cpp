#include "settings/PictureCheck.h"

#include <QPainter>
#include <QPainterPath>

PictureCheck::PictureCheck(QWidget *parent)
    : QAbstractButton(parent)
{
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

void PictureCheck::setPictures(const QImage &picture, const QImage &downPicture)
{
    m_picture = picture;
    m_downPicture = downPicture;
    update();
}

void PictureCheck::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QImage &image = isChecked() ? m_downPicture : m_picture;
    if (!image.isNull())
        p.drawImage(QRect(0, 0, kSide, kSide), image);
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

QImage PictureCheck::designPicture(bool ticked)
{
    // Drawn at twice the size for sharp edges on high-density screens.
    constexpr int side = 2 * kSide;
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(3, 3, side - 6, side - 6);
    if (ticked) {
        QLinearGradient fill(0, 0, 0, side);
        fill.setColorAt(0, QColor(0x1d, 0x8c, 0xd0));
        fill.setColorAt(1, QColor(0x0f, 0x5a, 0x96));
        p.setPen(QPen(QColor(0x0b, 0x46, 0x78), 2));
        p.setBrush(fill);
        p.drawRoundedRect(box, 8, 8);
        QPainterPath tick;
        tick.moveTo(side * 0.27, side * 0.52);
        tick.lineTo(side * 0.44, side * 0.69);
        tick.lineTo(side * 0.75, side * 0.33);
        p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    } else {
        QLinearGradient fill(0, 0, 0, side);
        fill.setColorAt(0, Qt::white);
        fill.setColorAt(1, QColor(0xe6, 0xec, 0xf2));
        p.setPen(QPen(QColor(0x7d, 0x8c, 0x9c), 2));
        p.setBrush(fill);
        p.drawRoundedRect(box, 8, 8);
    }
    return image;
}
