#include "app/TextCodec.h"

#include <QStringDecoder>

namespace {

// 0x80..0x9F of Windows-1252; the five unassigned bytes keep their C1 code points,
// as the platform's own conversion does.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool decodeUtf8(QByteArrayView bytes, QString *text)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    *text = utf8.decode(bytes);
    return !utf8.hasError();
}

void appendWindows1252(QByteArrayView bytes, QString *text)
{
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text->append(b >= 0x80 && b < 0xA0 ? QChar(kHighControls[b - 0x80]) : QChar(b));
    }
}

} // namespace

QString decodeUtf8OrWindows1252(const QByteArray &bytes)
{
    QString text;
    if (decodeUtf8(bytes, &text))
        return text;

    // A file edited by both UTF-8 and Windows-1252 programs holds lines of each; taking
    // it all as Windows-1252 would garble the UTF-8 lines, and a later write would keep
    // them garbled. So each line is judged on its own.
    QByteArrayView rest(bytes);
    if (rest.startsWith("\xEF\xBB\xBF"))
        rest = rest.sliced(3);
    text.clear();
    text.reserve(rest.size());
    QString line;
    while (!rest.isEmpty()) {
        const qsizetype end = rest.indexOf('\n');
        const QByteArrayView piece = end < 0 ? rest : rest.first(end + 1);
        rest = rest.sliced(piece.size());
        if (decodeUtf8(piece, &line))
            text += line;
        else
            appendWindows1252(piece, &text);
    }
    return text;
}
