#include "CatalogueWrites.h"

#include "CountryNames.h"
#include "StationDigest.h"

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
    return {};
}

} // namespace

StoreResult writeCatalogue(QSqlDatabase db, const QList<CatalogueStation> &stations,
                           const QList<CatalogueCountry> &countries, const QString &onlyCountry)
{
    if (!db.transaction())
        return queryError(db.lastError());
    const StoreResult r = writeRows(db, stations, countries, onlyCountry);
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

StoreResult readCatalogue(QSqlDatabase db, QList<CatalogueStation> *stations, QList<CatalogueCountry> *countries)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    // Ordered by the unique key: the snapshot's sort is stable, so every process reading
    // the same rows renders the same bytes and the same ETags.
    if (!q.exec(QStringLiteral("SELECT s.uuid, s.country_code, s.name, s.url, s.homepage, s.tags, s.codec, "
                               "s.bitrate, s.votes, s.url_md5, COALESCE(p.plays, 0) FROM stations s "
                               "LEFT JOIN play_counts p ON p.url_md5 = s.url_md5 ORDER BY s.id")))
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
