#include "skins/SkinImage.h"

#include <QPainter>

SkinImage::SkinImage(QWidget *parent, bool stretch)
    : QWidget(parent)
    , m_stretch(stretch)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SkinImage::setPicture(const QImage &picture)
{
    m_picture = picture;
    update();
}

void SkinImage::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (m_stretch)
        painter.drawImage(rect(), m_picture);
    else
        painter.drawImage(QPoint(0, 0), m_picture);
}
