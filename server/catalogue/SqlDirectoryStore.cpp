#include "catalogue/SqlDirectoryStore.h"

#include "catalogue/CountryNames.h"
#include "catalogue/Importer.h"
#include "catalogue/StationDigest.h"
#include "catalogue/StoreWorker.h"

#include <QDateTime>
#include <QMessageAuthenticationCode>
#include <QSet>
#include <QThread>
#include <atomic>
#include <functional>

namespace {

QString limited(const QString &text, int max)
{
    return Importer::cleanText(text).left(max);
}

class SqlDirectoryStore final : public DirectoryStore
{
public:
    SqlDirectoryStore(const QString &database, const StoreOptions &options)
    {
        static std::atomic<int> serial {0};
        const QString connection = QStringLiteral("norvale-directory-%1").arg(++serial);
        m_thread.setObjectName(QStringLiteral("directory-store"));
        m_worker = new StoreWorker(database, options, connection);
        m_worker->moveToThread(&m_thread);
        m_thread.start();
    }

    ~SqlDirectoryStore() override
    {
        runOnStoreThread([this] { m_worker->close(); });
        m_thread.quit();
        m_thread.wait();
        delete m_worker; // its thread has ended and its timers were stopped there
    }

    StoreResult start()
    {
        StoreResult r;
        runOnStoreThread([&] { r = m_worker->open(&m_secret); });
        return r;
    }

    std::shared_ptr<const CatalogueSnapshot> snapshot() const override { return m_worker->snapshot(); }

    StoreResult importFiles(const QStringList &files) override
    {
        if (files.isEmpty())
            return {StoreError::BadInput, QStringLiteral("no files to import")};
        QList<Importer::Result> parts;
        for (const QString &file : files) {
            Importer::Result part = Importer::readFile(file);
            if (!part.status.ok())
                return part.status;
            parts.append(std::move(part));
        }
        const Importer::Result merged = Importer::merge(parts);
        if (merged.stations.isEmpty())
            return {StoreError::BadInput,
                    QStringLiteral("no usable stations in %1").arg(files.join(QLatin1String(", ")))};
        StoreResult r = replaceAll(merged.stations, merged.countries, {});
        if (r.ok())
            r.message = QStringLiteral("%1 stations in %2 countries imported, %3 skipped")
                            .arg(merged.stations.size())
                            .arg(snapshot()->countries().size())
                            .arg(merged.skipped);
        return r;
    }

    StoreResult replaceCatalogue(const QList<CatalogueStation> &stations) override
    {
        QList<CatalogueStation> clean;
        clean.reserve(stations.size());
        for (CatalogueStation s : stations) {
            if (Importer::normalise(s))
                clean.append(std::move(s));
        }
        Importer::Result merged = Importer::merge({Importer::Result {clean, {}, 0, {}}});
        return replaceAll(merged.stations, {}, {});
    }

    StoreResult replaceCatalogueWithNames(const QList<CatalogueStation> &stations,
                                          const QList<CatalogueCountry> &countryNames) override
    {
        QList<CatalogueStation> clean;
        clean.reserve(stations.size());
        for (CatalogueStation s : stations) {
            if (Importer::normalise(s))
                clean.append(std::move(s));
        }
        Importer::Result merged = Importer::merge({Importer::Result {clean, countryNames, 0, {}}});
        return replaceAll(merged.stations, merged.countries, {});
    }

    StoreResult replaceCountry(const QString &countryCode, const QList<CatalogueStation> &stations) override
    {
        const QString code = countryCode.trimmed().toUpper();
        if (code.size() != 2)
            return {StoreError::BadInput, QStringLiteral("not a country code: %1").arg(countryCode)};
        QList<CatalogueStation> clean;
        for (CatalogueStation s : stations) {
            s.countryCode = code;
            if (Importer::normalise(s))
                clean.append(std::move(s));
        }
        Importer::Result merged = Importer::merge({Importer::Result {clean, {}, 0, {}}});
        return replaceAll(merged.stations, {}, code);
    }

    void recordPlay(const QString &url, const QString &clientId) override
    {
        const auto snap = snapshot();
        const CatalogueStation *station = snap ? snap->stationByUrl(url) : nullptr;
        if (!station)
            return; // only stations of the catalogue are counted
        const QString client = digest(clientId);
        m_worker->enqueue(Reports::footprint(station->urlMd5, client), [&](Reports::Pending &p) {
            p.plays.append({station->urlMd5, client, nowMs()});
        });
    }

    void recordRecorderFailure(const QString &url, const QString &clientId) override
    {
        const QString clean = limited(url, 2000);
        if (clean.isEmpty())
            return;
        const QString client = digest(clientId);
        const QString md5 = stationUrlMd5(clean);
        m_worker->enqueue(Reports::footprint(md5, clean, client), [&](Reports::Pending &p) {
            p.failures.append({md5, clean, client, nowMs()});
        });
    }

    void recordFirstRun(const QString &clientId) override
    {
        const QString client = digest(clientId);
        m_worker->enqueue(Reports::footprint(client), [&](Reports::Pending &p) {
            p.firstRuns.append({client, nowMs()});
        });
    }

    void recordBrokenReport(const BrokenReport &report, const QString &clientId) override
    {
        const auto snap = snapshot();
        const CatalogueStation *station = snap ? snap->stationByUrl(report.url) : nullptr;
        if (!station)
            return;
        BrokenReport r;
        r.url = station->url;
        r.stationName = station->name;
        for (const CatalogueCountry *country : snap->countries()) {
            if (country->code == station->countryCode)
                r.countryName = country->nameEnglish;
        }
        r.reason = report.reason;
        r.at = report.at.isValid() ? report.at : QDateTime::currentDateTimeUtc();
        const QString client = digest(clientId);
        m_worker->enqueue(Reports::footprint(r.url, r.stationName, r.countryName, client), [&](Reports::Pending &p) {
            p.reports.append({r, client});
        });
    }

    StoreResult writeLogos(const QList<StationLogo> &logos) override
    {
        StoreResult r;
        runOnStoreThread([&] { r = m_worker->writeLogos(logos); });
        return r;
    }

    QHash<QString, QString> logoSources() override
    {
        QHash<QString, QString> sources;
        runOnStoreThread([&] { sources = m_worker->logoSources(); });
        return sources;
    }

    std::optional<StationLogo> logo(const QString &urlMd5) override
    {
        std::optional<StationLogo> found;
        runOnStoreThread([&] { found = m_worker->logo(urlMd5.toUpper()); });
        return found;
    }

    QList<BrokenReport> recentReports(int limit) const override { return m_worker->recentReports(limit, false); }
    QList<BrokenReport> handledReports(int limit) const override { return m_worker->recentReports(limit, true); }

    StoreResult openReports(int limit, QList<BrokenReport> *reports) override
    {
        StoreResult r;
        runOnStoreThread([&] { r = m_worker->openReports(limit, reports); });
        return r;
    }

    StoreResult markReportsHandled(const QList<qint64> &ids, int *marked) override
    {
        StoreResult r;
        runOnStoreThread([&] { r = m_worker->markHandled(ids, marked); });
        return r;
    }

    Health health() const override { return m_worker->health(); }

    void whenWritten(std::function<void()> done) override { m_worker->whenWritten(std::move(done)); }

    void flush() override
    {
        runOnStoreThread([this] { m_worker->flushNow(); });
    }

    Counts counts() const override { return m_worker->counts(); }

private:
    StoreResult replaceAll(QList<CatalogueStation> stations, QList<CatalogueCountry> countries,
                           const QString &onlyCountry)
    {
        if (onlyCountry.isEmpty()) {
            // The local demo's rows are kept by a full replacement, so the input may not add a second copy.
            const QString demo = QString::fromLatin1(CountryNames::kLocalDemoCode);
            stations.removeIf([&](const CatalogueStation &s) { return s.countryCode == demo; });
            countries.removeIf([&](const CatalogueCountry &c) { return c.code == demo; });
        }
        // Every station's country gets a row, names from the file or the built-in table.
        QSet<QString> have;
        for (const CatalogueCountry &c : countries)
            have.insert(c.code);
        for (const CatalogueStation &s : stations) {
            if (!have.contains(s.countryCode)) {
                have.insert(s.countryCode);
                countries.append({s.countryCode, {}, {}, {}, 0});
            }
        }
        for (CatalogueCountry &c : countries) {
            const CountryNames::Names names = CountryNames::namesFor(c.code, c.nameEnglish);
            if (c.nameEnglish.isEmpty())
                c.nameEnglish = names.english;
            if (c.nameDutch.isEmpty())
                c.nameDutch = names.dutch;
            if (c.bestand.isEmpty())
                c.bestand = CountryNames::bestandFor(c.code, c.nameEnglish);
        }
        if (!onlyCountry.isEmpty()) {
            countries.removeIf([&](const CatalogueCountry &c) { return c.code != onlyCountry; });
            if (countries.isEmpty()) {
                const CountryNames::Names names = CountryNames::namesFor(onlyCountry);
                countries.append(
                    {onlyCountry, CountryNames::bestandFor(onlyCountry, names.english), names.dutch, names.english, 0});
            }
        }
        StoreResult r;
        runOnStoreThread([&] { r = m_worker->replace(stations, countries, onlyCountry); });
        return r;
    }

    QString digest(const QString &clientId) const
    {
        return QString::fromLatin1(
            QMessageAuthenticationCode::hash(clientId.toUtf8(), m_secret, QCryptographicHash::Sha256).toHex().left(32));
    }

    void runOnStoreThread(const std::function<void()> &work) const
    {
        if (QThread::currentThread() == &m_thread)
            work();
        else
            m_worker->call(work);
    }

    QThread m_thread;
    StoreWorker *m_worker = nullptr; // lives on m_thread
    QByteArray m_secret; // set by start(), before any record call
};

} // namespace

std::unique_ptr<DirectoryStore> DirectoryStore::open(const QString &database, const StoreOptions &options,
                                                     StoreResult *result)
{
    auto store = std::make_unique<SqlDirectoryStore>(database, options);
    const StoreResult r = store->start();
    if (result)
        *result = r;
    if (!r.ok())
        return nullptr;
    return store;
}

std::unique_ptr<DirectoryStore> DirectoryStore::open(const QString &database, StoreResult *result)
{
    return open(database, StoreOptions {}, result);
}
