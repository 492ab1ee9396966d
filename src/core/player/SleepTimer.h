#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

// Stops playback after a chosen number of minutes. In the last kFadeSeconds the sound
// fades out through the player's volume alone: the user's volume (the slider, which is
// what is stored) is never touched, and it is given back to the player once playback
// has stopped, so the next start is as loud as before.
class SleepTimer final : public QObject
{
    Q_OBJECT
public:
    static constexpr int kFadeSeconds = 30;

    struct Hooks
    {
        std::function<int()> userVolume; // 0..100, the volume the user set
        std::function<void(int)> setPlayerVolume; // 0..100, what sounds now
        std::function<void()> stop;
    };

    // second: the length of one second; tests shorten it.
    explicit SleepTimer(Hooks hooks, std::chrono::milliseconds second = std::chrono::seconds(1),
                        QObject *parent = nullptr);

    // Starts (or restarts) the count-down; 0 or less cancels it.
    void start(int minutes);
    void cancel();
    bool isActive() const { return m_tick.isActive(); }
    int secondsLeft() const; // 0 while not active

Q_SIGNALS:
    // Once a second while active, and when it starts, ends or is cancelled.
    void changed(int secondsLeft);
    void finished(); // playback was stopped by the timer

private:
    void onTick();
    void endFade();

    Hooks m_hooks;
    std::chrono::milliseconds m_second;
    QTimer m_tick;
    QElapsedTimer m_clock;
    qint64 m_totalMs = 0;
    bool m_fading = false;
};
