#include "player/NowPlaying.h"

#include "player/MprisService.h"

NowPlayingFields nowPlayingFields(const QString &msnTekst, const QString &zenderNaam)
{
    NowPlayingFields fields;
    fields.value1 = msnTekst + QLatin1Char(' ') + zenderNaam;
    return fields;
}

QString nowPlayingPayload(const NowPlayingFields &fields)
{
    const QString separator = QStringLiteral("\\0");
    QString payload;
    for (const QString &field : {fields.category, fields.show ? QStringLiteral("1") : QStringLiteral("0"),
                                 fields.format, fields.value0, fields.value1, fields.value2, fields.contentId})
        payload += separator + field;
    payload += separator + QChar(u'\0');
    return payload;
}

CopyDataStruct nowPlayingCopyData(const NowPlayingFields &fields)
{
    const QString payload = nowPlayingPayload(fields);
    CopyDataStruct data;
    data.lpData.resize(payload.size() * 2);
    auto *out = reinterpret_cast<uchar *>(data.lpData.data());
    for (const QChar c : payload) {
        *out++ = uchar(c.unicode() & 0xff);
        *out++ = uchar(c.unicode() >> 8);
    }
    data.cbData = quint32(data.lpData.size());
    return data;
}

QString nowPlayingLine(const NowPlayingFields &fields)
{
    if (!fields.show)
        return {};
    const QString values[] = {fields.value0, fields.value1, fields.value2};
    QString line;
    for (qsizetype i = 0; i < fields.format.size(); ++i) {
        const QStringView rest = QStringView(fields.format).mid(i);
        if (rest.size() >= 3 && rest[0] == u'{' && rest[2] == u'}' && rest[1] >= u'0' && rest[1] <= u'2') {
            line += values[rest[1].unicode() - u'0'];
            i += 2;
        } else {
            line += rest[0];
        }
    }
    return line;
}

CopyDataStruct SendNowPlaying(const NowPlayingFields &fields, MprisService *mpris)
{
    CopyDataStruct data = nowPlayingCopyData(fields);
    if (mpris)
        mpris->setNowPlayingLine(nowPlayingLine(fields));
    return data;
}
