#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

class CurrentStation;

// What the main window remembers between runs in section "Onthouden" of INST.INI.
struct RememberedStation
{
    QString naam; // caption of ZenderNaam
    QString url; // the player's URL
    int volume = 50; // Slider1's value
    QString landNaam; // caption of TaalGeselecteerdTekst
    QString landBestand; // caption of TaalGeselecteerd

    bool operator==(const RememberedStation &) const = default;
};

enum class CloseAction {
    Quit, // "xsluiten" is "1": remove the tray icon, unload the recorder, let the close proceed
    HideInTray, // anything else: refuse the close, hide the window, show the tray icon
};

// The main window's close handler and its restore timer Timer3, without widgets: the
// remembered station and country go into the current station, the rest through hooks.
//
// The restore runs its steps in a fixed order and remembers how far it got: a step
// that fails is tried again on the next tick from that step on, so the station started
// by the first step is not started again every second while a later step keeps failing.
class LastStation final : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTimer3IntervalMs = 1000;
    // More failures in a row than this make the next one show "error17".
    static constexpr int kFailureLimit = 10;
    static constexpr int kDefaultVolume = 50;

    struct Hooks
    {
        std::function<void(const QString &url)> setUrl; // the player's URL; playback starts
        std::function<QString()> playerUrl; // the player's URL as it reads back
        // Slider1's value, then its Change handler: the player's volume unless muted,
        // and the percentage text.
        std::function<void(int volume)> setVolume;
        std::function<void(const QString &report)> setVerstuurMelding; // the play report
        std::function<void()> stop; // stops the player
        std::function<void()> showWindow;
        std::function<void()> goToTray; // tray icon with the window's icon, window hidden
        // File1's path; false when the folder cannot be made or read (the step fails).
        std::function<bool(const QString &programFolder)> setFavouritesPath;
        // An interface-text key shown as a critical message titled "error0".
        std::function<void(const QString &key)> showError;
    };

    // station, when given, must outlive this object.
    LastStation(QString programFolder, CurrentStation *station, Hooks hooks, QObject *parent = nullptr);

    QString iniPath() const;

    // The close handler: writes the five keys (a failing write is skipped), then says
    // what "xsluiten" asks for.
    CloseAction rememberOnClose(const RememberedStation &values) const;
    // The same five keys on the program's way out (signal, session end, last moment):
    // skipped when these very values were written last, so one exit writes once.
    void rememberOnExit(const RememberedStation &values);

    // "Volume" as stored: missing, not a number or out of 0..100 gives 50 or the bound.
    static int volumeFromText(const QString &text);

    bool isActive() const { return m_timer3.isActive(); } // Timer3 enabled
    bool isDone() const { return m_nextStep >= kStepCount; }
    int failureCount() const { return m_errorInstellingenLaden; } // errorInstellingenLaden

public Q_SLOTS:
    // Enables Timer3 (window load); the restore starts over from its first step.
    void start();
    // One Timer3 tick; public so the window and tests can drive it directly.
    void onTimer3();

Q_SIGNALS:
    void failureCountChanged(int count); // the hidden label errorInstellingenLaden
    void restored(); // every step done, Timer3 off

private:
    static constexpr int kStepCount = 10;

    void write(const RememberedStation &values) const;
    bool runStep(int step);
    QString read(const QString &section, const QString &key) const;
    void countFailure();

    QString m_programFolder;
    CurrentStation *m_station;
    Hooks m_hooks;
    QTimer m_timer3;
    int m_nextStep = 0;
    int m_errorInstellingenLaden = 0;
    mutable std::optional<RememberedStation> m_written; // what this run wrote last
};
