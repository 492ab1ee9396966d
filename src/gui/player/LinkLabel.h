#pragma once

#include <QLabel>

// A label that acts as a link: clicked by the mouse, or by Space/Enter once it has the
// keyboard focus (Tab reaches it), so every action of the window works without a mouse.
// Its text is always plain: captions may come from outside (a country name).
class LinkLabel final : public QLabel
{
    Q_OBJECT
public:
    explicit LinkLabel(QWidget *parent = nullptr);

Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    // Under the mouse or with the focus the link is underlined.
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void underline(bool on);
};
