#include "player/WakeAlarm.h"

#include "app/IniFile.h"
#include "app/MediaPlayer.h"

#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

const QString kSection = QStringLiteral("Wekker");
// An alarm sound is a few seconds; a larger file is not the shipped one.
constexpr qint64 kMaxSoundBytes = 1024 * 1024;
// The sound goes out a little faster than it plays (32 kbit/s), and never piles up.
constexpr int kSendIntervalMs = 250;
constexpr qint64 kBytesPerSend = 1600;
constexpr qint64 kMaxQueued = 32 * 1024;

} // namespace

AlarmSettings AlarmSettings::read(const QString &iniPath)
{
    const auto value = [&](const char *key) {
        return ReadINI(iniPath, kSection, QLatin1String(key));
    };
    AlarmSettings s;
    s.enabled = value("aan") == QLatin1String("1");
    const QTime time = QTime::fromString(value("tijd"), QStringLiteral("HH:mm"));
    if (time.isValid())
        s.time = time;
    const QString days = value("dagen");
    if (days.size() == 7 && days.count(u'0') + days.count(u'1') == 7) {
        s.days = 0;
        for (int d = 0; d < 7; ++d)
            s.days |= days[d] == u'1' ? 1 << d : 0;
    }
    s.stationName = value("naam");
    s.stationUrl = value("url");
    return s;
}

void AlarmSettings::write(const QString &iniPath) const
{
    QString dayText;
    for (int d = 0; d < 7; ++d)
        dayText += days & (1 << d) ? u'1' : u'0';
    WriteINI(iniPath, kSection, QStringLiteral("aan"), enabled ? QStringLiteral("1") : QStringLiteral("0"));
    WriteINI(iniPath, kSection, QStringLiteral("tijd"), time.toString(QStringLiteral("HH:mm")));
    WriteINI(iniPath, kSection, QStringLiteral("dagen"), dayText);
    WriteINI(iniPath, kSection, QStringLiteral("naam"), stationName);
    WriteINI(iniPath, kSection, QStringLiteral("url"), stationUrl);
}

QDateTime nextAlarm(const AlarmSettings &settings, const QDateTime &after)
{
    if (!settings.enabled || (settings.days & 0x7F) == 0)
        return {};
    // Eight days: today's time may have passed, and the same weekday comes back a week on.
    for (int offset = 0; offset <= 7; ++offset) {
        const QDate day = after.date().addDays(offset);
        const QDateTime at(day, settings.time);
        if (at > after && settings.days & (1 << (day.dayOfWeek() - 1)))
            return at;
    }
    return {};
}

WakeAlarm::WakeAlarm(Hooks hooks, QString iniPath, QString soundPath, std::chrono::milliseconds second, QObject *parent)
    : QObject(parent)
    , m_hooks(std::move(hooks))
    , m_iniPath(std::move(iniPath))
    , m_soundPath(std::move(soundPath))
    , m_second(second)
{
    // A check every few seconds rather than one long timer: a suspended machine or a
    // changed clock would carry a long timer past the alarm.
    m_check.setInterval(int(5 * m_second.count()));
    connect(&m_check, &QTimer::timeout, this, &WakeAlarm::onCheck);
    m_fade.setInterval(std::max<int>(1, int(m_second.count() / 4)));
    connect(&m_fade, &QTimer::timeout, this, &WakeAlarm::onFadeTick);
    reload();
}

WakeAlarm::~WakeAlarm() = default;

void WakeAlarm::reload()
{
    m_next = nextAlarm(AlarmSettings::read(m_iniPath), QDateTime::currentDateTime());
    if (m_next.isValid())
        m_check.start();
    else
        m_check.stop();
}

void WakeAlarm::onCheck()
{
    if (!m_next.isValid() || QDateTime::currentDateTime() < m_next)
        return;
    m_next = nextAlarm(AlarmSettings::read(m_iniPath), QDateTime::currentDateTime());
    ring();
}

void WakeAlarm::ring()
{
    AlarmSettings settings = AlarmSettings::read(m_iniPath);
    if (settings.stationUrl.isEmpty()) {
        settings.stationName = ReadINI(m_iniPath, QStringLiteral("Onthouden"), QStringLiteral("LaatsteNAAM"));
        settings.stationUrl = ReadINI(m_iniPath, QStringLiteral("Onthouden"), QStringLiteral("LaatsteURL"));
    }
    m_ringing = true;
    m_fallback = false;
    m_heardPlaying = false;
    m_since.start();
    if (m_hooks.setPlayerVolume && m_hooks.userVolume)
        m_hooks.setPlayerVolume(m_hooks.userVolume() * kStartPercent / 100);
    if (m_hooks.play)
        m_hooks.play(settings.stationName, settings.stationUrl);
    m_fade.start();
    Q_EMIT rang();
}

void WakeAlarm::onFadeTick()
{
    const qint64 elapsed = m_since.elapsed();
    const bool playing = m_hooks.playState && m_hooks.playState() == PlayState::Playing;
    m_heardPlaying = m_heardPlaying || playing;
    if (!m_fallback && !m_heardPlaying && elapsed >= kFallbackSeconds * m_second.count()) {
        m_fallback = true;
        if (m_hooks.playSound)
            m_hooks.playSound(soundUrl());
        Q_EMIT fellBack();
    }
    const qint64 fadeMs = kFadeSeconds * m_second.count();
    if (!m_hooks.userVolume || !m_hooks.setPlayerVolume)
        return;
    const int user = m_hooks.userVolume();
    if (elapsed >= fadeMs) {
        m_hooks.setPlayerVolume(user);
        m_fade.stop();
        return;
    }
    const qint64 start = user * kStartPercent / 100;
    m_hooks.setPlayerVolume(int(start + (user - start) * elapsed / fadeMs));
}

void WakeAlarm::playStateChanged()
{
    if (!m_ringing || !m_hooks.playState)
        return;
    const PlayState state = m_hooks.playState();
    if (state == PlayState::Playing) {
        m_heardPlaying = true;
    } else if (state == PlayState::Stopped && (m_heardPlaying || m_fallback)) {
        finish();
    }
}

void WakeAlarm::finish()
{
    m_ringing = false;
    m_fallback = false;
    m_fade.stop();
    if (m_hooks.userVolume && m_hooks.setPlayerVolume)
        m_hooks.setPlayerVolume(m_hooks.userVolume());
}

QString WakeAlarm::soundUrl()
{
    // The player takes only network streams, so the shipped sound is served to it over
    // loopback as an endless stream: MP3 frames may follow one copy after another.
    if (!m_soundServer) {
        QFile file(m_soundPath);
        QByteArray sound;
        if (file.open(QIODevice::ReadOnly) && file.size() <= kMaxSoundBytes)
            sound = file.readAll();
        if (sound.isEmpty())
            return {};
        m_soundServer = new QTcpServer(this);
        if (!m_soundServer->listen(QHostAddress::LocalHost)) {
            delete m_soundServer;
            m_soundServer = nullptr;
            return {};
        }
        connect(m_soundServer, &QTcpServer::newConnection, this, [this, sound] {
            while (QTcpSocket *socket = m_soundServer->nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                auto *pace = new QTimer(socket);
                auto position = std::make_shared<qint64>(0);
                const auto send = [socket, sound, position](qint64 bytes) {
                    if (socket->bytesToWrite() > kMaxQueued)
                        return;
                    while (bytes > 0) {
                        const qint64 n = std::min(bytes, sound.size() - *position);
                        socket->write(sound.constData() + *position, n);
                        *position = (*position + n) % sound.size();
                        bytes -= n;
                    }
                };
                connect(socket, &QTcpSocket::readyRead, socket, [socket, pace, send] {
                    socket->readAll(); // whatever was asked, the answer is the sound
                    if (pace->isActive())
                        return;
                    socket->write("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n");
                    send(4 * kBytesPerSend);
                    pace->start(kSendIntervalMs);
                });
                connect(pace, &QTimer::timeout, socket, [send] { send(kBytesPerSend); });
            }
        });
    }
    return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_soundServer->serverPort()).arg(QLatin1String(kSoundFile));
}
