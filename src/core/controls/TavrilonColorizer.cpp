#include "controls/TavrilonColorizer.h"

#include <algorithm>

namespace {

constexpr QChar kBlank = u' ';
constexpr qsizetype kEntityReach = 8; // the ";" of an entity is looked for this far after "&"

QChar foldAscii(QChar c)
{
    return c >= u'a' && c <= u'z' ? QChar(c.unicode() - 'a' + 'A') : c;
}

} // namespace

TavrilonColorizer::TavrilonColorizer(QString text, qsizetype startPos, qsizetype endPos, qsizetype textOffset)
    : m_text(std::move(text))
    , m_offset(std::max<qsizetype>(textOffset, 0))
{
    const qsizetype textEnd = m_offset + m_text.size();
    m_start = std::max(startPos, m_offset + 1);
    m_end = endPos <= 0 ? textEnd : std::min(endPos, textEnd);
    m_i = m_start;
    advanceProgress(0);
}

std::vector<TavrilonStyledRange> TavrilonColorizer::colorize(const QString &text, qsizetype startPos, qsizetype endPos)
{
    TavrilonColorizer walker(text, startPos, endPos);
    std::vector<TavrilonStyledRange> out;
    walker.step(walker.endPos() - walker.startPos() + 1, out);
    return out;
}

bool TavrilonColorizer::matches(qsizetype pos, QLatin1StringView word, bool foldCase) const
{
    const qsizetype index = pos - 1 - m_offset;
    if (index < 0 || index + word.size() > m_text.size())
        return false;
    for (qsizetype k = 0; k < word.size(); ++k) {
        const QChar c = m_text.at(index + k);
        if ((foldCase ? foldAscii(c) : c) != QLatin1Char(word.at(k)))
            return false;
    }
    return true;
}

void TavrilonColorizer::step(qsizetype count, std::vector<TavrilonStyledRange> &out)
{
    const qsizetype last = std::min(m_end, m_i + count - 1);
    for (; m_i <= last; ++m_i) {
        handle(m_i, out);
        if (m_progress && m_i >= m_nextProgressPos)
            advanceProgress(m_i);
    }
}

void TavrilonColorizer::handle(qsizetype i, std::vector<TavrilonStyledRange> &out)
{
    const QChar c = at(i);
    switch (m_state) {
    case State::Text:
        if (matches(i, QLatin1StringView("<!--"), false)) {
            m_state = State::Comment;
            m_tokenStart = i;
            m_innerEntities.clear();
        } else if (c == u'<') {
            m_state = State::Tag;
            m_tokenStart = i;
            m_bang = at(i + 1) == u'!';
            m_style = matches(i + 1, QLatin1StringView("STYLE"), true);
            m_script = matches(i + 1, QLatin1StringView("SCRIPT"), true);
        }
        break;
    case State::Tag:
        handleTag(i, out);
        break;
    case State::AttributeName:
        if (c == u'=') {
            m_state = State::AttributeValue;
            emitRange(m_nameStart + 1, i - 1, TavrilonTokenClass::PropName, out);
            m_valueStart = i;
            m_quoted = at(i + 1) == u'"';
            m_innerEntities.clear();
        } else if (c == kBlank) {
            emitRange(m_nameStart + 1, i - 1, TavrilonTokenClass::PropVal, out);
            m_tokenStart = 0;
            m_state = State::Tag;
            handleTag(i, out);
        } else if (c == u'>') {
            emitRange(m_nameStart + 1, i - 1, TavrilonTokenClass::PropVal, out);
            m_tokenStart = 0;
            leaveTag();
        }
        break;
    case State::AttributeValue: {
        // A quoted value is ended by the character after its closing quote, so a blank
        // inside the quotes does not end it.
        const QChar d = at(i + (m_quoted ? 1 : 0));
        const qsizetype valueFrom = m_valueStart + 1 + (m_quoted ? 1 : 0);
        if (d == u'>') {
            emitEnclosing(valueFrom, i - 1, TavrilonTokenClass::PropVal, out);
            leaveTag();
        } else if (d == kBlank && (c == u'"') == m_quoted) {
            emitEnclosing(valueFrom, i - 1, TavrilonTokenClass::PropVal, out);
            m_tokenStart = 0;
            m_state = State::Tag;
            handleTag(i, out);
        }
        break;
    }
    case State::Comment:
        if (matches(i, QLatin1StringView("-->"), false)) {
            m_state = State::Text;
            emitEnclosing(m_tokenStart + 4, i - 1, TavrilonTokenClass::Comment, out);
        }
        break;
    case State::StyleContent:
    case State::ScriptContent: {
        const auto closing =
            m_state == State::StyleContent ? QLatin1StringView("/STYLE") : QLatin1StringView("/SCRIPT");
        if (matches(i, closing, true)) {
            m_state = State::Tag;
            m_tokenStart = i - 1;
            m_style = m_script = false;
        }
        break;
    }
    }

    if (c == u'&') {
        for (qsizetype j = i + 1; j <= i + kEntityReach; ++j) {
            if (at(j) == u';') {
                emitRange(i, j, TavrilonTokenClass::Entity, out);
                if (m_state == State::Comment || m_state == State::AttributeValue)
                    m_innerEntities.push_back(out.back());
                break;
            }
        }
    }
}

void TavrilonColorizer::handleTag(qsizetype i, std::vector<TavrilonStyledRange> &out)
{
    const QChar c = at(i);
    if (c == u'>') {
        // A tag closed straight after its name ("<p>", "</a>") gets the tag style too;
        // declarations ("<!DOCTYPE html>") do not.
        if (m_tokenStart > 0 && !m_bang)
            emitRange(m_tokenStart + 1, i - 1, TavrilonTokenClass::Tag, out);
        leaveTag();
    } else if (c == kBlank && !m_bang) {
        m_state = State::AttributeName;
        m_nameStart = i;
        if (m_tokenStart > 0)
            emitRange(m_tokenStart + 1, i - 1, TavrilonTokenClass::Tag, out);
    }
}

void TavrilonColorizer::leaveTag()
{
    m_state = m_style ? State::StyleContent : m_script ? State::ScriptContent : State::Text;
}

void TavrilonColorizer::emitRange(qsizetype from, qsizetype to, TavrilonTokenClass tokenClass,
                                  std::vector<TavrilonStyledRange> &out)
{
    from = std::max(from, m_offset + 1);
    to = std::min(to, m_offset + m_text.size());
    if (to >= from)
        out.push_back({from - 1, to - from + 1, tokenClass});
}

void TavrilonColorizer::emitEnclosing(qsizetype from, qsizetype to, TavrilonTokenClass tokenClass,
                                      std::vector<TavrilonStyledRange> &out)
{
    emitRange(from, to, tokenClass, out);
    out.insert(out.end(), m_innerEntities.begin(), m_innerEntities.end());
    m_innerEntities.clear();
}

int TavrilonColorizer::percentAt(qsizetype pos) const
{
    if (m_end <= 0)
        return 0;
    // Whole percent of pos ÷ end, ties to even, in integers so ties are exact.
    const qint64 scaled = qint64(pos) * 100;
    const qint64 q = scaled / m_end;
    const qint64 twiceRest = (scaled % m_end) * 2;
    if (twiceRest > m_end || (twiceRest == m_end && (q & 1)))
        return int(q + 1);
    return int(q);
}

void TavrilonColorizer::advanceProgress(qsizetype pos)
{
    const int p = percentAt(pos);
    if (p > m_percent) {
        m_percent = p;
        if (m_progress)
            m_progress(p);
    }
    if (m_percent >= 100 || m_end <= 0) {
        m_nextProgressPos = m_end + 1;
        return;
    }
    // The first position whose percentage exceeds the current one; percentAt grows with
    // pos, so the estimate below it is corrected upwards.
    qsizetype next = std::max(pos + 1, qsizetype(qint64(2 * m_percent + 1) * m_end / 200));
    while (next <= m_end && percentAt(next) <= m_percent)
        ++next;
    m_nextProgressPos = next;
}
