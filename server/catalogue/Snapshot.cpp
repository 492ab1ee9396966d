#include "catalogue/Snapshot.h"

#include "catalogue/CountryNames.h"
#include "catalogue/StationDigest.h"
#include "catalogue/TagWriter.h"

#include <QHash>
#include <QStringMatcher>
#include <QUrl>
#include <algorithm>
#include <vector>

namespace {

// Separators inside the search haystack; search words never contain control characters,
// so a match can never run from one station into the next.
constexpr QChar kFieldSeparator = QChar(0x01);
constexpr QChar kStationSeparator = QChar(0x02);

QString sortKey(const QString &name)
{
    return CountryNames::asciiKey(name) + QChar(0) + name.toCaseFolded();
}

std::optional<QString> recordableFromUrl(const QString &url)
{
    const QUrl u(url, QUrl::StrictMode);
    if (!u.isValid() || u.scheme() != QLatin1String("http") || u.host().isEmpty() || !u.userInfo().isEmpty())
        return std::nullopt;
    if (u.host().contains(QLatin1Char(':'))) // IPv6 literal: "host:port" would be ambiguous
        return std::nullopt;
    if (u.hasQuery() || u.hasFragment())
        return std::nullopt;
    const QString path = u.path(QUrl::FullyEncoded);
    if (!path.isEmpty() && path != QLatin1String("/"))
        return std::nullopt;
    return u.host() + QLatin1Char(':') + QString::number(u.port(80));
}

class MemorySnapshot final : public CatalogueSnapshot
{
public:
    MemorySnapshot(QList<CatalogueStation> stations, const QList<CatalogueCountry> &countries, int maxListChars);

    const ListBody &countryList(Language language) const override
    {
        return language == Language::Dutch ? m_countryListDutch : m_countryListEnglish;
    }
    const ListBody *stationList(const QString &bestand) const override
    {
        const auto it = m_countryIndexByBestand.constFind(bestand.toLower());
        return it == m_countryIndexByBestand.constEnd() ? nullptr : &m_countryLists[*it];
    }
    QList<const CatalogueStation *> search(const QString &words, const QString &countryKey, int limit) const override;
    std::optional<QString> recordableAddress(const QString &urlMd5) const override
    {
        const auto it = m_recordable.constFind(urlMd5.trimmed().toUpper());
        if (it == m_recordable.constEnd())
            return std::nullopt;
        return *it;
    }
    const CatalogueStation *stationByUrl(const QString &url) const override
    {
        const auto it = m_stationByUrl.constFind(url);
        return it == m_stationByUrl.constEnd() ? nullptr : &m_stations[*it];
    }
    const CatalogueStation *stationByMd5(const QString &urlMd5) const override
    {
        const auto it = m_stationByMd5.constFind(urlMd5);
        return it == m_stationByMd5.constEnd() ? nullptr : &m_stations[*it];
    }
    const CatalogueCountry *countryByBestand(const QString &bestand) const override
    {
        const auto it = m_countryIndexByBestand.constFind(bestand.toLower());
        return it == m_countryIndexByBestand.constEnd() ? nullptr : &m_countries[*it];
    }
    QList<const CatalogueCountry *> countries() const override
    {
        QList<const CatalogueCountry *> out;
        out.reserve(qsizetype(m_countries.size()));
        for (const CatalogueCountry &c : m_countries)
            out.append(&c);
        return out;
    }
    QList<const CatalogueStation *> popular(int limit) const override
    {
        QList<const CatalogueStation *> out;
        const int n = std::min<int>(std::max(limit, 0), int(m_stations.size()));
        out.reserve(n);
        for (int i = 0; i < n; ++i)
            out.append(&m_stations[i]);
        return out;
    }
    int stationCount() const override { return int(m_stations.size()); }

private:
    QList<const CatalogueStation *> topOfCountry(int country, int limit) const;

    // Stations in rank order: most played, then most voted, then by name; a station's
    // index is its rank, and pointers into the vector stay valid for the snapshot's life.
    std::vector<CatalogueStation> m_stations;
    std::vector<int> m_stationCountry; // index into m_countries per station
    std::vector<CatalogueCountry> m_countries; // by code
    std::vector<std::vector<int>> m_countryStations; // per country, in rank order
    std::vector<ListBody> m_countryLists; // per country
    ListBody m_countryListDutch;
    ListBody m_countryListEnglish;
    QHash<QString, int> m_countryIndexByBestand; // lower-case, with ".txt"
    QHash<QString, int> m_countryIndexByKey; // lower-case, without ".txt"
    QHash<QString, int> m_stationByUrl;
    QHash<QString, int> m_stationByMd5; // upper-case
    QHash<QString, QString> m_recordable; // upper-case MD5 → "host:port"
    // Case-folded "name \x01 tags \x02" of every station in rank order.
    QString m_haystack;
    std::vector<qsizetype> m_segmentStart;
    std::vector<int> m_nameLength;
};

MemorySnapshot::MemorySnapshot(QList<CatalogueStation> stations, const QList<CatalogueCountry> &countries,
                               int maxListChars)
{
    QHash<QString, CatalogueCountry> given;
    for (const CatalogueCountry &c : countries)
        given.insert(c.code.toUpper(), c);

    m_stations.reserve(stations.size());
    std::vector<QString> keys;
    keys.reserve(stations.size());
    for (CatalogueStation &s : stations) {
        s.countryCode = s.countryCode.toUpper();
        if (s.urlMd5.isEmpty())
            s.urlMd5 = stationUrlMd5(s.url);
        m_stations.push_back(std::move(s));
    }
    {
        std::vector<int> order(m_stations.size());
        for (size_t i = 0; i < order.size(); ++i) {
            order[i] = int(i);
            keys.push_back(sortKey(m_stations[i].name));
        }
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            const CatalogueStation &x = m_stations[a];
            const CatalogueStation &y = m_stations[b];
            if (x.playCount != y.playCount)
                return x.playCount > y.playCount;
            if (x.votes != y.votes)
                return x.votes > y.votes;
            if (keys[a] != keys[b])
                return keys[a] < keys[b];
            // A total order: whatever order the rows came in, every process renders
            // the same bytes (and so the same ETags).
            if (x.url != y.url)
                return x.url < y.url;
            if (x.countryCode != y.countryCode)
                return x.countryCode < y.countryCode;
            return x.uuid < y.uuid;
        });
        std::vector<CatalogueStation> sorted;
        sorted.reserve(m_stations.size());
        for (int i : order)
            sorted.push_back(std::move(m_stations[i]));
        m_stations = std::move(sorted);
    }

    // Countries: one per code that has stations.
    QHash<QString, int> countryIndexByCode;
    {
        QStringList codes;
        for (const CatalogueStation &s : m_stations) {
            if (!countryIndexByCode.contains(s.countryCode)) {
                countryIndexByCode.insert(s.countryCode, -1);
                codes.append(s.countryCode);
            }
        }
        codes.sort();
        for (const QString &code : codes) {
            CatalogueCountry c = given.value(code);
            c.code = code;
            const CountryNames::Names names = CountryNames::namesFor(code, c.nameEnglish);
            if (c.nameEnglish.isEmpty())
                c.nameEnglish = names.english;
            if (c.nameDutch.isEmpty())
                c.nameDutch = names.dutch;
            if (c.bestand.isEmpty())
                c.bestand = CountryNames::bestandFor(code, c.nameEnglish);
            c.bestand = c.bestand.toLower();
            // Two countries may never share a list file.
            if (m_countryIndexByBestand.contains(c.bestand))
                c.bestand = CountryNames::asciiKey(c.nameEnglish) + code.toLower() + QLatin1String(".txt");
            c.stationCount = 0;
            countryIndexByCode.insert(code, int(m_countries.size()));
            m_countryIndexByBestand.insert(c.bestand, int(m_countries.size()));
            m_countryIndexByKey.insert(c.bestand.chopped(4), int(m_countries.size()));
            m_countries.push_back(c);
        }
    }
    m_countryStations.resize(m_countries.size());
    m_stationCountry.resize(m_stations.size());
    m_segmentStart.reserve(m_stations.size() + 1);
    m_nameLength.reserve(m_stations.size());
    m_haystack.reserve(qsizetype(m_stations.size()) * 64);
    for (size_t i = 0; i < m_stations.size(); ++i) {
        const CatalogueStation &s = m_stations[i];
        const int country = countryIndexByCode.value(s.countryCode);
        m_stationCountry[i] = country;
        m_countryStations[country].push_back(int(i));
        ++m_countries[country].stationCount;
        if (!m_stationByUrl.contains(s.url))
            m_stationByUrl.insert(s.url, int(i));
        const QString md5 = s.urlMd5.toUpper();
        if (!m_stationByMd5.contains(md5))
            m_stationByMd5.insert(md5, int(i));
        if (!m_recordable.contains(md5)) {
            if (const auto address = recordableFromUrl(s.url))
                m_recordable.insert(md5, *address);
        }
        m_segmentStart.push_back(m_haystack.size());
        const QString name = TagWriter::cleanValue(s.name).toCaseFolded();
        m_nameLength.push_back(int(name.size()));
        m_haystack += name;
        m_haystack += kFieldSeparator;
        m_haystack += TagWriter::cleanValue(s.tags).toCaseFolded();
        m_haystack += kStationSeparator;
    }
    m_segmentStart.push_back(m_haystack.size());

    m_countryLists.reserve(m_countries.size());
    for (size_t c = 0; c < m_countries.size(); ++c) {
        QList<const CatalogueStation *> list;
        list.reserve(qsizetype(m_countryStations[c].size()));
        for (int i : m_countryStations[c])
            list.append(&m_stations[i]);
        m_countryLists.push_back(TagWriter::makeBody(renderStationList(list, maxListChars)));
    }

    for (const Language language : {Language::Dutch, Language::English}) {
        QList<const CatalogueCountry *> ordered;
        for (const CatalogueCountry &c : m_countries)
            ordered.append(&c);
        QHash<const CatalogueCountry *, QString> key;
        for (const CatalogueCountry *c : ordered)
            key.insert(c, sortKey(language == Language::Dutch ? c->nameDutch : c->nameEnglish));
        std::stable_sort(ordered.begin(), ordered.end(),
                         [&](const CatalogueCountry *a, const CatalogueCountry *b) { return key[a] < key[b]; });
        ListBody body = TagWriter::makeBody(TagWriter::renderCountryList(ordered, language));
        (language == Language::Dutch ? m_countryListDutch : m_countryListEnglish) = std::move(body);
    }

    // Every list in one file, so that serving threads send them without copying.
    std::vector<ListBody *> lists;
    for (ListBody &list : m_countryLists)
        lists.push_back(&list);
    lists.push_back(&m_countryListDutch);
    lists.push_back(&m_countryListEnglish);
    std::vector<const QByteArray *> bodies;
    for (const ListBody *list : lists) {
        bodies.push_back(&list->body);
        bodies.push_back(&list->gzip);
    }
    std::vector<qint64> offsets;
    if (const auto file = BodyFile::write(bodies, &offsets)) {
        for (std::size_t i = 0; i < lists.size(); ++i) {
            lists[i]->file = file;
            lists[i]->bodyAt = offsets[2 * i];
            lists[i]->gzipAt = offsets[2 * i + 1];
        }
    }
}

QList<const CatalogueStation *> MemorySnapshot::topOfCountry(int country, int limit) const
{
    QList<const CatalogueStation *> out;
    if (country < 0)
        return popular(limit);
    for (int i : m_countryStations[country]) {
        if (out.size() >= limit)
            break;
        out.append(&m_stations[i]);
    }
    return out;
}

// Words must all occur in the name or the tags. The longest word is looked for in the
// whole haystack at once (one Boyer-Moore pass over a few megabytes), the others only in
// the segments it found. Ranking: a word at the start of the name counts most, then at the
// start of a word in the name, then anywhere in the name, then only in the tags; equal
// scores keep the rank order (most played, most voted).
QList<const CatalogueStation *> MemorySnapshot::search(const QString &words, const QString &countryKey, int limit) const
{
    if (limit <= 0)
        return {};
    int country = -1;
    QString key = countryKey.trimmed().toLower();
    if (key.endsWith(QLatin1String(".txt")))
        key.chop(4);
    if (!key.isEmpty()) {
        const auto it = m_countryIndexByKey.constFind(key);
        if (it == m_countryIndexByKey.constEnd())
            return {};
        country = *it;
    }

    QStringList terms;
    for (const QString &w : TagWriter::cleanValue(words).toCaseFolded().split(QLatin1Char(' '), Qt::SkipEmptyParts))
        terms.append(w);
    if (terms.isEmpty())
        return topOfCountry(country, limit);
    std::stable_sort(terms.begin(), terms.end(),
                     [](const QString &a, const QString &b) { return a.size() > b.size(); });
    terms.removeDuplicates();
    // The work per candidate grows with the words; the longest say the most.
    if (terms.size() > kMaxSearchTerms)
        terms.resize(kMaxSearchTerms);

    struct Hit
    {
        int score;
        int station;
    };
    std::vector<Hit> hits;
    const QStringView hay(m_haystack);
    const QStringMatcher matcher(terms.first(), Qt::CaseSensitive);
    int lastStation = -1;
    qsizetype from = 0;
    while (true) {
        const qsizetype pos = matcher.indexIn(hay, from);
        if (pos < 0)
            break;
        const auto upper = std::upper_bound(m_segmentStart.begin(), m_segmentStart.end(), pos);
        const int station = int(upper - m_segmentStart.begin()) - 1;
        // Continue after this station's segment: one hit per station is enough.
        from = m_segmentStart[station + 1];
        if (station == lastStation)
            continue;
        lastStation = station;
        if (country >= 0 && m_stationCountry[station] != country)
            continue;
        const QStringView segment =
            hay.mid(m_segmentStart[station], m_segmentStart[station + 1] - m_segmentStart[station]);
        const QStringView name = segment.left(m_nameLength[station]);
        int score = 0;
        bool all = true;
        for (const QString &term : terms) {
            const qsizetype inName = name.indexOf(term);
            if (inName == 0) {
                score += 4;
            } else if (inName > 0) {
                const QChar before = name.at(inName - 1);
                score += before.isLetterOrNumber() ? 2 : 3;
            } else if (segment.indexOf(term, m_nameLength[station]) >= 0) {
                score += 1;
            } else {
                all = false;
                break;
            }
        }
        if (all)
            hits.push_back({score, station});
    }
    const auto better = [](const Hit &a, const Hit &b) {
        return a.score != b.score ? a.score > b.score : a.station < b.station;
    };
    const size_t n = std::min<size_t>(size_t(limit), hits.size());
    std::partial_sort(hits.begin(), hits.begin() + qsizetype(n), hits.end(), better);
    QList<const CatalogueStation *> out;
    out.reserve(qsizetype(n));
    for (size_t i = 0; i < n; ++i)
        out.append(&m_stations[hits[i].station]);
    return out;
}

} // namespace

std::shared_ptr<const CatalogueSnapshot> buildSnapshot(QList<CatalogueStation> stations,
                                                       const QList<CatalogueCountry> &countries, int maxListChars)
{
    return std::make_shared<const MemorySnapshot>(std::move(stations), countries, maxListChars);
}
