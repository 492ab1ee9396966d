#include "controls/Tavrilon.h"

#include "controls/TavrilonColorRun.h"
#include "controls/TavrilonEdit.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;

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
