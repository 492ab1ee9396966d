#pragma once

#include <QString>
#include <functional>
#include <vector>

enum class TavrilonTokenClass : quint8 {
    Tag, // tag names
    PropName, // attribute names followed by "="
    PropVal, // attribute values and attributes without a value
    Comment, // comment bodies
    Entity, // character entities
};

// One styled range, 0-based, in the order it is to be applied: a later range wins over
// an earlier one where they overlap.
struct TavrilonStyledRange
{
    qsizetype start = 0;
    qsizetype length = 0;
    TavrilonTokenClass tokenClass = TavrilonTokenClass::Tag;

    friend bool operator==(const TavrilonStyledRange &, const TavrilonStyledRange &) = default;
};

// Walks HTML source with a small state machine and reports which ranges get which token
// class. It knows nothing of widgets: the text control applies the ranges, so a long text
// can be walked in slices between events.
//
// Positions given to it are 1-based and inclusive (as the control's Colorize takes them);
// look-ahead reads past the end of the walked range, as far as the text goes. The walk
// starts in the text state even when the first position lies inside a tag.
class TavrilonColorizer final
{
public:
    using ProgressCallback = std::function<void(int percent)>;

    // startPos/endPos 0 mean 1 and the text length; both are clamped to the text. A text
    // that is a stretch of a longer document starts at document position textOffset + 1;
    // positions given, reported and used for progress are then the document's.
    explicit TavrilonColorizer(QString text, qsizetype startPos = 0, qsizetype endPos = 0, qsizetype textOffset = 0);

    qsizetype startPos() const { return m_start; }
    qsizetype endPos() const { return m_end; }
    // The 1-based position the next step begins with.
    qsizetype nextPos() const { return m_i; }
    bool atEnd() const { return m_i > m_end; }

    // Called whenever the whole percentage of position ÷ end position grows (ties to
    // even), at most once per percent.
    void setProgressCallback(ProgressCallback callback) { m_progress = std::move(callback); }
    int percent() const { return m_percent; }

    // Walks at most count positions and appends the ranges found.
    void step(qsizetype count, std::vector<TavrilonStyledRange> &out);

    // The whole walk in one call.
    static std::vector<TavrilonStyledRange> colorize(const QString &text, qsizetype startPos = 0, qsizetype endPos = 0);

private:
    enum class State { Text, Tag, AttributeName, AttributeValue, Comment, StyleContent, ScriptContent };

    QChar at(qsizetype pos) const
    {
        const qsizetype index = pos - 1 - m_offset;
        return index >= 0 && index < m_text.size() ? m_text.at(index) : QChar();
    }
    bool matches(qsizetype pos, QLatin1StringView word, bool foldCase) const;
    void handle(qsizetype i, std::vector<TavrilonStyledRange> &out);
    void handleTag(qsizetype i, std::vector<TavrilonStyledRange> &out);
    void leaveTag();
    void emitRange(qsizetype from, qsizetype to, TavrilonTokenClass tokenClass, std::vector<TavrilonStyledRange> &out);
    void emitEnclosing(qsizetype from, qsizetype to, TavrilonTokenClass tokenClass,
                       std::vector<TavrilonStyledRange> &out);
    int percentAt(qsizetype pos) const;
    void advanceProgress(qsizetype pos);

    QString m_text;
    qsizetype m_offset = 0;
    qsizetype m_start = 1;
    qsizetype m_end = 0;
    qsizetype m_i = 1;

    State m_state = State::Text;
    qsizetype m_tokenStart = 0; // 0: not set
    qsizetype m_nameStart = 0;
    qsizetype m_valueStart = 0;
    bool m_quoted = false;
    bool m_bang = false;
    bool m_style = false;
    bool m_script = false;
    // Entities found inside the open comment or attribute value; they are styled again
    // after the body, so the body's style does not hide them.
    std::vector<TavrilonStyledRange> m_innerEntities;

    ProgressCallback m_progress;
    int m_percent = 0;
    qsizetype m_nextProgressPos = 0;
};
