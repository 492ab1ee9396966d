#pragma once

#include <QByteArray>
#include <QString>

class MprisService;

// The seven fields of the now-playing line, in payload order. The defaults are the
// music line the main window sends every Timer6 tick.
struct NowPlayingFields
{
    QString category = QStringLiteral("Music");
    bool show = true;
    QString format = QStringLiteral("{1}{0}");
    QString value0;
    QString value1;
    QString value2;
    QString contentId;
};

// The message as a messenger window receives it through WM_COPYDATA: lpData is the
// payload itself (UTF-16LE), owned here rather than pointed at.
struct CopyDataStruct
{
    static constexpr quint32 kNowPlayingId = 1351;

    quint32 dwData = kNowPlayingId;
    quint32 cbData = 0; // bytes of lpData, the final U+0000 included
    QByteArray lpData;
};

// The Timer6 fields: value {1} is the prefix (MsnTekst), one blank, the station (ZenderNaam).
NowPlayingFields nowPlayingFields(const QString &msnTekst, const QString &zenderNaam);

// Each field after the two visible characters backslash and "0", then that separator
// and one U+0000.
QString nowPlayingPayload(const NowPlayingFields &fields);
CopyDataStruct nowPlayingCopyData(const NowPlayingFields &fields);

// The line a messenger shows: the format with {0}, {1}, {2} replaced by the values in
// one pass (a value holding "{0}" stays as it is); empty when the show flag is off.
QString nowPlayingLine(const NowPlayingFields &fields);

// Builds the message and delivers it. No messenger window exists on this desktop, so
// the line goes to the media-player service's metadata, where desktop widgets and
// clients read what is playing; without a service (no session bus) nothing is sent.
CopyDataStruct SendNowPlaying(const NowPlayingFields &fields, MprisService *mpris);
