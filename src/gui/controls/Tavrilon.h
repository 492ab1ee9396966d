#pragma once

#include "controls/TavrilonColorizer.h"
#include "controls/TavrilonPropertyBag.h"

#include <QColor>
#include <QEvent>
#include <QPixmap>
#include <QPointer>
#include <QTextCharFormat>
#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>

class QPagedPaintDevice;
class QTextCursor;
class QTextEdit;
class TavrilonEdit;

// Error values of the control, numbered as the run-time errors they stand for.
enum class TavrilonError {
    None = 0,
    InvalidArgument = 5,
    FileTooLarge = 7,
    FileNotFound = 53,
    FileAccess = 75,
};

// An HTML source text box: one edit box filling the control, with Colorize giving tag
// names, attribute names and values, comments and entities their own bold and italic
// settings on top of the base font, restyling of edited lines when the caret leaves them
// and replacement of typed special characters by entities.
//
// Text set through setText is held as plain text and reaches the edit box only when the
// control is shown or a member needs the edit box, so a hidden control takes a list of
// megabytes at no cost. Text reads back what was set, with CR LF and CR as LF, the line
// breaks the document keeps.
//
// Colorize runs at once on short ranges and in slices from the event loop on longer ones
// (chunkThreshold): the control is busy and read-only meanwhile, progress goes to the
// attached ProgressBar, cancelColorize stops it and colorizeFinished reports the end.
//
// Events named after the edit box's (Change, Click, ... SelChange) are not raised while the
// control is busy, so styling never shows up as a change.
class Tavrilon final : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool AutoColorize READ AutoColorize WRITE setAutoColorize)
    Q_PROPERTY(bool CommentBold READ CommentBold WRITE setCommentBold)
    Q_PROPERTY(bool CommentItalic READ CommentItalic WRITE setCommentItalic)
    Q_PROPERTY(bool EntityBold READ EntityBold WRITE setEntityBold)
    Q_PROPERTY(bool EntityItalic READ EntityItalic WRITE setEntityItalic)
    Q_PROPERTY(bool PropNameBold READ PropNameBold WRITE setPropNameBold)
    Q_PROPERTY(bool PropNameItalic READ PropNameItalic WRITE setPropNameItalic)
    Q_PROPERTY(bool PropValBold READ PropValBold WRITE setPropValBold)
    Q_PROPERTY(bool PropValItalic READ PropValItalic WRITE setPropValItalic)
    Q_PROPERTY(bool TagBold READ TagBold WRITE setTagBold)
    Q_PROPERTY(bool TagItalic READ TagItalic WRITE setTagItalic)
    Q_PROPERTY(bool Silent READ Silent WRITE setSilent)
    Q_PROPERTY(int Entities READ Entities)
    Q_PROPERTY(QString Text READ Text WRITE setText)

public:
    // Options of Find, combinable.
    enum FindOption { WholeWord = 2, MatchCase = 4, NoHighlight = 8 };

    explicit Tavrilon(QWidget *parent = nullptr);
    ~Tavrilon() override;

    // Members of the control.
    bool AutoColorize() const { return m_autoColorize; }
    void setAutoColorize(bool value) { m_autoColorize = value; }
    bool CommentBold() const { return m_style[comment].bold; }
    void setCommentBold(bool value) { setStyleFlag(comment, true, value, QStringLiteral("CommentBold")); }
    bool CommentItalic() const { return m_style[comment].italic; }
    void setCommentItalic(bool value) { setStyleFlag(comment, false, value, QStringLiteral("CommentItalic")); }
    bool EntityBold() const { return m_style[entity].bold; }
    void setEntityBold(bool value) { setStyleFlag(entity, true, value, QStringLiteral("EntityBold")); }
    bool EntityItalic() const { return m_style[entity].italic; }
    void setEntityItalic(bool value) { setStyleFlag(entity, false, value, QStringLiteral("EntityItalic")); }
    bool PropNameBold() const { return m_style[propName].bold; }
    void setPropNameBold(bool value) { setStyleFlag(propName, true, value, QStringLiteral("PropNameBold")); }
    bool PropNameItalic() const { return m_style[propName].italic; }
    void setPropNameItalic(bool value) { setStyleFlag(propName, false, value, QStringLiteral("PropNameItalic")); }
    bool PropValBold() const { return m_style[propVal].bold; }
    void setPropValBold(bool value) { setStyleFlag(propVal, true, value, QStringLiteral("PropValBold")); }
    bool PropValItalic() const { return m_style[propVal].italic; }
    void setPropValItalic(bool value) { setStyleFlag(propVal, false, value, QStringLiteral("PropValItalic")); }
    bool TagBold() const { return m_style[tag].bold; }
    void setTagBold(bool value) { setStyleFlag(tag, true, value, QStringLiteral("TagBold")); }
    bool TagItalic() const { return m_style[tag].italic; }
    void setTagItalic(bool value) { setStyleFlag(tag, false, value, QStringLiteral("TagItalic")); }
    bool Silent() const { return m_silent; }
    void setSilent(bool value);
    // Bit mask of the typed characters replaced by entities: 1 double quote, 2 section
    // sign, 4 A/a umlaut, 8 O/o umlaut, 16 U/u umlaut, 32 sharp s. Outside 0-63 the mask
    // stays as it was and InvalidArgument comes back.
    int Entities() const { return m_entities; }
    TavrilonError setEntities(int mask);
    // A QProgressBar (range set to 0-100) or any object with a "Percent" property; the
    // control does not own it.
    QObject *ProgressBar() const { return m_progressBar; }
    void setProgressBar(QObject *target) { m_progressBar = target; }

    // Forwarded to the edit box.
    bool AutoVerbMenu() const { return m_autoVerbMenu; } // the edit box's own context menu
    void setAutoVerbMenu(bool value);
    QColor BackColor() const;
    void setBackColor(const QColor &color);
    QString FileName() const { return m_fileName; }
    TavrilonError setFileName(const QString &path); // loads the file as plain text
    bool HideSelection() const { return m_hideSelection; }
    void setHideSelection(bool value);
    bool Locked() const { return m_locked; }
    void setLocked(bool value);
    int MaxLength() const { return m_maxLength; } // 0: no limit; limits what the user types or pastes
    void setMaxLength(int value) { m_maxLength = std::max(0, value); }
    QPixmap MouseIcon() const { return m_mouseIcon; }
    void setMouseIcon(const QPixmap &icon);
    // 0 default, 1 arrow, 2 cross, 3 I-beam, 4/15 size all, 6/7/8/9 sizing, 10 up arrow,
    // 11 hourglass, 12 no drop, 13 arrow and hourglass, 14 arrow and question mark,
    // 99 MouseIcon.
    int MousePointer() const { return m_mousePointer; }
    TavrilonError setMousePointer(int value);
    float RightMargin() const { return m_rightMargin; } // pixels; 0 wraps at the box's width
    void setRightMargin(float pixels);
    int SelLength();
    void setSelLength(int length);
    int SelStart();
    void setSelStart(int start);
    QVariant SelTabCount(); // empty when the selected lines differ
    TavrilonError setSelTabCount(const QVariant &count);
    QVariant SelTabs(qint16 index); // pixels
    TavrilonError setSelTabs(qint16 index, const QVariant &pixels);
    QString SelText();
    void setSelText(const QString &text);
    QString Text() const;
    // The plain path: no colouring, no layout while the control is hidden. Line breaks
    // are kept as the document keeps them (CR LF and CR become LF).
    void setText(const QString &text);
    // Rich text of the edit box, as HTML. Resources it names are never loaded.
    QString TextRTF();
    void setTextRTF(const QString &html);
    QTextEdit *hwnd(); // the edit box

    // Methods.
    // Styles lngStartPos to lngEndPos (1-based, inclusive; 0 means 1 and the text length).
    void Colorize(qsizetype lngStartPos = 0, qsizetype lngEndPos = 0);
    // Position found (0-based) or -1; the match is selected unless NoHighlight is given.
    // Without lngStart the search starts at the caret, without lngEnd it runs to the end.
    int Find(const QString &strString, std::optional<int> lngStart = {}, std::optional<int> lngEnd = {},
             std::optional<int> fndOptions = {});
    int GetLineCount();
    int GetLineFirstCharIndex(int lngLineIndex = -1); // 0-based; -1 the caret's line; -1 back when no such line
    int GetLineFromChar(int lngCharIndex);
    int GetLineSelected();
    TavrilonError LoadFile(const QString &strFilePath);
    TavrilonError SaveFile(const QString &strFilePath);
    void SelPrint(QPagedPaintDevice *device); // the whole text when nothing is selected
    void Refresh();
    // Extends the selection over the characters in (or, negated, not in) strString.
    void Span(const QString &strString, bool blnGoForward = true, bool blnNegate = false);
    // Moves the caret up to the next character in (or, negated, not in) strString.
    void UpTo(const QString &strString, bool blnGoForward = true, bool blnNegate = false);

    // Property store: entries "AutoColorize" ... "Text" with their defaults.
    void ReadProperties(const TavrilonPropertyBag &bag);
    void WriteProperties(TavrilonPropertyBag &bag) const;

    // Colouring in slices.
    bool isColorizing() const { return m_run != nullptr; }
    void cancelColorize();
    // Ranges longer than this many characters are coloured in slices.
    qsizetype chunkThreshold() const { return m_chunkThreshold; }
    void setChunkThreshold(qsizetype characters) { m_chunkThreshold = std::max<qsizetype>(1, characters); }
    bool isBusy() const { return m_busy; }

Q_SIGNALS:
    void Change();
    void Click();
    void DblClick();
    void KeyDown(qint16 &KeyCode, qint16 &Shift); // KeyCode 0 drops the key
    void KeyPress(qint16 &KeyAscii); // KeyAscii 0 drops the character, another value types that one
    void KeyUp(qint16 &KeyCode, qint16 &Shift);
    void MouseDown(qint16 &Button, qint16 &Shift, float X, float Y);
    void MouseMove(qint16 &Button, qint16 &Shift, float X, float Y); // declared for callers; never raised
    void MouseUp(qint16 &Button, qint16 &Shift, float X, float Y);
    void SelChange();

    void propertyChanged(const QString &name); // a stored property was set
    void colorizeProgress(int percent);
    void colorizeFinished(bool completed);

protected:
    void showEvent(QShowEvent *event) override;

private:
    friend class TavrilonEdit;
    enum StyleIndex { tag, propName, propVal, comment, entity, styleCount };
    struct StyleFlags
    {
        bool bold = false;
        bool italic = false;
    };
    struct Run;

    void setStyleFlag(StyleIndex index, bool bold, bool value, const QString &name);
    QTextEdit *box(); // the edit box, with any held text put into it
    void ensureDocument();
    void applyLocked();
    void applyCursor();
    void applySelectionPalette();

    // Colouring (TavrilonColorRun.cpp).
    void colorizeNow(qsizetype startPos, qsizetype endPos, bool joinUndo);
    std::unique_ptr<Run> startRun(qsizetype startPos, qsizetype endPos);
    bool advanceRun(Run &run, qsizetype characters); // -1: to the end
    void onSliceTimer();
    void finishChunkedRun(bool completed);
    void reportProgress(int mode, const std::vector<int> &percents);

    // Edit box events (TavrilonEdit.cpp).
    void onTextChanged();
    void onCaretMaybeMoved();
    bool keyDown(int qtKey, Qt::KeyboardModifiers modifiers, bool release); // true: drop the key
    enum class TypedAction { PassOn, Drop, Replace };
    TypedAction typed(QChar &character);
    bool roomFor(qsizetype characters) const;
    qsizetype heldBesideSelection() const;
    void mouseButton(QEvent::Type type, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF pos);

    TavrilonEdit *m_edit = nullptr;

    bool m_autoColorize = true;
    std::array<StyleFlags, styleCount> m_style {};
    int m_entities = 62;
    bool m_silent = true;
    QPointer<QObject> m_progressBar;

    bool m_autoVerbMenu = false;
    std::optional<QColor> m_backColor;
    QString m_fileName;
    bool m_hideSelection = false;
    bool m_locked = false;
    int m_maxLength = 0;
    QPixmap m_mouseIcon;
    int m_mousePointer = 0;
    float m_rightMargin = 0;

    bool m_busy = false;
    bool m_dirty = false;
    bool m_lineLeave = false;
    int m_lastLine = 0;

    // The text as set, while it is what the document holds; m_pendingFill says it has not
    // reached the edit box yet.
    std::optional<QString> m_textCache;
    bool m_pendingFill = false;
    int m_quiet = 0; // filling the edit box: its own events are not the user's
    int m_seenPosition = 0;
    int m_seenAnchor = 0;

    std::unique_ptr<Run> m_run;
    quint64 m_runSerial = 0;
    QTimer m_sliceTimer;
    qsizetype m_chunkThreshold = 32 * 1024;
};
