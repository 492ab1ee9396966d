#include "catalogue/CatalogueWrites.h"

#include "catalogue/CountryNames.h"
#include "catalogue/StationDigest.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace {

constexpr int kInsertChunk = 100;

StoreResult queryError(const QSqlError &e)
{
    return {StoreError::Query, e.text()};
}

// A null QString binds as SQL NULL; every text column is NOT NULL.
QString text(const QString &value)
{
    return value.isNull() ? QString(QLatin1String("")) : value;
}

StoreResult writeRows(QSqlDatabase db, const QList<CatalogueStation> &stations,
                      const QList<CatalogueCountry> &countries, const QString &onlyCountry)
{
    QSqlQuery q(db);
    const QString keep = onlyCountry.isEmpty() ? QString::fromLatin1(CountryNames::kLocalDemoCode) : onlyCountry;
    for (const char *table : {"stations WHERE country_code", "countries WHERE code"}) {
        q.prepare(
            QStringLiteral("DELETE FROM %1 %2 ?")
                .arg(QString::fromLatin1(table), onlyCountry.isEmpty() ? QStringLiteral("<>") : QStringLiteral("=")));
        q.addBindValue(keep);
        if (!q.exec())
            return queryError(q.lastError());
    }
    if (!q.exec(QStringLiteral("UPDATE catalogue_state SET generation = generation + 1")))
        return queryError(q.lastError());
    q.prepare(QStringLiteral("INSERT INTO countries (code, bestand, name_nl, name_en) VALUES (?, ?, ?, ?)"));
    for (const CatalogueCountry &c : countries) {
        q.addBindValue(text(c.code));
        q.addBindValue(text(c.bestand));
        q.addBindValue(text(c.nameDutch));
        q.addBindValue(text(c.nameEnglish));
        if (!q.exec())
            return queryError(q.lastError());
    }
    // Many rows per statement: one round trip per hundred stations matters on PostgreSQL.
    const QString columns = QStringLiteral("INSERT INTO stations (uuid, country_code, name, url, homepage, tags, "
                                           "codec, bitrate, votes, url_md5) VALUES ");
    const QString row = QStringLiteral("(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    QSqlQuery insert(db);
    int prepared = 0;
    for (qsizetype i = 0; i < stations.size(); i += kInsertChunk) {
        const int rows = int(std::min<qsizetype>(kInsertChunk, stations.size() - i));
        if (rows != prepared) {
            if (!insert.prepare(columns + QStringList(rows, row).join(QLatin1Char(','))))
                return queryError(insert.lastError());
            prepared = rows;
        }
        for (int k = 0; k < rows; ++k) {
            const CatalogueStation &s = stations.at(i + k);
            insert.addBindValue(text(s.uuid));
            insert.addBindValue(text(s.countryCode));
            insert.addBindValue(text(s.name));
            insert.addBindValue(text(s.url));
            insert.addBindValue(text(s.homepage));
            insert.addBindValue(text(s.tags));
            insert.addBindValue(text(s.codec));
            insert.addBindValue(s.bitrate);
            insert.addBindValue(s.votes);
            insert.addBindValue(s.urlMd5.isEmpty() ? stationUrlMd5(s.url) : s.urlMd5);
        }
        if (!insert.exec())
            return queryError(insert.lastError());
    }
    // A logo goes with its station.
    if (!q.exec(QStringLiteral("DELETE FROM station_logos WHERE url_md5 NOT IN (SELECT url_md5 FROM stations)")))
        return queryError(q.lastError());
    return {};
}

StoreResult writeLogoList(QSqlDatabase db, const QList<StationLogo> &logos)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("UPDATE catalogue_state SET generation = generation + 1")))
        return queryError(q.lastError());
    q.prepare(QStringLiteral("INSERT INTO station_logos (url_md5, source, etag, png, stored_at) VALUES (?, ?, ?, ?, ?) "
                             "ON CONFLICT (url_md5) DO UPDATE SET source = excluded.source, etag = excluded.etag, "
                             "png = excluded.png, stored_at = excluded.stored_at"));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (const StationLogo &logo : logos) {
        q.addBindValue(text(logo.urlMd5.toUpper()));
        q.addBindValue(text(logo.source));
        q.addBindValue(QString::fromLatin1(logo.etag));
        q.addBindValue(logo.png);
        q.addBindValue(now);
        if (!q.exec())
            return queryError(q.lastError());
    }
    return {};
}

template<typename Write>
StoreResult inTransaction(QSqlDatabase db, Write write)
{
    if (!db.transaction())
        return queryError(db.lastError());
    const StoreResult r = write();
    if (!r.ok()) {
        db.rollback();
        return r;
    }
    if (!db.commit()) {
        const StoreResult e = queryError(db.lastError());
        db.rollback();
        return e;
    }
    return {};
}

} // namespace

StoreResult writeCatalogue(QSqlDatabase db, const QList<CatalogueStation> &stations,
                           const QList<CatalogueCountry> &countries, const QString &onlyCountry)
{
    return inTransaction(db, [&] { return writeRows(db, stations, countries, onlyCountry); });
}

StoreResult writeLogoRows(QSqlDatabase db, const QList<StationLogo> &logos)
{
    return inTransaction(db, [&] { return writeLogoList(db, logos); });
}

QHash<QString, QString> readLogoSources(QSqlDatabase db, StoreResult *result)
{
    QHash<QString, QString> sources;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT url_md5, source FROM station_logos"))) {
        *result = queryError(q.lastError());
        return {};
    }
    while (q.next())
        sources.insert(q.value(0).toString(), q.value(1).toString());
    *result = {};
    return sources;
}

std::optional<StationLogo> readLogo(QSqlDatabase db, const QString &urlMd5, StoreResult *result)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT source, etag, png FROM station_logos WHERE url_md5 = ?"));
    q.addBindValue(urlMd5);
    *result = {};
    if (!q.exec()) {
        *result = queryError(q.lastError());
        return std::nullopt;
    }
    if (!q.next())
        return std::nullopt;
    return StationLogo {urlMd5, q.value(0).toString(), q.value(2).toByteArray(), q.value(1).toString().toLatin1()};
}

StoreResult readCatalogue(QSqlDatabase db, QList<CatalogueStation> *stations, QList<CatalogueCountry> *countries)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    // Ordered by the unique key: the snapshot's sort is stable, so every process reading
    // the same rows renders the same bytes and the same ETags.
    if (!q.exec(QStringLiteral("SELECT s.uuid, s.country_code, s.name, s.url, s.homepage, s.tags, s.codec, "
                               "s.bitrate, s.votes, s.url_md5, COALESCE(p.plays, 0), COALESCE(l.etag, '') "
                               "FROM stations s LEFT JOIN play_counts p ON p.url_md5 = s.url_md5 "
                               "LEFT JOIN station_logos l ON l.url_md5 = s.url_md5 ORDER BY s.id")))
        return queryError(q.lastError());
    while (q.next()) {
        CatalogueStation s;
        s.uuid = q.value(0).toString();
        s.countryCode = q.value(1).toString();
        s.name = q.value(2).toString();
        s.url = q.value(3).toString();
        s.homepage = q.value(4).toString();
        s.tags = q.value(5).toString();
        s.codec = q.value(6).toString();
        s.bitrate = q.value(7).toInt();
        s.votes = q.value(8).toInt();
        s.urlMd5 = q.value(9).toString();
        s.playCount = q.value(10).toLongLong();
        s.logoEtag = q.value(11).toString().toLatin1();
        stations->append(std::move(s));
    }
    if (q.lastError().isValid())
        return queryError(q.lastError());
    if (!q.exec(QStringLiteral("SELECT code, bestand, name_nl, name_en FROM countries ORDER BY code")))
        return queryError(q.lastError());
    while (q.next())
        countries->append(
            {q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString(), 0});
    return {};
}

qint64 catalogueGeneration(QSqlDatabase db)
{
    QSqlQuery q(db);
    return q.exec(QStringLiteral("SELECT generation FROM catalogue_state")) && q.next() ? q.value(0).toLongLong() : -1;
}
