#include "catalogue/Importer.h"

#include "catalogue/CountryNames.h"
#include "catalogue/StationDigest.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QUrl>
#include <QUuid>

namespace Importer {

QString cleanText(const QString &text)
{
    QString out;
    out.reserve(text.size());
    bool blank = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool space =
            u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || u == 0x2028 || u == 0x2029 || c.isSpace();
        if (space) {
            blank = !out.isEmpty();
            continue;
        }
        if (blank)
            out += QLatin1Char(' ');
        blank = false;
        out += c;
    }
    return out;
}

bool isUsableStreamUrl(const QString &url)
{
    if (url.isEmpty() || url.size() > 2000)
        return false;
    for (const QChar c : url) {
        if (c.unicode() <= 0x20 || c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('"'))
            return false;
    }
    const QUrl u(url, QUrl::StrictMode);
    if (!u.isValid())
        return false;
    const QString scheme = u.scheme();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !u.host().isEmpty();
}

namespace {

// Deterministic identity for records without one (the CSV's DE/US rows), so a re-import
// gives the same station the same uuid.
const QUuid kStationNamespace(0x5d1b6f4e, 0x8c1a, 0x4f0e, 0x9a, 0x52, 0x1c, 0x3b, 0x7e, 0x0d, 0x44, 0x21);

QString cleanHomepage(const QString &homepage)
{
    const QString h = cleanText(homepage);
    if (h.isEmpty())
        return {};
    for (const QChar c : h) {
        if (c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('"') || c == QLatin1Char(' '))
            return {};
    }
    return h;
}

} // namespace

bool normalise(CatalogueStation &s)
{
    s.url = s.url.trimmed();
    if (!isUsableStreamUrl(s.url))
        return false;
    s.countryCode = s.countryCode.trimmed().toUpper();
    if (s.countryCode.size() != 2 || !s.countryCode.at(0).isLetter() || !s.countryCode.at(1).isLetter()
        || s.countryCode.at(0).unicode() > 'Z' || s.countryCode.at(1).unicode() > 'Z')
        return false;
    s.name = cleanText(s.name);
    if (s.name.isEmpty())
        return false;
    s.homepage = cleanHomepage(s.homepage);
    s.logoUrl = cleanText(s.logoUrl);
    if (s.logoUrl.size() > 2048)
        s.logoUrl.clear();
    s.tags = cleanText(s.tags);
    s.codec = cleanText(s.codec).toUpper();
    s.uuid = cleanText(s.uuid);
    if (s.uuid.isEmpty())
        s.uuid = QUuid::createUuidV5(kStationNamespace, s.countryCode + QLatin1Char(' ') + s.url)
                     .toString(QUuid::WithoutBraces);
    s.bitrate = std::max(0, s.bitrate);
    s.playCount = std::max<qint64>(0, s.playCount);
    s.urlMd5 = stationUrlMd5(s.url);
    return true;
}

Result readJson(const QByteArray &data)
{
    Result r;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError) {
        r.status = {StoreError::BadInput, QStringLiteral("JSON: %1 at %2").arg(error.errorString()).arg(error.offset)};
        return r;
    }
    QJsonArray array;
    if (doc.isArray())
        array = doc.array();
    else if (doc.isObject() && doc.object().value(QLatin1String("stations")).isArray())
        array = doc.object().value(QLatin1String("stations")).toArray();
    else {
        r.status = {StoreError::BadInput, QStringLiteral("JSON: not an array of stations")};
        return r;
    }
    return readJsonArray(array);
}

Result readJsonArray(const QJsonArray &array)
{
    Result r;
    QSet<QString> countriesSeen;
    r.stations.reserve(array.size());
    for (const QJsonValue &v : array) {
        const QJsonObject o = v.toObject();
        CatalogueStation s;
        s.uuid = o.value(QLatin1String("stationuuid")).toString();
        s.name = o.value(QLatin1String("name")).toString();
        s.url = o.value(QLatin1String("url_resolved")).toString().trimmed();
        if (s.url.isEmpty())
            s.url = o.value(QLatin1String("url")).toString();
        s.homepage = o.value(QLatin1String("homepage")).toString();
        s.logoUrl = o.value(QLatin1String("favicon")).toString();
        s.tags = o.value(QLatin1String("tags")).toString();
        s.codec = o.value(QLatin1String("codec")).toString();
        s.bitrate = o.value(QLatin1String("bitrate")).toInt();
        s.votes = o.value(QLatin1String("votes")).toInt();
        const QString countryName = o.value(QLatin1String("country")).toString();
        s.countryCode = o.value(QLatin1String("countrycode")).toString();
        if (s.countryCode.trimmed().isEmpty())
            s.countryCode = CountryNames::codeForEnglishName(countryName);
        if (!normalise(s)) {
            ++r.skipped;
            continue;
        }
        if (!countriesSeen.contains(s.countryCode)) {
            countriesSeen.insert(s.countryCode);
            const CountryNames::Names names = CountryNames::namesFor(s.countryCode, cleanText(countryName));
            r.countries.append({s.countryCode, {}, names.dutch, names.english, 0});
        }
        r.stations.append(std::move(s));
    }
    return r;
}

namespace {

// RFC 4180: fields separated by commas, quoted when they hold commas, quotes or line
// breaks, quotes doubled inside quoted fields.
class CsvReader
{
public:
    explicit CsvReader(const QString &text)
        : m_text(text)
    { }
    bool atEnd() const { return m_pos >= m_text.size(); }
    QStringList readRecord()
    {
        QStringList fields;
        QString field;
        bool quoted = false;
        const qsizetype n = m_text.size();
        while (m_pos < n) {
            const QChar c = m_text.at(m_pos);
            if (quoted) {
                if (c == QLatin1Char('"')) {
                    if (m_pos + 1 < n && m_text.at(m_pos + 1) == QLatin1Char('"')) {
                        field += c;
                        m_pos += 2;
                        continue;
                    }
                    quoted = false;
                    ++m_pos;
                    continue;
                }
                field += c;
                ++m_pos;
                continue;
            }
            if (c == QLatin1Char('"') && field.isEmpty()) {
                quoted = true;
                ++m_pos;
            } else if (c == QLatin1Char(',')) {
                fields.append(field);
                field.clear();
                ++m_pos;
            } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
                ++m_pos;
                if (c == QLatin1Char('\r') && m_pos < n && m_text.at(m_pos) == QLatin1Char('\n'))
                    ++m_pos;
                break;
            } else {
                // Unquoted fields are cut at the next delimiter in one go.
                qsizetype end = m_pos;
                while (end < n) {
                    const QChar d = m_text.at(end);
                    if (d == QLatin1Char(',') || d == QLatin1Char('\n') || d == QLatin1Char('\r'))
                        break;
                    ++end;
                }
                field += QStringView(m_text).mid(m_pos, end - m_pos);
                m_pos = end;
            }
        }
        fields.append(field);
        return fields;
    }

private:
    const QString &m_text;
    qsizetype m_pos = 0;
};

} // namespace

Result readCsv(const QByteArray &data)
{
    Result r;
    QString text = QString::fromUtf8(data);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    CsvReader reader(text);
    const QStringList header = reader.readRecord();
    const auto column = [&](const char *name) {
        return header.indexOf(QLatin1String(name));
    };
    const int cCode = column("country_code"), cEn = column("country_name_en"), cNl = column("country_name_nl"),
              cName = column("name"), cUrl = column("url"), cHome = column("homepage"), cTags = column("tags"),
              cCodec = column("codec"), cBitrate = column("bitrate"), cVotes = column("votes"),
              cUuid = column("stationuuid");
    if (cCode < 0 || cName < 0 || cUrl < 0) {
        r.status = {StoreError::BadInput,
                    QStringLiteral("CSV: the header needs the columns country_code, name and url")};
        return r;
    }
    QHash<QString, int> countryIndex;
    while (!reader.atEnd()) {
        const QStringList f = reader.readRecord();
        if (f.size() == 1 && f.first().isEmpty())
            continue; // blank line
        const auto at = [&](int i) {
            return i >= 0 && i < f.size() ? f.at(i) : QString();
        };
        CatalogueStation s;
        s.countryCode = at(cCode);
        s.name = at(cName);
        s.url = at(cUrl);
        s.homepage = at(cHome);
        s.tags = at(cTags);
        s.codec = at(cCodec);
        s.bitrate = at(cBitrate).toInt();
        s.votes = at(cVotes).toInt();
        s.uuid = at(cUuid);
        if (!normalise(s)) {
            ++r.skipped;
            continue;
        }
        if (!countryIndex.contains(s.countryCode)) {
            countryIndex.insert(s.countryCode, int(r.countries.size()));
            const CountryNames::Names table = CountryNames::namesFor(s.countryCode, cleanText(at(cEn)));
            CatalogueCountry c {s.countryCode, {}, table.dutch, table.english, 0};
            // The file's Dutch name fills in for a code the built-in table lacks.
            if (c.nameDutch == c.nameEnglish && !cleanText(at(cNl)).isEmpty())
                c.nameDutch = cleanText(at(cNl));
            r.countries.append(c);
        }
        r.stations.append(std::move(s));
    }
    return r;
}

Result readData(const QByteArray &data)
{
    for (const char c : data) {
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t')
            continue;
        if (c == '[' || c == '{')
            return readJson(data);
        break;
    }
    if (data.startsWith("\xEF\xBB\xBF[") || data.startsWith("\xEF\xBB\xBF{"))
        return readJson(data.mid(3));
    return readCsv(data);
}

Result readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Result r;
        r.status = {StoreError::BadInput, QStringLiteral("%1: %2").arg(path, file.errorString())};
        return r;
    }
    Result r = readData(file.readAll());
    if (!r.status.ok())
        r.status.message = path + QLatin1String(": ") + r.status.message;
    return r;
}

Result merge(const QList<Result> &parts)
{
    Result out;
    QSet<QString> seen;
    QSet<QString> countriesSeen;
    for (const Result &part : parts) {
        out.skipped += part.skipped;
        for (const CatalogueCountry &c : part.countries) {
            if (!countriesSeen.contains(c.code)) {
                countriesSeen.insert(c.code);
                out.countries.append(c);
            }
        }
        for (const CatalogueStation &s : part.stations) {
            const QString key = s.countryCode + QLatin1Char(' ') + s.url;
            if (seen.contains(key)) {
                ++out.skipped;
                continue;
            }
            seen.insert(key);
            out.stations.append(s);
        }
    }
    return out;
}

} // namespace Importer
