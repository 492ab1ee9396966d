#pragma once

#include "app/PlayState.h"

#include <QObject>
#include <QString>

class CurrentStation;
class DesktopNotifier;
class DirectoryReporter;
class LanguageTexts;
class ListenerFeatures;
class MediaPlayer;
class MprisService;
class QAction;
class QLabel;
class QPushButton;
class QTimer;
class QWidget;

// Shows what the player does: the status line and its alternation with the title, the
// play button's caption, the record button and the picture of the sound; and tells the
// desktop, the listener features and the directory reporter of each change.
class PlayerStatusPresenter final : public QObject
{
    Q_OBJECT
public:
    struct Views
    {
        QWidget *window = nullptr; // a song is announced on the desktop while it is hidden
        QLabel *statusLine = nullptr; // Label14
        QPushButton *playButton = nullptr; // Command3
        QAction *playItem = nullptr; // the tray's stopspelen
        QPushButton *recordButton = nullptr; // Command4
        QWidget *picture = nullptr; // Frame2
        QTimer *statusTimer = nullptr; // Timer7: the status line alternates with the title
    };

    // Everything given must outlive the presenter.
    PlayerStatusPresenter(MediaPlayer *player, const LanguageTexts &texts, const CurrentStation *station,
                          DirectoryReporter *reporter, QString iniPath, Views views, QObject *parent = nullptr);

    // The desktop's views and the listener features, made after the window; each may be null.
    void setListeners(MprisService *mpris, DesktopNotifier *notifier, ListenerFeatures *listener);

    // Nothing plays and nothing is on its way: a press starts the station. In every other
    // state, a stalled or reconnecting stream included, a press stops, so stop always works.
    static bool pressPlays(PlayState state);

    void showStatus(); // the player's status changed
    void showPlayCaption(); // in the current language, for the state the player is in now
    void alternateStatusLine(); // a Timer7 tick

private:
    MediaPlayer *m_player;
    const LanguageTexts &m_texts;
    const CurrentStation *m_station;
    DirectoryReporter *m_reporter;
    QString m_iniPath;
    Views m_views;
    MprisService *m_mpris = nullptr;
    DesktopNotifier *m_notifier = nullptr;
    ListenerFeatures *m_listener = nullptr;
    QString m_lastTitle; // the song last announced, so a notice shows once per song
    // What the status handler last acted on: a change of status text alone (a new song)
    // is no new state.
    PlayState m_shownState = PlayState::Undefined;
    QString m_shownUrl;
};
