#include "catalogue/TagWriter.h"

#include "catalogue/Gzip.h"

#include <QCryptographicHash>

namespace TagWriter {

QString cleanValue(const QString &value)
{
    QString out = value;
    for (QChar &c : out) {
        const char16_t u = c.unicode();
        if (u == u'<')
            c = QChar(0x2039);
        else if (u == u'>')
            c = QChar(0x203A);
        else if (u < 0x20 || u == 0x7F || u == 0x2028 || u == 0x2029 || (u >= 0x80 && u < 0xA0))
            c = QLatin1Char(' ');
    }
    return out;
}

QString homepageForList(const QString &homepage)
{
    const QString trimmed = homepage.trimmed();
    for (const QLatin1String scheme : {QLatin1String("http://"), QLatin1String("https://")}) {
        if (trimmed.startsWith(scheme, Qt::CaseInsensitive))
            return trimmed.mid(scheme.size());
    }
    return trimmed;
}

QByteArray etagFor(const QByteArray &body)
{
    return '"' + QCryptographicHash::hash(body, QCryptographicHash::Sha1).toHex().left(32) + '"';
}

ListBody makeBody(QByteArray body)
{
    ListBody list;
    list.etag = etagFor(body);
    // Bodies of a few hundred bytes gain nothing worth the header.
    if (body.size() >= kGzipMinimum) {
        QByteArray packed = gzipCompress(body);
        if (!packed.isEmpty() && packed.size() < body.size()) {
            list.gzip = std::move(packed);
            list.gzipEtag = list.etag.chopped(1) + "-gz\"";
        }
    }
    list.body = std::move(body);
    return list;
}

namespace {

void appendField(QString &out, QLatin1String tag, const QString &value)
{
    out += QLatin1Char('<') + tag + QLatin1Char('>') + cleanValue(value) + QLatin1String("</") + tag + QLatin1Char('>');
}

} // namespace

QByteArray renderCountryList(const QList<const CatalogueCountry *> &countries, Language language)
{
    QString out;
    for (const CatalogueCountry *country : countries) {
        appendField(out, QLatin1String("naam"),
                    language == Language::Dutch ? country->nameDutch : country->nameEnglish);
        appendField(out, QLatin1String("bestand"), country->bestand);
        out += QLatin1Char('\n');
    }
    return out.toUtf8();
}

} // namespace TagWriter

QByteArray renderStationList(const QList<const CatalogueStation *> &stations, int maxChars)
{
    QString out;
    QString record;
    for (const CatalogueStation *station : stations) {
        record.clear();
        TagWriter::appendField(record, QLatin1String("naam"), station->name.trimmed());
        TagWriter::appendField(record, QLatin1String("url"), station->url);
        TagWriter::appendField(record, QLatin1String("homepage"), TagWriter::homepageForList(station->homepage));
        record += QLatin1Char('\n');
        if (maxChars > 0 && out.size() + record.size() > maxChars)
            break;
        out += record;
    }
    return out.toUtf8();
}

QByteArray renderStationList(const QList<const CatalogueStation *> &stations)
{
    return renderStationList(stations, 0);
}
