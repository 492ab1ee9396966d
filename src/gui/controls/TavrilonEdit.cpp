#include "controls/TavrilonEdit.h"

#include "controls/InputCodes.h"
#include "controls/Tavrilon.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

namespace {

// Key codes as the control's callers know them (the letters and digits are their ASCII
// codes); keys without one report 0.
qint16 virtualKey(int key)
{
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z))
        return qint16(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return qint16(112 + key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    case Qt::Key_Pause:
        return 19;
    case Qt::Key_CapsLock:
        return 20;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    case Qt::Key_NumLock:
        return 144;
    case Qt::Key_ScrollLock:
        return 145;
    default:
        return 0;
    }
}

struct EntityKey
{
    char16_t character;
    int bit;
    const char *entity;
};

constexpr EntityKey kEntityKeys[] = {
    {u'"', 1, "&quot;"},      {u'\u00A7', 2, "&sect;"},  {u'\u00C4', 4, "&Auml;"},
    {u'\u00D6', 8, "&Ouml;"}, {u'\u00DC', 16, "&Uuml;"}, {u'\u00DF', 32, "&szlig;"},
    {u'\u00E4', 4, "&auml;"}, {u'\u00F6', 8, "&ouml;"},  {u'\u00FC', 16, "&uuml;"},
};

} // namespace

TavrilonEdit::TavrilonEdit(Tavrilon *owner)
    : QTextEdit(owner)
    , m_owner(owner)
{ }

void TavrilonEdit::keyPressEvent(QKeyEvent *event)
{
    const bool dropped = m_owner->keyDown(event->key(), event->modifiers(), false);
    const QString text = event->text();
    if (dropped)
        event->accept();
    else if (text.size() != 1 || typeCharacter(text.at(0), event))
        QTextEdit::keyPressEvent(event);
}

void TavrilonEdit::keyReleaseEvent(QKeyEvent *event)
{
    if (m_owner->keyDown(event->key(), event->modifiers(), true))
        event->accept();
    else
        QTextEdit::keyReleaseEvent(event);
}

// A composed character (dead keys, input methods) is typed like a key.
void TavrilonEdit::inputMethodEvent(QInputMethodEvent *event)
{
    const QString commit = event->commitString();
    const bool single = commit.size() == 1 && event->preeditString().isEmpty() && event->replacementLength() == 0;
    if (!single || typeCharacter(commit.at(0), event))
        QTextEdit::inputMethodEvent(event);
}

bool TavrilonEdit::typeCharacter(QChar character, QEvent *event)
{
    switch (m_owner->typed(character)) {
    case Tavrilon::TypedAction::PassOn:
        return true;
    case Tavrilon::TypedAction::Replace:
        insertPlainText(QString(character));
        break;
    case Tavrilon::TypedAction::Drop:
        event->accept();
        break;
    }
    return false;
}

void TavrilonEdit::mousePressEvent(QMouseEvent *event)
{
    QTextEdit::mousePressEvent(event);
    m_owner->mouseButton(QEvent::MouseButtonPress, event->button(), event->modifiers(), event->position());
}

void TavrilonEdit::mouseReleaseEvent(QMouseEvent *event)
{
    QTextEdit::mouseReleaseEvent(event);
    m_owner->mouseButton(QEvent::MouseButtonRelease, event->button(), event->modifiers(), event->position());
}

void TavrilonEdit::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTextEdit::mouseDoubleClickEvent(event);
    m_owner->mouseButton(QEvent::MouseButtonDblClick, event->button(), event->modifiers(), event->position());
}

// Pasted and dropped text arrives as plain text, cut to what MaxLength leaves room for.
void TavrilonEdit::insertFromMimeData(const QMimeData *source)
{
    if (!source || !source->hasText())
        return;
    QString text = source->text();
    if (m_owner->m_maxLength > 0)
        text.truncate(std::max<qsizetype>(0, m_owner->m_maxLength - m_owner->heldBesideSelection()));
    if (!text.isEmpty())
        insertPlainText(text);
}

// ---- the control's handling of the edit box's events ----------------------------------

void Tavrilon::onTextChanged()
{
    if (m_quiet > 0 || m_busy)
        return;
    m_textCache.reset();
    m_dirty = true;
    emit Change();
}

// Restyles the lines between the caret's old and new line when an edited line is left
// with Enter or an arrow key.
void Tavrilon::onCaretMaybeMoved()
{
    if (m_quiet > 0)
        return;
    // A move that also changes the selection is announced twice.
    const QTextCursor cursor = m_edit->textCursor();
    if (cursor.position() == m_seenPosition && cursor.anchor() == m_seenAnchor)
        return;
    m_seenPosition = cursor.position();
    m_seenAnchor = cursor.anchor();
    if (m_busy)
        return;

    if (m_dirty) {
        m_busy = true;
        m_dirty = false;
        if (m_lastLine == 0)
            m_lastLine = GetLineSelected() + 1;
        if (m_autoColorize && m_lineLeave) {
            const int current = GetLineSelected() + 1;
            if (current != m_lastLine) {
                int from = 0;
                int to = 0;
                if (current <= m_lastLine) {
                    from = GetLineFirstCharIndex(-1);
                    // Leaving the last line upwards restyles up to the end of the text.
                    to = GetLineFirstCharIndex(m_lastLine);
                    if (to < 0)
                        to = m_edit->document()->characterCount() - 1;
                } else {
                    from = GetLineFirstCharIndex(m_lastLine - 1);
                    to = GetLineFirstCharIndex(-1);
                }
                if (from >= 0 && to >= 0)
                    colorizeNow(from, to, true);
            }
        }
        m_busy = false;
    }
    m_lastLine = GetLineSelected() + 1;
    emit SelChange();
}

bool Tavrilon::keyDown(int qtKey, Qt::KeyboardModifiers modifiers, bool release)
{
    const qint16 code = virtualKey(qtKey);
    if (!release)
        m_lineLeave = code == 13 || (code >= 37 && code <= 40);
    if (m_busy)
        return false;
    qint16 keyCode = code;
    qint16 shift = qint16(InputCodes::shiftCode(modifiers));
    if (release)
        emit KeyUp(keyCode, shift);
    else
        emit KeyDown(keyCode, shift);
    return code != 0 && keyCode == 0;
}

Tavrilon::TypedAction Tavrilon::typed(QChar &character)
{
    if (m_busy)
        return TypedAction::PassOn;
    const qint16 typedAscii = qint16(character.unicode());
    qint16 keyAscii = typedAscii;
    if (m_entities != 0 && !m_edit->isReadOnly()) {
        for (const EntityKey &key : kEntityKeys) {
            if (character == QChar(key.character) && (m_entities & key.bit)) {
                keyAscii = 0;
                const QString entity = QLatin1String(key.entity);
                if (roomFor(entity.size()))
                    m_edit->insertPlainText(entity);
                break;
            }
        }
    }
    emit KeyPress(keyAscii);
    if (keyAscii == 0)
        return TypedAction::Drop;
    const bool adds = keyAscii >= 32 || keyAscii < 0 || keyAscii == 9 || keyAscii == 13;
    if (adds && !m_edit->isReadOnly() && !roomFor(1))
        return TypedAction::Drop;
    if (keyAscii != typedAscii) {
        character = QChar(char16_t(quint16(keyAscii)));
        return TypedAction::Replace;
    }
    return TypedAction::PassOn;
}

bool Tavrilon::roomFor(qsizetype characters) const
{
    return m_maxLength <= 0 || heldBesideSelection() + characters <= m_maxLength;
}

// The characters that stay when what is typed or pasted replaces the selection.
qsizetype Tavrilon::heldBesideSelection() const
{
    const QTextCursor cursor = m_edit->textCursor();
    return m_edit->document()->characterCount() - 1 - (cursor.selectionEnd() - cursor.selectionStart());
}

void Tavrilon::mouseButton(QEvent::Type type, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF pos)
{
    if (m_busy)
        return;
    const QPointF at = m_edit->viewport()->mapTo(this, pos);
    qint16 code = qint16(InputCodes::buttonCode(button));
    qint16 shift = qint16(InputCodes::shiftCode(modifiers));
    switch (type) {
    case QEvent::MouseButtonPress:
        emit MouseDown(code, shift, float(at.x()), float(at.y()));
        break;
    case QEvent::MouseButtonRelease:
        emit MouseUp(code, shift, float(at.x()), float(at.y()));
        if (button == Qt::LeftButton && m_edit->viewport()->rect().contains(pos.toPoint()))
            emit Click();
        break;
    case QEvent::MouseButtonDblClick:
        if (button == Qt::LeftButton)
            emit DblClick();
        break;
    default:
        break;
    }
}
