#pragma once

#include "app/PlayState.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

class QTcpServer;

// The wake-up alarm as kept in INST.INI, section "Wekker".
struct AlarmSettings
{
    bool enabled = false;
    QTime time {7, 0};
    int days = 0x1F; // bit 0 Monday … bit 6 Sunday; Monday to Friday by default
    QString stationName; // empty: the last station
    QString stationUrl;

    static AlarmSettings read(const QString &iniPath);
    void write(const QString &iniPath) const;
};

// The first moment after `after` at which the alarm rings; invalid when it is off or
// has no day.
QDateTime nextAlarm(const AlarmSettings &settings, const QDateTime &after);

// Rings at the set time, also while the window is hidden in the tray: the station
// starts quietly and grows to the user's volume over kFadeSeconds. When it has not
// started playing after kFallbackSeconds, the alarm sound shipped in the program folder
// plays instead, so the alarm never fails silently. Stop (the user stopping playback)
// ends it.
class WakeAlarm final : public QObject
{
    Q_OBJECT
public:
    static constexpr int kFadeSeconds = 30;
    static constexpr int kFallbackSeconds = 20;
    static constexpr int kStartPercent = 5; // of the user's volume
    static constexpr auto kSoundFile = "alarm.mp3";

    struct Hooks
    {
        std::function<PlayState()> playState;
        std::function<int()> userVolume;
        std::function<void(int)> setPlayerVolume;
        std::function<void(const QString &naam, const QString &url)> play;
        std::function<void(const QString &url)> playSound; // the fallback, no station change
    };

    WakeAlarm(Hooks hooks, QString iniPath, QString soundPath,
              std::chrono::milliseconds second = std::chrono::seconds(1), QObject *parent = nullptr);
    ~WakeAlarm() override;

    // Reads the settings again and plans the next ring.
    void reload();
    QDateTime nextRing() const { return m_next; }
    void ring();
    bool isRinging() const { return m_ringing; }
    bool playsFallback() const { return m_fallback; }
    // The player's state changed: a stop by the user ends the alarm.
    void playStateChanged();

Q_SIGNALS:
    void rang();
    void fellBack(); // the station did not play; the alarm sound plays

private:
    void onCheck();
    void onFadeTick();
    void finish();
    QString soundUrl();

    Hooks m_hooks;
    QString m_iniPath;
    QString m_soundPath;
    std::chrono::milliseconds m_second;
    QTimer m_check;
    QTimer m_fade;
    QElapsedTimer m_since;
    QDateTime m_next;
    bool m_ringing = false;
    bool m_fallback = false;
    bool m_heardPlaying = false;
    QTcpServer *m_soundServer = nullptr;
};
