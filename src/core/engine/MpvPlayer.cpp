#include "engine/MpvPlayer.h"

#include "app/StreamAddress.h"
#include "app/TextCodec.h"
#include "engine/EngineLog.h"
#include "engine/EngineOptions.h"

#include <QPointer>
#include <cmath>
#include <mpv/client.h>

Q_LOGGING_CATEGORY(lcMpv, "norvale.mpv", QtWarningMsg)

namespace {

enum Observed : quint64 {
    ObservePause = 1,
    ObservePausedForCache,
    ObserveCacheState,
    ObserveMetadata,
};

// Tags and titles come from the stations as raw bytes; many servers send Latin-1.
QString textFromEngine(const char *text)
{
    return text ? decodeUtf8OrWindows1252(QByteArray(text)) : QString();
}

QVariant fromNode(const mpv_node &node)
{
    switch (node.format) {
    case MPV_FORMAT_STRING:
        return textFromEngine(node.u.string);
    case MPV_FORMAT_FLAG:
        return node.u.flag != 0;
    case MPV_FORMAT_INT64:
        return QVariant::fromValue<qint64>(node.u.int64);
    case MPV_FORMAT_DOUBLE:
        return node.u.double_;
    case MPV_FORMAT_NODE_ARRAY: {
        QVariantList list;
        for (int i = 0; i < node.u.list->num; ++i)
            list.append(fromNode(node.u.list->values[i]));
        return list;
    }
    case MPV_FORMAT_NODE_MAP: {
        QVariantMap map;
        for (int i = 0; i < node.u.list->num; ++i)
            map.insert(textFromEngine(node.u.list->keys[i]), fromNode(node.u.list->values[i]));
        return map;
    }
    default:
        return {};
    }
}

QString tag(const QVariantMap &tags, QLatin1StringView key)
{
    for (auto it = tags.cbegin(); it != tags.cend(); ++it) {
        if (it.key().compare(key, Qt::CaseInsensitive) == 0)
            return it.value().toString().trimmed();
    }
    return {};
}

// Stations without song information often send " - " or similar as the title.
bool saysNothing(const QString &title)
{
    for (const QChar c : title) {
        if (!c.isSpace() && c != u'-' && c != u'–')
            return false;
    }
    return true;
}

} // namespace

MpvPlayer::MpvPlayer(const QString &options, QObject *parent)
    : MediaPlayer(parent)
{
    m_status = m_texts.ready;
    m_clock.start();
    m_reconnectTimer.setSingleShot(true);
    connect(&m_reconnectTimer, &QTimer::timeout, this, [this] {
        if (m_phase == Phase::Waiting) {
            load();
            publish();
        }
    });

    m_mpv = mpv_create();
    if (!m_mpv) {
        m_initError = InitError::CreateFailed;
        m_startError = QStringLiteral("The playback engine (libmpv) could not be created; no station can play.");
        qCWarning(lcMpv) << "mpv_create failed";
        return;
    }

    m_rejectedOptions = EngineOptions::apply(m_mpv, options);

    if (const int rc = mpv_initialize(m_mpv); rc < 0) {
        m_initError = InitError::InitializeFailed;
        m_startError = QStringLiteral("The playback engine (libmpv) did not start (%1); no station can play.")
                           .arg(QString::fromUtf8(mpv_error_string(rc)));
        qCWarning(lcMpv) << "mpv_initialize failed:" << mpv_error_string(rc);
        mpv_terminate_destroy(m_mpv);
        m_mpv = nullptr;
        return;
    }
    // Set again after start-up: an included configuration file may have turned it on.
    mpv_set_property_string(m_mpv, "load-unsafe-playlists", "no");

    mpv_request_log_messages(m_mpv, "warn");
    mpv_observe_property(m_mpv, ObservePause, "pause", MPV_FORMAT_FLAG);
    mpv_observe_property(m_mpv, ObservePausedForCache, "paused-for-cache", MPV_FORMAT_FLAG);
    mpv_observe_property(m_mpv, ObserveCacheState, "cache-buffering-state", MPV_FORMAT_INT64);
    mpv_observe_property(m_mpv, ObserveMetadata, "metadata", MPV_FORMAT_NODE);

    // The options text may have set them.
    double volume = m_volume;
    if (mpv_get_property(m_mpv, "volume", MPV_FORMAT_DOUBLE, &volume) >= 0)
        m_volume = qBound(0, int(std::lround(volume)), 100);
    int mute = 0;
    if (mpv_get_property(m_mpv, "mute", MPV_FORMAT_FLAG, &mute) >= 0)
        m_mute = mute != 0;

    mpv_set_wakeup_callback(m_mpv, &MpvPlayer::wakeup, this);
    // Events queued before the callback was set (the observed properties' first values)
    // would otherwise wait for the next wakeup.
    wakeup(this);
}

MpvPlayer::~MpvPlayer()
{
    m_reconnectTimer.stop();
    if (m_mpv) {
        // Setting the callback waits for a running one to finish, so none can reach this
        // object once this returns; queued calls already posted die with the object.
        mpv_set_wakeup_callback(m_mpv, nullptr, nullptr);
        mpv_terminate_destroy(m_mpv);
        m_mpv = nullptr;
    }
}

void MpvPlayer::wakeup(void *context)
{
    // Called on an engine thread: only post, and only once until the drain runs.
    auto *self = static_cast<MpvPlayer *>(context);
    if (!self->m_wakeupPosted.exchange(true))
        QMetaObject::invokeMethod(self, &MpvPlayer::drainEvents, Qt::QueuedConnection);
}

void MpvPlayer::drainEvents()
{
    m_wakeupPosted = false;
    // Handlers of our signals may run nested event loops that drain again, and the
    // event returned by mpv_wait_event() is only valid until the next call: every event
    // is read completely before anything is announced.
    QPointer<MpvPlayer> self(this);
    while (m_mpv) {
        const mpv_event *event = mpv_wait_event(m_mpv, 0);
        if (event->event_id == MPV_EVENT_NONE)
            break;
        handleEvent(*event);
        publish();
        if (!self)
            return;
    }
}

void MpvPlayer::handleEvent(const mpv_event &event)
{
    switch (event.event_id) {
    case MPV_EVENT_LOG_MESSAGE: {
        const auto *message = static_cast<const mpv_event_log_message *>(event.data);
        qCInfo(lcMpv).noquote() << message->prefix << QString::fromUtf8(message->text).trimmed();
        break;
    }
    case MPV_EVENT_PLAYBACK_RESTART:
        if (m_phase == Phase::Opening && m_entryId != 0) {
            m_phase = Phase::Running;
            m_schedule.playing(m_clock.elapsed());
        }
        break;
    case MPV_EVENT_END_FILE: {
        const auto *end = static_cast<const mpv_event_end_file *>(event.data);
        // Ends of entries we already replaced or stopped are old news.
        if (m_entryId == 0 || end->playlist_entry_id != m_entryId)
            break;
        switch (end->reason) {
        case MPV_END_FILE_REASON_REDIRECT:
            // A playlist (.pls, .m3u) was opened: its entries took its place.
            m_entryId = end->playlist_insert_id;
            if (m_entryId == 0)
                streamEnded();
            break;
        case MPV_END_FILE_REASON_EOF:
        case MPV_END_FILE_REASON_ERROR:
            if (end->reason == MPV_END_FILE_REASON_ERROR)
                qCInfo(lcMpv) << "stream failed:" << mpv_error_string(end->error);
            // A playlist's next entry is another address of the same station.
            if (const qint64 next = nextEntryAfter(m_entryId)) {
                m_entryId = next;
                m_phase = Phase::Opening;
                m_schedule.opening();
                m_title.clear();
            } else {
                streamEnded();
            }
            break;
        default:
            // Stopped by someone other than us (an option or command from outside).
            m_entryId = 0;
            m_phase = Phase::Idle;
            m_wanted = false;
            m_title.clear();
            break;
        }
        break;
    }
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto *property = static_cast<const mpv_event_property *>(event.data);
        switch (event.reply_userdata) {
        case ObservePause:
            m_paused = property->format == MPV_FORMAT_FLAG && *static_cast<int *>(property->data);
            break;
        case ObservePausedForCache:
            m_pausedForCache = property->format == MPV_FORMAT_FLAG && *static_cast<int *>(property->data);
            break;
        case ObserveCacheState:
            m_cachePercent = property->format == MPV_FORMAT_INT64 ? int(*static_cast<int64_t *>(property->data)) : -1;
            break;
        case ObserveMetadata:
            m_title = property->format == MPV_FORMAT_NODE
                ? titleFromTags(fromNode(*static_cast<mpv_node *>(property->data)).toMap())
                : QString();
            break;
        }
        break;
    }
    case MPV_EVENT_SHUTDOWN:
        // Only an outside "quit" gets here; the handle stays until the destructor.
        qCWarning(lcMpv) << "the engine shut down";
        m_startError = QStringLiteral("The playback engine (libmpv) stopped; no station can play until restart.");
        QMetaObject::invokeMethod(this, &MediaPlayer::engineFailed, Qt::QueuedConnection);
        m_reconnectTimer.stop();
        mpv_set_wakeup_callback(m_mpv, nullptr, nullptr);
        mpv_terminate_destroy(m_mpv);
        m_mpv = nullptr;
        m_phase = Phase::Idle;
        m_entryId = 0;
        if (m_wanted) {
            m_wanted = false;
            m_failed = true;
            m_errorPending = true;
        }
        break;
    default:
        break;
    }
}

qint64 MpvPlayer::nextEntryAfter(qint64 entryId) const
{
    const QVariantList playlist = engineProperty(QStringLiteral("playlist")).toList();
    for (qsizetype i = 0; i + 1 < playlist.size(); ++i) {
        if (playlist.at(i).toMap().value(QStringLiteral("id")).toLongLong() == entryId)
            return playlist.at(i + 1).toMap().value(QStringLiteral("id")).toLongLong();
    }
    return 0;
}

void MpvPlayer::load()
{
    m_reconnectTimer.stop();
    m_title.clear();
    m_pausedForCache = false;
    m_cachePercent = -1;
    m_schedule.opening();
    m_failed = false;
    if (!m_mpv || !isStreamAddress(m_url)) {
        if (m_mpv)
            qCInfo(lcMpv) << "refused address:" << m_url;
        m_phase = Phase::Idle;
        m_wanted = false;
        m_failed = true;
        m_errorPending = true;
        return;
    }
    // A pause from before must not hold the new stream.
    int no = 0;
    mpv_set_property(m_mpv, "pause", MPV_FORMAT_FLAG, &no);

    const QByteArray url = m_url.trimmed().toUtf8();
    const char *args[] = {"loadfile", url.constData(), "replace", nullptr};
    mpv_node result {};
    m_phase = Phase::Opening;
    m_entryId = 0;
    if (mpv_command_ret(m_mpv, args, &result) >= 0) {
        m_entryId = fromNode(result).toMap().value(QStringLiteral("playlist_entry_id")).toLongLong();
        mpv_free_node_contents(&result);
    }
    if (m_entryId == 0)
        streamEnded();
}

void MpvPlayer::streamEnded()
{
    m_entryId = 0;
    m_title.clear();
    m_pausedForCache = false;
    if (!m_wanted) {
        m_phase = Phase::Idle;
        return;
    }
    const qint64 now = m_clock.elapsed();
    if (const std::optional<qint64> due = m_schedule.ended(now)) {
        m_phase = Phase::Waiting;
        m_reconnectTimer.start(int(*due - now));
        return;
    }
    qCInfo(lcMpv) << "stream gone after" << m_schedule.attempts() << "attempts:" << m_url;
    m_phase = Phase::Idle;
    m_wanted = false;
    m_failed = true;
    m_errorPending = true;
}

void MpvPlayer::unload()
{
    m_reconnectTimer.stop();
    m_schedule.restart();
    m_wanted = false;
    m_failed = false;
    m_title.clear();
    m_pausedForCache = false;
    if (m_phase != Phase::Idle && m_mpv) {
        m_entryId = 0; // its end event is ours
        const char *args[] = {"stop", nullptr};
        mpv_command(m_mpv, args);
    }
    m_entryId = 0;
    m_phase = Phase::Idle;
}

void MpvPlayer::publish()
{
    QPointer<MpvPlayer> self(this);
    // A handler may change us again; each round announces what is true at that moment.
    for (;;) {
        const PlayerStatus now = playerStatus({m_phase, !m_url.isEmpty(), m_failed, m_schedule.attempts() > 0, m_paused,
                                               m_pausedForCache, m_cachePercent, m_title},
                                              m_texts);
        if (now.state != m_state || now.text != m_status || m_title != m_publishedTitle) {
            m_state = now.state;
            m_status = now.text;
            m_publishedTitle = m_title;
            Q_EMIT statusChanged();
        } else if (now.buffering != m_buffering) {
            m_buffering = now.buffering;
            Q_EMIT buffering(m_buffering);
        } else if (m_errorPending) {
            m_errorPending = false;
            Q_EMIT error();
        } else {
            return;
        }
        if (!self)
            return;
    }
}

void MpvPlayer::setTexts(const Texts &texts)
{
    m_texts = texts;
    publish();
}

QVariant MpvPlayer::engineProperty(const QString &name) const
{
    if (!m_mpv)
        return {};
    mpv_node node {};
    if (mpv_get_property(m_mpv, name.toUtf8().constData(), MPV_FORMAT_NODE, &node) < 0)
        return {};
    QVariant value = fromNode(node);
    mpv_free_node_contents(&node);
    return value;
}

void MpvPlayer::setUrl(const QString &url)
{
    unload();
    m_url = url;
    if (!url.trimmed().isEmpty()) {
        m_wanted = true;
        load();
    }
    publish();
}

void MpvPlayer::play()
{
    if (m_url.trimmed().isEmpty())
        return;
    if (m_phase == Phase::Running && m_paused) {
        int no = 0;
        if (m_mpv)
            mpv_set_property(m_mpv, "pause", MPV_FORMAT_FLAG, &no);
        return;
    }
    if (m_phase != Phase::Idle)
        return;
    unload();
    m_wanted = true;
    load();
    publish();
}

void MpvPlayer::stop()
{
    unload();
    publish();
}

void MpvPlayer::close()
{
    unload();
    m_url.clear();
    publish();
}

void MpvPlayer::setVolume(int volume)
{
    m_volume = qBound(0, volume, 100);
    double value = m_volume;
    if (m_mpv)
        mpv_set_property(m_mpv, "volume", MPV_FORMAT_DOUBLE, &value);
}

void MpvPlayer::setMute(bool mute)
{
    m_mute = mute;
    int value = mute ? 1 : 0;
    if (m_mpv)
        mpv_set_property(m_mpv, "mute", MPV_FORMAT_FLAG, &value);
}

QString MpvPlayer::titleFromTags(const QVariantMap &tags)
{
    QString title = tag(tags, QLatin1StringView("icy-title"));
    if (saysNothing(title)) {
        const QString artist = tag(tags, QLatin1StringView("artist"));
        title = tag(tags, QLatin1StringView("title"));
        if (!artist.isEmpty() && !saysNothing(title))
            title = artist + QStringLiteral(" - ") + title;
    }
    return saysNothing(title) ? QString() : title;
}

void MpvPlayer::setVisualisation(bool on)
{
    m_visualisation.set(m_mpv, on);
}

QList<float> MpvPlayer::bandLevels() const
{
    if (!m_visualisation.isOn())
        return {};
    return EngineVisualisation::levels(engineProperty(QStringLiteral("af-metadata/vis")).toMap());
}
