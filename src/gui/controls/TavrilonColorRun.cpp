#include "controls/TavrilonColorRun.h"

#include "controls/TavrilonEdit.h"

#include <QPointer>
#include <QProgressBar>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <ctime>

namespace {

// Walked in steps of this many characters, each step's ranges applied together.
constexpr qsizetype kStepLength = 4096;
// A slice of a long run, with the layout of what it styled, should take about this long
// before the event loop gets its turn; slices grow or shrink towards it.
constexpr qint64 kSliceTargetNs = 12'000'000;
// Everything the walk looks at beyond its position: "&" plus eight for an entity's ";".
constexpr qsizetype kLookAhead = 8;

// Time this thread has run, so a slice is sized on its own work and not on the time other
// programs took the processor meanwhile.
qint64 threadCpuNs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

} // namespace

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
    m_run->sliceLength = std::clamp(qsizetype(double(walked) * scale), Run::firstSliceLength, qsizetype(1) << 20);
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
