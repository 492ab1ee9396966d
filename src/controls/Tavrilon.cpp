#include "Tavrilon.h"

#include <QElapsedTimer>
#include <QFile>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <ctime>

namespace {

// Walked in steps of this many characters, each step's ranges applied together.
constexpr qsizetype kStepLength = 4096;
// A slice of a long run, with the layout of what it styled, should take about this long
// before the event loop gets its turn; slices grow or shrink towards it.
constexpr qint64 kSliceTargetNs = 12'000'000;
constexpr qsizetype kFirstSliceLength = 2048;
// Everything the walk looks at beyond its position: "&" plus eight for an entity's ";".
constexpr qsizetype kLookAhead = 8;
constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;

// Time this thread has run, so a slice is sized on its own work and not on the time other
// programs took the processor meanwhile.
qint64 threadCpuNs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

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

qint16 shiftMask(Qt::KeyboardModifiers modifiers)
{
    return qint16((modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0)
                  | (modifiers & Qt::AltModifier ? 4 : 0));
}

qint16 buttonCode(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
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

std::optional<Qt::CursorShape> pointerShape(int pointer)
{
    static constexpr Qt::CursorShape shapes[] = {
        Qt::IBeamCursor,     Qt::ArrowCursor,   Qt::CrossCursor,     Qt::IBeamCursor,
        Qt::SizeAllCursor,   Qt::SizeAllCursor, Qt::SizeBDiagCursor, Qt::SizeVerCursor,
        Qt::SizeFDiagCursor, Qt::SizeHorCursor, Qt::UpArrowCursor,   Qt::WaitCursor,
        Qt::ForbiddenCursor, Qt::BusyCursor,    Qt::WhatsThisCursor, Qt::SizeAllCursor,
    };
    if (pointer >= 0 && pointer < int(std::size(shapes)))
        return shapes[pointer];
    return std::nullopt;
}

// The document breaks lines at CR and at LF alike, so CR LF would give an empty line;
// one pass over the text, and none at all for a text without CR.
QString withDocumentLineBreaks(const QString &text)
{
    qsizetype at = text.indexOf(u'\r');
    if (at < 0)
        return text;
    QString out(text.size(), Qt::Uninitialized);
    const QChar *in = text.constData();
    QChar *write = out.data();
    std::copy(in, in + at, write);
    qsizetype length = at;
    for (const qsizetype size = text.size(); at < size; ++at) {
        if (in[at] != u'\r')
            write[length++] = in[at];
        else if (at + 1 >= size || in[at + 1] != u'\n')
            write[length++] = u'\n';
    }
    out.truncate(length);
    return out;
}

QString plainFromSelection(QString text)
{
    return text.replace(QChar::ParagraphSeparator, u'\n').replace(QChar::LineSeparator, u'\n');
}

} // namespace

// The edit box: hands its input to the control before and after its own handling.
class TavrilonEdit final : public QTextEdit
{
public:
    explicit TavrilonEdit(Tavrilon *owner)
        : QTextEdit(owner)
        , m_owner(owner)
    { }

protected:
    // Rich text set from code may name pictures; nothing is fetched for them.
    QVariant loadResource(int, const QUrl &) override { return {}; }

    void keyPressEvent(QKeyEvent *event) override
    {
        const bool dropped = m_owner->keyDown(event->key(), event->modifiers(), false);
        const QString text = event->text();
        if (dropped) {
            event->accept();
        } else if (text.size() == 1) {
            QChar character = text.at(0);
            switch (m_owner->typed(character)) {
            case Tavrilon::TypedAction::PassOn:
                QTextEdit::keyPressEvent(event);
                break;
            case Tavrilon::TypedAction::Replace:
                insertPlainText(QString(character));
                break;
            case Tavrilon::TypedAction::Drop:
                event->accept();
                break;
            }
        } else {
            QTextEdit::keyPressEvent(event);
        }
    }

    void keyReleaseEvent(QKeyEvent *event) override
    {
        if (m_owner->keyDown(event->key(), event->modifiers(), true))
            event->accept();
        else
            QTextEdit::keyReleaseEvent(event);
    }

    // A composed character (dead keys, input methods) is typed like a key.
    void inputMethodEvent(QInputMethodEvent *event) override
    {
        const QString commit = event->commitString();
        if (commit.size() == 1 && event->preeditString().isEmpty() && event->replacementLength() == 0) {
            QChar character = commit.at(0);
            switch (m_owner->typed(character)) {
            case Tavrilon::TypedAction::PassOn:
                QTextEdit::inputMethodEvent(event);
                break;
            case Tavrilon::TypedAction::Replace:
                insertPlainText(QString(character));
                break;
            case Tavrilon::TypedAction::Drop:
                event->accept();
                break;
            }
        } else {
            QTextEdit::inputMethodEvent(event);
        }
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        QTextEdit::mousePressEvent(event);
        m_owner->mouseButton(QEvent::MouseButtonPress, event->button(), event->modifiers(), event->position());
    }

    void mouseReleaseEvent(QMouseEvent *event) override
    {
        QTextEdit::mouseReleaseEvent(event);
        m_owner->mouseButton(QEvent::MouseButtonRelease, event->button(), event->modifiers(), event->position());
    }

    void mouseDoubleClickEvent(QMouseEvent *event) override
    {
        QTextEdit::mouseDoubleClickEvent(event);
        m_owner->mouseButton(QEvent::MouseButtonDblClick, event->button(), event->modifiers(), event->position());
    }

    // Pasted and dropped text arrives as plain text, cut to what MaxLength leaves room for.
    void insertFromMimeData(const QMimeData *source) override
    {
        if (!source || !source->hasText())
            return;
        QString text = source->text();
        if (m_owner->m_maxLength > 0) {
            const QTextCursor cursor = textCursor();
            const qsizetype held = document()->characterCount() - 1 - (cursor.selectionEnd() - cursor.selectionStart());
            text.truncate(std::max<qsizetype>(0, m_owner->m_maxLength - held));
        }
        if (!text.isEmpty())
            insertPlainText(text);
    }

private:
    Tavrilon *m_owner;
};

struct Tavrilon::Run
{
    explicit Run(TavrilonColorizer colorizer)
        : walker(std::move(colorizer))
    { }

    TavrilonColorizer walker;
    qsizetype resetUpTo = 0; // position up to which the base style is given
    std::vector<int> percents; // reached in the current slice, reported after it
    QTextCharFormat base;
    std::array<QTextCharFormat, styleCount> formats;
    qsizetype sliceLength = kFirstSliceLength;
    int progressMode = 0; // 1 progress bar, 2 "Percent" property
    bool joinUndo = false;
    bool undoWasEnabled = true;
};

Tavrilon::Tavrilon(QWidget *parent)
    : QWidget(parent)
{
    m_style[tag].bold = true;
    m_style[comment].italic = true;

    m_edit = new TavrilonEdit(this);
    m_edit->setObjectName(QStringLiteral("rtfHTML"));
    m_edit->setAcceptRichText(false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_edit);
    setFocusProxy(m_edit);

    connect(m_edit, &QTextEdit::textChanged, this, &Tavrilon::onTextChanged);
    connect(m_edit, &QTextEdit::cursorPositionChanged, this, &Tavrilon::onCaretMaybeMoved);
    connect(m_edit, &QTextEdit::selectionChanged, this, &Tavrilon::onCaretMaybeMoved);

    m_sliceTimer.setSingleShot(true);
    connect(&m_sliceTimer, &QTimer::timeout, this, &Tavrilon::onSliceTimer);

    setAutoVerbMenu(false);
    applySelectionPalette();
}

// The edit box outlives this part of the control while QWidget deletes its children.
Tavrilon::~Tavrilon()
{
    m_edit->disconnect(this);
}

void Tavrilon::setStyleFlag(StyleIndex index, bool bold, bool value, const QString &name)
{
    (bold ? m_style[index].bold : m_style[index].italic) = value;
    emit propertyChanged(name);
}

void Tavrilon::setSilent(bool value)
{
    m_silent = value;
    emit propertyChanged(QStringLiteral("Silent"));
}

TavrilonError Tavrilon::setEntities(int mask)
{
    if (mask < 0 || mask > 63)
        return TavrilonError::InvalidArgument;
    m_entities = mask;
    emit propertyChanged(QStringLiteral("Entities"));
    return TavrilonError::None;
}

// ---- forwarded properties ------------------------------------------------------------

void Tavrilon::setAutoVerbMenu(bool value)
{
    m_autoVerbMenu = value;
    const auto policy = value ? Qt::DefaultContextMenu : Qt::PreventContextMenu;
    m_edit->setContextMenuPolicy(policy);
    m_edit->viewport()->setContextMenuPolicy(policy);
}

QColor Tavrilon::BackColor() const
{
    return m_edit->palette().color(QPalette::Base);
}

void Tavrilon::setBackColor(const QColor &color)
{
    m_backColor = color;
    QPalette palette = m_edit->palette();
    palette.setColor(QPalette::Base, color);
    m_edit->setPalette(palette);
}

TavrilonError Tavrilon::setFileName(const QString &path)
{
    const TavrilonError error = LoadFile(path);
    if (error == TavrilonError::None) {
        m_fileName = path;
        emit propertyChanged(QStringLiteral("FileName"));
    }
    return error;
}

void Tavrilon::setHideSelection(bool value)
{
    m_hideSelection = value;
    applySelectionPalette();
}

void Tavrilon::applySelectionPalette()
{
    QPalette palette = m_edit->palette();
    if (m_hideSelection) {
        palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Inactive, QPalette::Base));
        palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                         palette.color(QPalette::Inactive, QPalette::Text));
    } else {
        palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
        palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                         palette.color(QPalette::Active, QPalette::HighlightedText));
    }
    m_edit->setPalette(palette);
}

void Tavrilon::setLocked(bool value)
{
    m_locked = value;
    applyLocked();
}

// Locked text, and text being coloured in slices, can still be selected and walked with
// the keys; it cannot be changed.
void Tavrilon::applyLocked()
{
    const bool readOnly = m_locked || m_run;
    m_edit->setReadOnly(readOnly);
    if (readOnly)
        m_edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void Tavrilon::setMouseIcon(const QPixmap &icon)
{
    m_mouseIcon = icon;
    applyCursor();
}

TavrilonError Tavrilon::setMousePointer(int value)
{
    if (value != 99 && !pointerShape(value))
        return TavrilonError::InvalidArgument;
    m_mousePointer = value;
    applyCursor();
    return TavrilonError::None;
}

void Tavrilon::applyCursor()
{
    if (m_mousePointer == 99 && !m_mouseIcon.isNull())
        m_edit->viewport()->setCursor(QCursor(m_mouseIcon));
    else
        m_edit->viewport()->setCursor(pointerShape(m_mousePointer).value_or(Qt::IBeamCursor));
}

void Tavrilon::setRightMargin(float pixels)
{
    m_rightMargin = std::max(0.0f, pixels);
    if (m_rightMargin > 0) {
        m_edit->setLineWrapMode(QTextEdit::FixedPixelWidth);
        m_edit->setLineWrapColumnOrWidth(int(m_rightMargin));
    } else {
        m_edit->setLineWrapMode(QTextEdit::WidgetWidth);
    }
}

int Tavrilon::SelLength()
{
    const QTextCursor cursor = box()->textCursor();
    return cursor.selectionEnd() - cursor.selectionStart();
}

void Tavrilon::setSelLength(int length)
{
    QTextCursor cursor = box()->textCursor();
    const int start = cursor.selectionStart();
    const int end = std::clamp(start + std::max(0, length), 0, m_edit->document()->characterCount() - 1);
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    m_edit->setTextCursor(cursor);
}

int Tavrilon::SelStart()
{
    return box()->textCursor().selectionStart();
}

void Tavrilon::setSelStart(int start)
{
    QTextCursor cursor = box()->textCursor();
    cursor.setPosition(std::clamp(start, 0, m_edit->document()->characterCount() - 1));
    m_edit->setTextCursor(cursor);
}

QVariant Tavrilon::SelTabCount()
{
    const QTextCursor cursor = box()->textCursor();
    QTextBlock block = m_edit->document()->findBlock(cursor.selectionStart());
    const QTextBlock last = m_edit->document()->findBlock(cursor.selectionEnd());
    const auto count = block.blockFormat().tabPositions().size();
    for (; block.isValid() && block.blockNumber() <= last.blockNumber(); block = block.next()) {
        if (block.blockFormat().tabPositions().size() != count)
            return {};
    }
    return int(count);
}

TavrilonError Tavrilon::setSelTabCount(const QVariant &count)
{
    bool ok = false;
    const int wanted = count.toInt(&ok);
    if (!ok || wanted < 0 || wanted > 32)
        return TavrilonError::InvalidArgument;
    QTextCursor cursor = box()->textCursor();
    QList<QTextOption::Tab> tabs = cursor.blockFormat().tabPositions();
    const qreal distance = m_edit->tabStopDistance();
    while (tabs.size() < wanted)
        tabs.append(
            QTextOption::Tab(tabs.isEmpty() ? distance : tabs.last().position + distance, QTextOption::LeftTab));
    tabs.resize(wanted);
    QTextBlockFormat format;
    format.setTabPositions(tabs);
    cursor.mergeBlockFormat(format);
    return TavrilonError::None;
}

QVariant Tavrilon::SelTabs(qint16 index)
{
    if (!SelTabCount().isValid())
        return {};
    const QList<QTextOption::Tab> tabs = m_edit->textCursor().blockFormat().tabPositions();
    if (index < 0 || index >= tabs.size())
        return {};
    return tabs.at(index).position;
}

TavrilonError Tavrilon::setSelTabs(qint16 index, const QVariant &pixels)
{
    QTextCursor cursor = box()->textCursor();
    QList<QTextOption::Tab> tabs = cursor.blockFormat().tabPositions();
    bool ok = false;
    const qreal position = pixels.toReal(&ok);
    if (!ok || position < 0 || index < 0 || index >= tabs.size())
        return TavrilonError::InvalidArgument;
    tabs[index].position = position;
    QTextBlockFormat format;
    format.setTabPositions(tabs);
    cursor.mergeBlockFormat(format);
    return TavrilonError::None;
}

QString Tavrilon::SelText()
{
    return plainFromSelection(box()->textCursor().selectedText());
}

void Tavrilon::setSelText(const QString &text)
{
    cancelColorize();
    QTextCursor cursor = box()->textCursor();
    cursor.insertText(text);
    m_edit->setTextCursor(cursor);
}

QString Tavrilon::Text() const
{
    return m_textCache ? *m_textCache : m_edit->toPlainText();
}

void Tavrilon::setText(const QString &text)
{
    cancelColorize();
    m_textCache = withDocumentLineBreaks(text);
    m_pendingFill = true;
    m_lastLine = 0;
    if (isVisible())
        ensureDocument();
    m_dirty = true;
    if (!m_busy)
        emit Change();
    emit propertyChanged(QStringLiteral("Text"));
    emit propertyChanged(QStringLiteral("TextRTF"));
}

QString Tavrilon::TextRTF()
{
    return box()->toHtml();
}

void Tavrilon::setTextRTF(const QString &html)
{
    cancelColorize();
    m_pendingFill = false;
    m_textCache.reset();
    m_lastLine = 0;
    m_edit->setHtml(html);
    emit propertyChanged(QStringLiteral("TextRTF"));
    emit propertyChanged(QStringLiteral("Text"));
}

QTextEdit *Tavrilon::hwnd()
{
    return box();
}

QTextEdit *Tavrilon::box()
{
    ensureDocument();
    return m_edit;
}

void Tavrilon::ensureDocument()
{
    if (!m_pendingFill)
        return;
    m_pendingFill = false;
    ++m_quiet;
    m_edit->setPlainText(*m_textCache);
    --m_quiet;
    const QTextCursor cursor = m_edit->textCursor();
    m_seenPosition = cursor.position();
    m_seenAnchor = cursor.anchor();
}

void Tavrilon::showEvent(QShowEvent *event)
{
    ensureDocument();
    QWidget::showEvent(event);
}

// ---- methods -------------------------------------------------------------------------

void Tavrilon::Colorize(qsizetype lngStartPos, qsizetype lngEndPos)
{
    cancelColorize();
    const qsizetype length = box()->document()->characterCount() - 1;
    const qsizetype from = lngStartPos <= 0 ? 1 : lngStartPos;
    const qsizetype to = lngEndPos <= 0 ? length : std::min(lngEndPos, length);
    if (to - from + 1 <= m_chunkThreshold) {
        colorizeNow(from, to, false);
        emit colorizeFinished(true);
        return;
    }
    m_busy = true;
    m_run = startRun(from, to);
    ++m_runSerial;
    QTextDocument *document = m_edit->document();
    // Styling a long text is not an edit to undo, and its undo steps would take more
    // memory than the text.
    m_run->undoWasEnabled = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    applyLocked();
    m_sliceTimer.start(0);
}

void Tavrilon::cancelColorize()
{
    if (m_run)
        finishChunkedRun(false);
}

void Tavrilon::colorizeNow(qsizetype startPos, qsizetype endPos, bool joinUndo)
{
    m_busy = true;
    const std::unique_ptr<Run> run = startRun(startPos, endPos);
    run->joinUndo = joinUndo;
    advanceRun(*run, -1);
    m_busy = false;
    m_dirty = false;
}

std::unique_ptr<Tavrilon::Run> Tavrilon::startRun(qsizetype startPos, qsizetype endPos)
{
    QTextDocument *document = m_edit->document();
    const qsizetype length = document->characterCount() - 1;
    startPos = std::max<qsizetype>(startPos, 1);
    endPos = endPos <= 0 ? length : std::min(endPos, length);

    // The walk reads nothing before its first position and at most a few characters past
    // its last, so an edited document gives only that stretch.
    QString text;
    qsizetype offset = 0;
    if (m_textCache && m_textCache->size() == length) {
        text = *m_textCache;
    } else {
        offset = std::min(startPos - 1, length);
        QTextCursor stretch(document);
        stretch.setPosition(int(offset));
        stretch.setPosition(int(std::min(length, endPos + 2 * kLookAhead)), QTextCursor::KeepAnchor);
        text = stretch.selectedText();
    }
    auto run = std::make_unique<Run>(TavrilonColorizer(text, startPos, endPos, offset));
    run->resetUpTo = run->walker.startPos() - 1;

    const QFont font = m_edit->font();
    run->base.setFontFamilies(QStringList {font.family()});
    if (font.pointSizeF() > 0)
        run->base.setFontPointSize(font.pointSizeF());
    run->base.setFontWeight(font.bold() ? QFont::Bold : QFont::Normal);
    run->base.setFontItalic(font.italic());
    run->base.setForeground(m_edit->palette().color(QPalette::Text));
    for (int i = 0; i < styleCount; ++i) {
        run->formats[i].setFontWeight(m_style[i].bold ? QFont::Bold : QFont::Normal);
        run->formats[i].setFontItalic(m_style[i].italic);
    }

    if (auto *bar = qobject_cast<QProgressBar *>(m_progressBar.data())) {
        run->progressMode = 1;
        bar->setRange(0, 100);
        bar->setValue(0);
    } else if (m_progressBar
               && (m_progressBar->metaObject()->indexOfProperty("Percent") >= 0
                   || m_progressBar->dynamicPropertyNames().contains("Percent"))) {
        run->progressMode = 2;
        m_progressBar->setProperty("Percent", 0);
    }
    run->walker.setProgressCallback([percents = &run->percents](int percent) { percents->push_back(percent); });
    return run;
}

// Called once the slice's styling is done: whoever watches the progress may change the
// text or stop the run.
void Tavrilon::reportProgress(int mode, const std::vector<int> &percents)
{
    const QPointer<Tavrilon> alive(this);
    for (const int percent : percents) {
        if (mode == 1) {
            if (auto *bar = qobject_cast<QProgressBar *>(m_progressBar.data()))
                bar->setValue(percent);
        } else if (mode == 2 && m_progressBar) {
            m_progressBar->setProperty("Percent", percent);
        }
        emit colorizeProgress(percent);
        if (!alive)
            return;
    }
}

bool Tavrilon::advanceRun(Run &run, qsizetype characters)
{
    QTextDocument *document = m_edit->document();
    const qsizetype length = document->characterCount() - 1;
    QTextCursor cursor(document);
    // Restyling after an edit undoes together with that edit.
    if (run.joinUndo)
        cursor.joinPreviousEditBlock();
    else
        cursor.beginEditBlock();
    const bool silenced = m_silent && m_edit->updatesEnabled();
    if (silenced)
        m_edit->setUpdatesEnabled(false);

    const auto style = [&](qsizetype walkerStart, qsizetype count, const QTextCharFormat &format) {
        const qsizetype from = std::clamp(walkerStart, qsizetype(0), length);
        const qsizetype to = std::clamp(walkerStart + count, qsizetype(0), length);
        if (to <= from)
            return;
        cursor.setPosition(int(from));
        cursor.setPosition(int(to), QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(format);
    };

    std::vector<TavrilonStyledRange> ranges;
    const qsizetype last = characters < 0 ? run.walker.endPos() : run.walker.nextPos() + characters - 1;
    while (!run.walker.atEnd() && run.walker.nextPos() <= last) {
        ranges.clear();
        run.walker.step(std::min(kStepLength, last - run.walker.nextPos() + 1), ranges);
        // Every character gets the base style before any range over it; an entity may
        // reach a few characters past the walked ones.
        const qsizetype resetTo = std::min(run.walker.endPos(), run.walker.nextPos() - 1 + kLookAhead);
        if (resetTo > run.resetUpTo) {
            style(run.resetUpTo, resetTo - run.resetUpTo, run.base);
            run.resetUpTo = resetTo;
        }
        for (const TavrilonStyledRange &range : ranges)
            style(range.start, range.length, run.formats[int(range.tokenClass)]);
    }

    cursor.endEditBlock();
    if (silenced)
        m_edit->setUpdatesEnabled(true);
    const bool done = run.walker.atEnd();
    const int mode = run.progressMode;
    const std::vector<int> percents = std::exchange(run.percents, {});
    reportProgress(mode, percents); // run may be gone after this
    return done;
}

void Tavrilon::onSliceTimer()
{
    if (!m_run)
        return;
    // The edit box lays out what a slice styled when the slice ends, at a cost that
    // depends on the text and the fonts; the next slice is sized on what this one took.
    const qint64 startNs = threadCpuNs();
    const qsizetype walked = m_run->sliceLength;
    const QPointer<Tavrilon> alive(this);
    const quint64 serial = m_runSerial;
    const bool done = advanceRun(*m_run, walked);
    if (!alive || !m_run || m_runSerial != serial)
        return; // stopped, or replaced by a new run, while its progress was reported
    if (done) {
        finishChunkedRun(true);
        return;
    }
    const qint64 tookNs = std::max<qint64>(threadCpuNs() - startNs, 1);
    const double scale = std::clamp(double(kSliceTargetNs) / double(tookNs), 0.25, 4.0);
    m_run->sliceLength = std::clamp(qsizetype(double(walked) * scale), kFirstSliceLength, qsizetype(1) << 20);
    m_sliceTimer.start(0);
}

void Tavrilon::finishChunkedRun(bool completed)
{
    m_sliceTimer.stop();
    const std::unique_ptr<Run> run = std::move(m_run);
    m_edit->document()->setUndoRedoEnabled(run->undoWasEnabled);
    applyLocked();
    m_busy = false;
    m_dirty = false;
    emit colorizeFinished(completed);
}

int Tavrilon::Find(const QString &strString, std::optional<int> lngStart, std::optional<int> lngEnd,
                   std::optional<int> fndOptions)
{
    QTextEdit *edit = box();
    const int options = fndOptions.value_or(0);
    const QString text = Text();
    const qsizetype length = text.size();
    const qsizetype from = std::clamp<qsizetype>(lngStart.value_or(edit->textCursor().position()), 0, length);
    const qsizetype to = std::clamp<qsizetype>(lngEnd.value_or(int(length)), 0, length);
    if (strString.isEmpty())
        return -1;
    const auto sensitivity = options & MatchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const auto isWordChar = [&](qsizetype i) {
        return i >= 0 && i < length && (text.at(i).isLetterOrNumber() || text.at(i) == u'_');
    };
    for (qsizetype at = text.indexOf(strString, from, sensitivity); at >= 0 && at + strString.size() <= to;
         at = text.indexOf(strString, at + 1, sensitivity)) {
        if ((options & WholeWord) && (isWordChar(at - 1) || isWordChar(at + strString.size())))
            continue;
        if (!(options & NoHighlight)) {
            QTextCursor cursor = edit->textCursor();
            cursor.setPosition(int(at));
            cursor.setPosition(int(at + strString.size()), QTextCursor::KeepAnchor);
            edit->setTextCursor(cursor);
        }
        return int(at);
    }
    return -1;
}

int Tavrilon::GetLineCount()
{
    return box()->document()->blockCount();
}

int Tavrilon::GetLineFirstCharIndex(int lngLineIndex)
{
    QTextEdit *edit = box();
    if (lngLineIndex == -1)
        return edit->textCursor().block().position();
    const QTextBlock block = edit->document()->findBlockByNumber(lngLineIndex);
    return lngLineIndex >= 0 && block.isValid() ? block.position() : -1;
}

int Tavrilon::GetLineFromChar(int lngCharIndex)
{
    QTextDocument *document = box()->document();
    if (lngCharIndex < 0)
        return m_edit->textCursor().blockNumber();
    const QTextBlock block = document->findBlock(lngCharIndex);
    return block.isValid() ? block.blockNumber() : document->lastBlock().blockNumber();
}

int Tavrilon::GetLineSelected()
{
    return box()->textCursor().blockNumber();
}

TavrilonError Tavrilon::LoadFile(const QString &strFilePath)
{
    QFile file(strFilePath);
    if (!file.exists())
        return TavrilonError::FileNotFound;
    if (!file.open(QIODevice::ReadOnly))
        return TavrilonError::FileAccess;
    if (file.size() > kMaxFileBytes)
        return TavrilonError::FileTooLarge;
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return TavrilonError::FileAccess;
    if (bytes.size() > kMaxFileBytes)
        return TavrilonError::FileTooLarge;
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    setText(text);
    return TavrilonError::None;
}

TavrilonError Tavrilon::SaveFile(const QString &strFilePath)
{
    QSaveFile file(strFilePath);
    if (!file.open(QIODevice::WriteOnly))
        return TavrilonError::FileAccess;
    const QByteArray bytes = Text().toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit())
        return TavrilonError::FileAccess;
    return TavrilonError::None;
}

void Tavrilon::SelPrint(QPagedPaintDevice *device)
{
    if (!device)
        return;
    QTextEdit *edit = box();
    const QTextCursor cursor = edit->textCursor();
    if (!cursor.hasSelection()) {
        edit->document()->print(device);
        return;
    }
    QTextDocument selection;
    selection.setDefaultFont(edit->font());
    QTextCursor(&selection).insertFragment(cursor.selection());
    selection.print(device);
}

void Tavrilon::Refresh()
{
    box()->viewport()->update();
}

void Tavrilon::Span(const QString &strString, bool blnGoForward, bool blnNegate)
{
    QTextEdit *edit = box();
    const QString text = Text();
    QTextCursor cursor = edit->textCursor();
    const qsizetype start = cursor.selectionStart();
    const qsizetype end = cursor.selectionEnd();
    const auto inSpan = [&](qsizetype i) {
        return strString.contains(text.at(i)) != blnNegate;
    };
    if (blnGoForward) {
        qsizetype p = end;
        while (p < text.size() && inSpan(p))
            ++p;
        cursor.setPosition(int(start));
        cursor.setPosition(int(p), QTextCursor::KeepAnchor);
    } else {
        qsizetype p = start;
        while (p > 0 && inSpan(p - 1))
            --p;
        cursor.setPosition(int(end));
        cursor.setPosition(int(p), QTextCursor::KeepAnchor);
    }
    edit->setTextCursor(cursor);
}

void Tavrilon::UpTo(const QString &strString, bool blnGoForward, bool blnNegate)
{
    QTextEdit *edit = box();
    const QString text = Text();
    QTextCursor cursor = edit->textCursor();
    const auto stopsAt = [&](qsizetype i) {
        return strString.contains(text.at(i)) != blnNegate;
    };
    qsizetype p = cursor.position();
    if (blnGoForward) {
        while (p < text.size() && !stopsAt(p))
            ++p;
    } else {
        while (p > 0 && !stopsAt(p - 1))
            --p;
    }
    cursor.setPosition(int(p));
    edit->setTextCursor(cursor);
}

// ---- property store ------------------------------------------------------------------

void Tavrilon::ReadProperties(const TavrilonPropertyBag &bag)
{
    const auto flag = [&](const char *name, bool fallback) {
        return bag.ReadProperty(QLatin1String(name), fallback).toBool();
    };
    m_autoColorize = flag("AutoColorize", true);
    setAutoVerbMenu(flag("AutoVerbMenu", false));
    if (const QVariant back = bag.ReadProperty(QStringLiteral("BackColor"));
        back.canConvert<QColor>() && back.value<QColor>().isValid())
        setBackColor(back.value<QColor>());
    m_style[comment].bold = flag("CommentBold", false);
    m_style[comment].italic = flag("CommentItalic", true);
    setEnabled(flag("Enabled", true));
    bool ok = false;
    const int entities = bag.ReadProperty(QStringLiteral("Entities"), 62).toInt(&ok);
    m_entities = ok && entities >= 0 && entities <= 63 ? entities : 62;
    m_style[entity].bold = flag("EntityBold", false);
    m_style[entity].italic = flag("EntityItalic", false);
    if (const QString file = bag.ReadProperty(QStringLiteral("FileName")).toString(); !file.isEmpty())
        setFileName(file);
    if (const QVariant font = bag.ReadProperty(QStringLiteral("Font")); font.canConvert<QFont>())
        setFont(font.value<QFont>());
    setHideSelection(flag("HideSelection", false));
    setLocked(flag("Locked", false));
    setMaxLength(bag.ReadProperty(QStringLiteral("MaxLength"), 0).toInt());
    setMouseIcon(bag.ReadProperty(QStringLiteral("MouseIcon")).value<QPixmap>());
    if (setMousePointer(bag.ReadProperty(QStringLiteral("MousePointer"), 0).toInt()) != TavrilonError::None)
        setMousePointer(0);
    m_style[propName].bold = flag("PropNameBold", false);
    m_style[propName].italic = flag("PropNameItalic", false);
    m_style[propVal].bold = flag("PropValBold", false);
    m_style[propVal].italic = flag("PropValItalic", false);
    m_silent = flag("Silent", true);
    setRightMargin(bag.ReadProperty(QStringLiteral("RightMargin"), 0).toFloat());
    m_style[tag].bold = flag("TagBold", true);
    m_style[tag].italic = flag("TagItalic", false);
    // A text loaded from FileName stays unless the store holds a text of its own.
    if (bag.contains(QStringLiteral("Text")))
        setText(bag.ReadProperty(QStringLiteral("Text")).toString());
}

void Tavrilon::WriteProperties(TavrilonPropertyBag &bag) const
{
    bag.WriteProperty(QStringLiteral("AutoColorize"), m_autoColorize, true);
    bag.WriteProperty(QStringLiteral("AutoVerbMenu"), m_autoVerbMenu, false);
    if (m_backColor)
        bag.WriteProperty(QStringLiteral("BackColor"), *m_backColor);
    bag.WriteProperty(QStringLiteral("CommentBold"), m_style[comment].bold, false);
    bag.WriteProperty(QStringLiteral("CommentItalic"), m_style[comment].italic, true);
    bag.WriteProperty(QStringLiteral("Enabled"), isEnabled(), true);
    bag.WriteProperty(QStringLiteral("Entities"), m_entities, 62);
    bag.WriteProperty(QStringLiteral("EntityBold"), m_style[entity].bold, false);
    bag.WriteProperty(QStringLiteral("EntityItalic"), m_style[entity].italic, false);
    bag.WriteProperty(QStringLiteral("FileName"), m_fileName, QString());
    bag.WriteProperty(QStringLiteral("Font"), m_edit->font());
    bag.WriteProperty(QStringLiteral("HideSelection"), m_hideSelection, false);
    bag.WriteProperty(QStringLiteral("Locked"), m_locked, false);
    bag.WriteProperty(QStringLiteral("MaxLength"), m_maxLength, 0);
    if (!m_mouseIcon.isNull())
        bag.WriteProperty(QStringLiteral("MouseIcon"), m_mouseIcon);
    bag.WriteProperty(QStringLiteral("MousePointer"), m_mousePointer, 0);
    bag.WriteProperty(QStringLiteral("PropNameBold"), m_style[propName].bold, false);
    bag.WriteProperty(QStringLiteral("PropNameItalic"), m_style[propName].italic, false);
    bag.WriteProperty(QStringLiteral("PropValBold"), m_style[propVal].bold, false);
    bag.WriteProperty(QStringLiteral("PropValItalic"), m_style[propVal].italic, false);
    bag.WriteProperty(QStringLiteral("Silent"), m_silent, true);
    bag.WriteProperty(QStringLiteral("RightMargin"), int(m_rightMargin), 0);
    bag.WriteProperty(QStringLiteral("TagBold"), m_style[tag].bold, true);
    bag.WriteProperty(QStringLiteral("TagItalic"), m_style[tag].italic, false);
    bag.WriteProperty(QStringLiteral("Text"), Text(), QString());
}

// ---- edit box events -----------------------------------------------------------------

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
    qint16 shift = shiftMask(modifiers);
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
    if (m_maxLength <= 0)
        return true;
    const QTextCursor cursor = m_edit->textCursor();
    const qsizetype held = m_edit->document()->characterCount() - 1 - (cursor.selectionEnd() - cursor.selectionStart());
    return held + characters <= m_maxLength;
}

void Tavrilon::mouseButton(QEvent::Type type, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF pos)
{
    if (m_busy)
        return;
    const QPointF at = m_edit->viewport()->mapTo(this, pos);
    qint16 code = buttonCode(button);
    qint16 shift = shiftMask(modifiers);
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
