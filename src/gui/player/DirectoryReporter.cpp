#include "player/DirectoryReporter.h"

#include "app/MediaPlayer.h"
#include "app/Transfer.h"
#include "player/CurrentStation.h"
#include "player/DirectoryPages.h"

#include <QLabel>
#include <QListWidget>

DirectoryReporter::DirectoryReporter(Transfer *reports, Transfer *questions, QUrl directoryBase, MediaPlayer *player,
                                     const CurrentStation *station, Views views, QObject *parent)
    : QObject(parent)
    , m_reports(reports)
    , m_questions(questions)
    , m_directoryBase(std::move(directoryBase))
    , m_player(player)
    , m_station(station)
    , m_views(views)
{ }

void DirectoryReporter::raiseReport(const QString &text)
{
    if (m_views.channel->text() == text)
        return; // the same caption again is no change, so no report
    m_views.channel->setText(text);
    m_views.log->addItem(text);
    // Reports leave one at a time in the order raised; each reply replaces the caption
    // without sending, so the same report may be raised again later.
    m_reports->openUrl(DirectoryPages::report(m_directoryBase, text), this, [this, text](const TransferResult &result) {
        if (result.ok() && m_views.channel->text() == text)
            m_views.channel->setText(result.body);
    });
}

QUrl DirectoryReporter::problemPage() const
{
    return DirectoryPages::problemPage(m_directoryBase, m_station->language(), m_player->url(), m_station->name(),
                                       m_station->country().name);
}

void DirectoryReporter::playbackEnded()
{
    m_askedUrl.clear();
    m_recordable = false;
    m_ask.abandon();
}

void DirectoryReporter::streamPlaying()
{
    if (m_askedUrl != m_player->url())
        askRecordable();
    else
        Q_EMIT recordableChanged(m_recordable);
}

void DirectoryReporter::askRecordable()
{
    // The question runs in the background; its answer counts only for the stream it was
    // asked for, in this start of it. One that arrives during a stall enables recording
    // when the stream plays again.
    const QString url = m_player->url();
    m_askedUrl = url;
    m_recordable = false;
    m_ask.open(m_questions, DirectoryPages::ask(m_directoryBase, url), this, [this, url](const TransferResult &result) {
        if (!result.ok() || m_player->url() != url)
            return;
        const QString address = DirectoryPages::recordableAddress(result.body);
        if (address.isEmpty())
            return;
        m_views.recordable->setText(address);
        m_recordable = true;
        Q_EMIT recordableChanged(m_player->playState() == PlayState::Playing);
    });
}
