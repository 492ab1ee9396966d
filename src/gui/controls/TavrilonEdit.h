#pragma once

#include <QTextEdit>

class Tavrilon;

// The edit box of the control: hands its input to the control before and after its own
// handling, so the control raises its events and replaces typed characters by entities.
class TavrilonEdit final : public QTextEdit
{
public:
    explicit TavrilonEdit(Tavrilon *owner);

protected:
    // Rich text set from code may name pictures; nothing is fetched for them.
    QVariant loadResource(int, const QUrl &) override { return {}; }
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    // Hands a typed character to the control; true when the edit box is to type it itself.
    bool typeCharacter(QChar character, QEvent *event);

    Tavrilon *m_owner;
};
