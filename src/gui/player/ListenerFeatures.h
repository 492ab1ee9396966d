#pragma once

#include "app/PlayState.h"
#include "player/Favourites.h"
#include "player/SongHistory.h"

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <functional>

class CurrentStation;
class HistoryWindow;
class LanguageTexts;
class LinkLabel;
class QLabel;
class StationLogo;
class Transfer;
class QAction;
class QMenu;
class QWidget;
class SleepTimer;
class WakeAlarm;

// What a listener reaches from the main window and the tray menu beside the stations:
// the songs heard, the sleep timer, the wake-up alarm and the favourites on the media
// keys. It reads and drives the window only through these hooks.
struct ListenerHooks
{
    const CurrentStation *station = nullptr; // the history names the songs' station by it
    std::function<QString()> stationUrl; // what the player plays
    std::function<PlayState()> playState;
    std::function<int()> userVolume; // the slider: what the user chose and what is stored
    std::function<void(int)> setPlayerVolume; // what sounds now, the slider untouched
    std::function<void()> stop;
    std::function<QList<Favourite>()> favourites; // in the order the window shows them
    std::function<void(const QString &naam, const QString &url, const QString &website)> play;
    std::function<void(const QString &url)> playLocal; // a file of the program folder
    Transfer *logoTransfer = nullptr; // the station logos' own requests
    std::function<QUrl()> directoryBase;
};

class ListenerFeatures final : public QObject
{
    Q_OBJECT
public:
    // The links are placed on window; texts must outlive this object.
    ListenerFeatures(const QString &programFolder, const LanguageTexts &texts, ListenerHooks hooks, QWidget *window);
    ~ListenerFeatures() override;

    // Puts the tray items before the given item of the tray menu.
    void addTrayItems(QMenu *menu, QAction *before);
    void applyTexts();

    // The stream announced a new title; empty titles are no songs.
    void titleHeard(const QString &title);
    // Media keys: the next (+1) or previous (-1) favourite; possible with two or more.
    void stepFavourite(int step);
    bool canStepFavourites() const;
    // A command line handed over by another start ("sleep MINUTES"); false when unknown.
    bool runCommand(const QString &command);
    // The player's state changed: the alarm learns whether its station plays.
    void playStateChanged();

    const SongHistory &history() const { return m_history; }
    SleepTimer *sleepTimer() const { return m_sleep; }
    WakeAlarm *alarm() const { return m_alarm; }
    StationLogo *logo() const { return m_logo; }
    // The playing station's logo as a cached PNG file; empty while there is none.
    QString logoFile() const;

    void openHistory();
    void openSleepTimer();
    void openAlarm();

private:
    QString iniPath() const;

    QString m_programFolder;
    const LanguageTexts &m_texts;
    ListenerHooks m_hooks;
    QWidget *m_window;
    SongHistory m_history;
    SleepTimer *m_sleep = nullptr;
    WakeAlarm *m_alarm = nullptr;
    StationLogo *m_logo = nullptr;
    QLabel *LogoImage = nullptr; // in the information panel
    QPointer<HistoryWindow> m_historyWindow;
    LinkLabel *LabelHistory = nullptr;
    LinkLabel *LabelSleep = nullptr;
    LinkLabel *LabelAlarm = nullptr;
    QAction *m_trayHistory = nullptr;
    QAction *m_traySleep = nullptr;
    QAction *m_trayAlarm = nullptr;
};
