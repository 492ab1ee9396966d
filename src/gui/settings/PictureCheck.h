#pragma once

#include <QAbstractButton>
#include <QImage>

// A check box drawn as a picture: Picture while clear, DownPicture while ticked.
class PictureCheck final : public QAbstractButton
{
    Q_OBJECT
public:
    static constexpr int kSide = 22;

    explicit PictureCheck(QWidget *parent = nullptr);

    void setPictures(const QImage &picture, const QImage &downPicture);
    const QImage &picture() const { return m_picture; }
    const QImage &downPicture() const { return m_downPicture; }
    // The check-box value: 1 ticked, 0 clear.
    int value() const { return isChecked() ? 1 : 0; }

    QSize sizeHint() const override { return {kSide, kSide}; }

    // The pictures the settings dialog is designed with.
    static QImage designPicture(bool ticked);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_picture;
    QImage m_downPicture;
};
