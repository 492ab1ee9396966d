#pragma once

#include <QImage>
#include <QWidget>

// An image control: shows its picture stretched over its whole area (the skin's frame
// and title bar are stretched to their window), or at its own size from the top left
// (the main window's header). Without a picture it draws nothing, so the window's
// plain style shows through. Mouse events pass to the widgets below.
class SkinImage final : public QWidget
{
    Q_OBJECT
public:
    explicit SkinImage(QWidget *parent = nullptr, bool stretch = true);

    void setPicture(const QImage &picture);
    const QImage &picture() const { return m_picture; }
    bool hasPicture() const { return !m_picture.isNull(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_picture;
    bool m_stretch;
};
