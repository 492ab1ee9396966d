#include "player/PlayerStatusPresenter.h"

#include "app/IniFile.h"
#include "app/LanguageTexts.h"
#include "app/MediaPlayer.h"
#include "app/ProgramIdentity.h"
#include "player/CurrentStation.h"
#include "player/DesktopNotifier.h"
#include "player/DirectoryReporter.h"
#include "player/ListenerFeatures.h"
#include "player/MprisService.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

PlayerStatusPresenter::PlayerStatusPresenter(MediaPlayer *player, const LanguageTexts &texts,
                                             const CurrentStation *station, DirectoryReporter *reporter,
                                             QString iniPath, Views views, QObject *parent)
    : QObject(parent)
    , m_player(player)
    , m_texts(texts)
    , m_station(station)
    , m_reporter(reporter)
    , m_iniPath(std::move(iniPath))
    , m_views(views)
{
    connect(reporter, &DirectoryReporter::recordableChanged, m_views.recordButton, &QPushButton::setEnabled);
}

void PlayerStatusPresenter::setListeners(MprisService *mpris, DesktopNotifier *notifier, ListenerFeatures *listener)
{
    m_mpris = mpris;
    m_notifier = notifier;
    m_listener = listener;
}

bool PlayerStatusPresenter::pressPlays(PlayState state)
{
    return state == PlayState::Stopped || state == PlayState::Ready;
}

void PlayerStatusPresenter::showPlayCaption()
{
    // The caption names what a press does; the status line says what the player does.
    const QString caption =
        m_texts.TaalTekst(pressPlays(m_player->playState()) ? QStringLiteral("command3b") : QStringLiteral("command3"));
    m_views.playButton->setText(caption);
    m_views.playItem->setText(caption);
}

void PlayerStatusPresenter::showStatus()
{
    m_views.statusLine->setText(m_player->status());
    if (m_mpris) {
        m_mpris->stateChanged();
        m_mpris->titleChanged();
    }
    const QString title = m_player->mediaTitle();
    if (m_listener)
        m_listener->playStateChanged();
    if (title != m_lastTitle) {
        m_lastTitle = title;
        if (m_listener)
            m_listener->titleHeard(title);
        // Someone listening with the window in the tray still learns what plays.
        if (!title.isEmpty() && !m_views.window->isVisible() && m_notifier)
            m_notifier->notify(m_station->name(), title);
    }
    // A fresh status stays a full interval before the title comes back.
    m_views.statusTimer->start();
    const PlayState state = m_player->playState();
    showPlayCaption();
    // A new song is a new status text in the same state of the same stream: the record
    // button and the picture stay as they are, and the directory is not asked again.
    const QString url = m_player->url();
    if (state == m_shownState && url == m_shownUrl)
        return;
    m_shownState = state;
    m_shownUrl = url;
    m_views.recordButton->setEnabled(false);
    m_views.picture->hide();
    if (pressPlays(state))
        m_reporter->playbackEnded();
    if (state != PlayState::Playing) {
        m_player->setVisualisation(false);
        return;
    }
    const bool visual =
        ReadINI(m_iniPath, QStringLiteral("Online Radio"), QStringLiteral("visual")).trimmed() == QLatin1String("1");
    m_player->setVisualisation(visual);
    if (visual) {
        m_views.picture->raise();
        m_views.picture->show();
    }
    m_reporter->streamPlaying();
}

void PlayerStatusPresenter::alternateStatusLine()
{
    QLabel *line = m_views.statusLine;
    if (line->text() != QLatin1String(kApplicationTitle))
        line->setText(QLatin1String(kApplicationTitle));
    else
        line->setText(m_player->status());
}
