#include "http/Pages.h"

#include <QUrl>

namespace Pages {

namespace {

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

QString tr(Language language, const char *dutch, const char *english)
{
    return QString::fromUtf8(language == Language::Dutch ? dutch : english);
}

QString languageName(Language language)
{
    return language == Language::Dutch ? QStringLiteral("Nederlands") : QStringLiteral("English");
}

QString encoded(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

// Only web addresses become links; anything else ("javascript:", odd schemes) is shown
// as text.
bool isWebAddress(const QString &url)
{
    return url.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
        || url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

QString shortened(const QString &text, int length)
{
    return text.size() <= length ? text : text.left(length - 1) + QChar(0x2026);
}

QString page(const QString &lang, const QString &title, const QString &body)
{
    return QStringLiteral("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">\n"
                          "<html lang=\"%1\"><head>\n"
                          "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n"
                          "<title>%2</title>\n"
                          "<style type=\"text/css\">\n"
                          "body { font-family: Verdana, Arial, sans-serif; font-size: 10pt; color: #222222; "
                          "background-color: #ffffff; margin: 8px; }\n"
                          "h1 { font-size: 15pt; color: #1d4e89; margin-bottom: 4px; }\n"
                          "h2 { font-size: 11pt; color: #1d4e89; margin-top: 14px; margin-bottom: 4px; }\n"
                          "a { color: #1d4e89; }\n"
                          "th { background-color: #e4ecf5; text-align: left; }\n"
                          ".muted { color: #6b6b6b; font-size: 8pt; }\n"
                          ".box { background-color: #f3f6fa; }\n"
                          "</style></head>\n<body>\n%3</body></html>\n")
        .arg(lang, esc(title), body);
}

QString homeLink(Language language)
{
    return QStringLiteral("<p class=\"muted\"><a href=\"index.php?wat=home&amp;lang=%1\">%2</a> &middot; "
                          "<a href=\"index.php?wat=over&amp;lang=%1\">%3</a></p>\n")
        .arg(encoded(languageName(language)), tr(language, "Startpagina", "Home"), tr(language, "Over", "About"));
}

QString countryName(const CatalogueSnapshot &snapshot, const QString &code, Language language)
{
    for (const CatalogueCountry *country : snapshot.countries()) {
        if (country->code == code)
            return language == Language::Dutch ? country->nameDutch : country->nameEnglish;
    }
    return code;
}

} // namespace

QByteArray reasonKey(ReportReason reason)
{
    switch (reason) {
    case ReportReason::NoSound:
        return "geengeluid";
    case ReportReason::WrongStation:
        return "verkeerdezender";
    case ReportReason::StreamMoved:
        return "verhuisd";
    case ReportReason::Other:
        break;
    }
    return "anders";
}

std::optional<ReportReason> reasonFromKey(const QString &key)
{
    for (ReportReason reason :
         {ReportReason::NoSound, ReportReason::WrongStation, ReportReason::StreamMoved, ReportReason::Other}) {
        if (key == QLatin1String(reasonKey(reason)))
            return reason;
    }
    return std::nullopt;
}

QString reasonText(ReportReason reason, Language language)
{
    switch (reason) {
    case ReportReason::NoSound:
        return tr(language, "Geen geluid", "No sound");
    case ReportReason::WrongStation:
        return tr(language, "Verkeerde zender", "Wrong station");
    case ReportReason::StreamMoved:
        return tr(language, "Stream is verhuisd", "Stream has moved");
    case ReportReason::Other:
        break;
    }
    return tr(language, "Iets anders", "Something else");
}

QByteArray home(Language language, const CatalogueSnapshot &snapshot, const QList<BrokenReport> &handledReports)
{
    QString body;
    body += QStringLiteral("<h1>Norvale Internet Radio</h1>\n");
    body +=
        QStringLiteral("<p>%1</p>\n")
            .arg(tr(language, "%1 zenders uit %2 landen. Kies een land of zoek een zender in het venster hiernaast.",
                    "%1 stations from %2 countries. Choose a country or search for a station in the window "
                    "beside this page."))
            .arg(snapshot.stationCount())
            .arg(snapshot.countries().size());

    const QList<const CatalogueStation *> popular = snapshot.popular(15);
    // Until anything has been played, "popular" means most voted at radio-browser.
    const bool played = !popular.isEmpty() && popular.first()->playCount > 0;
    body += QStringLiteral("<h2>%1</h2>\n")
                .arg(played ? tr(language, "Nu populair", "Popular now")
                            : tr(language, "Populair bij luisteraars", "Popular with listeners"));
    if (popular.isEmpty()) {
        body += QStringLiteral("<p>%1</p>\n")
                    .arg(tr(language, "Er is nog niets beluisterd.", "Nothing has been played yet."));
    } else {
        body += QStringLiteral("<table cellspacing=\"0\" cellpadding=\"3\" width=\"100%\">\n<tr><th>#</th><th>%1</th>"
                               "<th>%2</th><th>%3</th></tr>\n")
                    .arg(tr(language, "Zender", "Station"), tr(language, "Land", "Country"),
                         played ? tr(language, "Keer beluisterd", "Plays") : tr(language, "Stemmen", "Votes"));
        int rank = 0;
        for (const CatalogueStation *station : popular) {
            ++rank;
            const QString name = esc(shortened(station->name, 60));
            const QString shown = isWebAddress(station->homepage)
                ? QStringLiteral("<a href=\"%1\">%2</a>").arg(esc(station->homepage), name)
                : name;
            // One arg() call: chained calls would substitute "%2F" inside a home page address.
            body += QStringLiteral("<tr%1><td>%2</td><td>%3</td><td>%4</td><td>%5</td></tr>\n")
                        .arg(rank % 2 ? QString() : QStringLiteral(" class=\"box\""), QString::number(rank), shown,
                             esc(countryName(snapshot, station->countryCode, language)),
                             QString::number(played ? station->playCount : station->votes));
        }
        body += QStringLiteral("</table>\n");
    }

    if (!handledReports.isEmpty()) {
        body += QStringLiteral("<h2>%1</h2>\n<p class=\"muted\">%2</p>\n<ul>\n")
                    .arg(tr(language, "Onlangs verholpen meldingen", "Recently handled reports"),
                         tr(language, "Dank aan iedereen die een storing meldt: zo blijft de lijst goed.",
                            "Thanks to everyone who reports a problem: that keeps the list sound."));
        for (const BrokenReport &report : handledReports) {
            body += QStringLiteral("<li>%1 &ndash; %2 <span class=\"muted\">(%3)</span></li>\n")
                        .arg(esc(shortened(report.stationName.isEmpty() ? report.url : report.stationName, 60)),
                             esc(reasonText(report.reason, language)),
                             esc(report.handledAt.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
        }
        body += QStringLiteral("</ul>\n");
    }
    body += homeLink(language);
    return page(language == Language::Dutch ? QStringLiteral("nl") : QStringLiteral("en"),
                QStringLiteral("Norvale Internet Radio"), body)
        .toUtf8();
}

QByteArray about(Language language, const CatalogueSnapshot &snapshot)
{
    QString body;
    body += QStringLiteral("<h1>%1</h1>\n")
                .arg(tr(language, "Over Norvale Internet Radio", "About Norvale Internet Radio"));
    body += QStringLiteral("<p>%1</p>\n")
                .arg(tr(language,
                        "Norvale Internet Radio speelt radiozenders van over de hele wereld. Kies een land, klik op "
                        "een zender en luister; bewaar je favorieten, neem een uitzending op en meld een zender die "
                        "niet werkt.",
                        "Norvale Internet Radio plays radio stations from all over the world. Choose a country, "
                        "click a station and listen; keep your favourites, record a broadcast and report a station "
                        "that does not work."));
    body += QStringLiteral("<h2>%1</h2>\n<p>%2</p>\n")
                .arg(tr(language, "De zenderlijst", "The station directory"))
                .arg(tr(language,
                        "De zenderlijst bevat nu %1 zenders uit %2 landen. Zenders staan op volgorde van hoe vaak "
                        "ze beluisterd worden.",
                        "The directory now holds %1 stations from %2 countries. Stations are listed by how often "
                        "they are played."))
                .arg(snapshot.stationCount())
                .arg(snapshot.countries().size());
    body += QStringLiteral("<p>%1 <a href=\"https://www.radio-browser.info/\">radio-browser.info</a>%2</p>\n")
                .arg(tr(language, "De gegevens van de zenders komen van", "The station data comes from"),
                     tr(language, ", een open database die door luisteraars wordt bijgehouden. Hartelijk dank!",
                        ", an open database kept up by listeners. Many thanks!"));
    body += homeLink(language);
    return page(language == Language::Dutch ? QStringLiteral("nl") : QStringLiteral("en"),
                tr(language, "Over", "About"), body)
        .toUtf8();
}

QByteArray reportForm(Language language, const ReportSubject &subject)
{
    QString body;
    body += QStringLiteral("<h1>%1</h1>\n").arg(tr(language, "Storing melden", "Report a problem"));
    if (subject.url.isEmpty()) {
        body += QStringLiteral("<p>%1</p>\n")
                    .arg(tr(language, "Er speelt geen zender, dus er valt niets te melden.",
                            "No station is playing, so there is nothing to report."));
    } else {
        body += QStringLiteral("<table cellspacing=\"0\" cellpadding=\"3\">\n"
                               "<tr><td><b>%1</b></td><td>%2</td></tr>\n"
                               "<tr><td><b>%3</b></td><td>%4</td></tr>\n"
                               "<tr><td><b>%5</b></td><td>%6</td></tr>\n</table>\n")
                    .arg(tr(language, "Zender", "Station"), esc(shortened(subject.stationName, 200)),
                         tr(language, "Land", "Country"), esc(shortened(subject.countryName, 100)),
                         tr(language, "Adres", "Address"), esc(shortened(subject.url, 300)));
        body += QStringLiteral("<h2>%1</h2>\n<ul>\n").arg(tr(language, "Wat is er mis?", "What is wrong?"));
        const QString common =
            QStringLiteral("&amp;zenderurl=%1&amp;zendernaam=%2&amp;zenderland=%3")
                .arg(encoded(subject.url), encoded(subject.stationName), encoded(subject.countryName));
        for (ReportReason reason :
             {ReportReason::NoSound, ReportReason::WrongStation, ReportReason::StreamMoved, ReportReason::Other}) {
            body += QStringLiteral("<li><a href=\"index.php?wat=melding&amp;lang=%1&amp;reden=%2%3\">%4</a></li>\n")
                        .arg(encoded(languageName(language)), QString::fromLatin1(reasonKey(reason)), common,
                             esc(reasonText(reason, language)));
        }
        body += QStringLiteral("</ul>\n<p class=\"muted\">%1</p>\n")
                    .arg(tr(language, "Eén klik op een reden verstuurt de melding.",
                            "One click on a reason sends the report."));
    }
    body += homeLink(language);
    return page(language == Language::Dutch ? QStringLiteral("nl") : QStringLiteral("en"),
                tr(language, "Storing melden", "Report a problem"), body)
        .toUtf8();
}

QByteArray reportThanks(Language language, const ReportSubject &subject, ReportReason reason)
{
    QString body;
    body += QStringLiteral("<h1>%1</h1>\n").arg(tr(language, "Bedankt!", "Thank you!"));
    body += QStringLiteral("<p>%1</p>\n<p><b>%2</b> &ndash; %3</p>\n")
                .arg(tr(language, "Je melding is opgeslagen. We kijken ernaar.",
                        "Your report has been stored. We will look into it."),
                     esc(shortened(subject.stationName.isEmpty() ? subject.url : subject.stationName, 200)),
                     esc(reasonText(reason, language)));
    body += homeLink(language);
    return page(language == Language::Dutch ? QStringLiteral("nl") : QStringLiteral("en"),
                tr(language, "Bedankt", "Thank you"), body)
        .toUtf8();
}

QByteArray reportRefused(Language language, Refusal why)
{
    QString body;
    body += QStringLiteral("<h1>%1</h1>\n").arg(tr(language, "Melding niet opgeslagen", "Report not stored"));
    QString text;
    switch (why) {
    case Refusal::TooMany:
        text = tr(language,
                  "Je hebt kort na elkaar erg veel meldingen gestuurd. Probeer het over een paar minuten opnieuw.",
                  "You sent a great many reports in a short time. Please try again in a few minutes.");
        break;
    case Refusal::UnknownStation:
        text = tr(language,
                  "Deze zender staat niet in de zenderlijst; alleen zenders uit de lijst kunnen worden "
                  "gemeld.",
                  "This station is not in the directory; only stations of the directory can be reported.");
        break;
    case Refusal::Invalid:
        text = tr(language, "Deze melding is onvolledig of ongeldig.", "This report is incomplete or not valid.");
        break;
    }
    body += QStringLiteral("<p>%1</p>\n").arg(text);
    body += homeLink(language);
    return page(language == Language::Dutch ? QStringLiteral("nl") : QStringLiteral("en"),
                tr(language, "Melding", "Report"), body)
        .toUtf8();
}

QByteArray firstRun(std::optional<Language> language)
{
    auto section = [](Language l) {
        return QStringLiteral("<h1>%1</h1>\n<p>%2</p>\n<p>%3</p>\n")
            .arg(tr(l, "Welkom bij Norvale Internet Radio!", "Welcome to Norvale Internet Radio!"),
                 tr(l,
                    "Duizenden radiozenders uit de hele wereld, op één klik afstand. Druk op <b>Start</b> om te "
                    "beginnen, zoek naar een oude versie om je instellingen en favorieten over te nemen, of kies "
                    "eerst je eigen instellingen.",
                    "Thousands of radio stations from all over the world, one click away. Press <b>Start</b> to "
                    "begin, look for an older version to take over your settings and favourites, or choose your "
                    "own settings first."),
                 tr(l, "Veel luisterplezier!", "Enjoy listening!"));
    };
    QString body;
    if (language) {
        body = section(*language);
    } else {
        body = section(Language::Dutch) + QStringLiteral("<hr>\n") + section(Language::English);
    }
    return page(language == Language::English ? QStringLiteral("en") : QStringLiteral("nl"),
                QStringLiteral("Norvale Internet Radio"), body)
        .toUtf8();
}

} // namespace Pages
