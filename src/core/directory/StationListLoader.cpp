#include "directory/StationListLoader.h"

#include "app/DirectoryUrl.h"
#include "app/Transfer.h"
#include "directory/TagParser.h"

StationListLoader::StationListLoader(Transfer *inet1, BaseUrlSource baseUrl, FileNameSource bestand, QObject *parent)
    : QObject(parent)
    , m_inet1(inet1)
    , m_baseUrl(std::move(baseUrl))
    , m_bestand(std::move(bestand))
{
    m_timer1.setInterval(kTimer1IntervalMs);
    connect(&m_timer1, &QTimer::timeout, this, &StationListLoader::onTimer1);
}

StationListLoader::~StationListLoader()
{
    abandonFetch();
}

QUrl StationListLoader::listUrl(const QUrl &baseUrl, const QString &bestand)
{
    return directoryUrl(baseUrl, QStringLiteral("radio/inter/zenders/") + bestand);
}

void StationListLoader::start()
{
    abandonFetch();
    m_timer1.start();
}

void StationListLoader::stop()
{
    abandonFetch();
    m_timer1.stop();
}

void StationListLoader::onTimer1()
{
    // The previous attempt is still waiting for the server; a second request would only
    // race it.
    if (m_inFlight)
        return;

    Q_EMIT cleared();

    const QString bestand = m_bestand();
    const quint64 generation = ++m_generation;
    m_inFlight = true;
    m_requestId.reset();
    const quint64 id = m_inet1->openUrl(
        listUrl(m_baseUrl(), bestand), this,
        [this, generation, bestand](const TransferResult &result) { finish(generation, bestand, result); });
    // A transfer may answer before openUrl returns; then there is nothing left to abort.
    if (m_inFlight && generation == m_generation)
        m_requestId = id;
}

void StationListLoader::finish(quint64 generation, const QString &bestand, const TransferResult &result)
{
    if (generation != m_generation || !m_inFlight)
        return; // abandoned by start() or stop()
    m_inFlight = false;
    m_requestId.reset();

    if (result.error == TransferError::Aborted)
        return;

    if (bestand != m_bestand()) {
        // Another country was chosen while this list was on its way: load that one now.
        if (m_timer1.isActive())
            onTimer1();
        return;
    }

    // An error page or an oversized reply is a failure to be retried, not a list that
    // happens to be empty.
    if (!result.ok() || result.httpStatus >= 400) {
        countFailure();
        return;
    }

    // A list whose fields would not fit the parser's bound is as unusable as no list.
    StationListText list = parseStationList(result.body);
    if (list.overLimit) {
        countFailure();
        return;
    }
    m_timer1.stop();
    Q_EMIT downloaded(result.body);
    Q_EMIT loaded(list.naam, list.url, list.homepage);
}

void StationListLoader::countFailure()
{
    if (m_errorZendersLaden > kFailureLimit) {
        m_errorZendersLaden = 0;
        Q_EMIT failureCountChanged(m_errorZendersLaden);
        Q_EMIT failedTooOften();
    } else {
        ++m_errorZendersLaden;
        Q_EMIT failureCountChanged(m_errorZendersLaden);
    }
}

void StationListLoader::abandonFetch()
{
    if (!m_inFlight)
        return;
    ++m_generation;
    m_inFlight = false;
    if (m_requestId)
        m_inet1->abort(*m_requestId);
    m_requestId.reset();
}
