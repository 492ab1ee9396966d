#include "catalogue/CountryNames.h"

#include <QHash>

namespace CountryNames {
namespace {

struct Entry
{
    const char *code;
    const char *english;
    const char *dutch;
};

// ISO 3166-1 short names in English and Dutch (Debian iso-codes), plus the local demo.
constexpr Entry kEntries[] = {
    {"AD", "Andorra", "Andorra"},
    {"AE", "United Arab Emirates", "Verenigde Arabische Emiraten"},
    {"AF", "Afghanistan", "Afghanistan"},
    {"AG", "Antigua and Barbuda", "Antigua en Barbuda"},
    {"AI", "Anguilla", "Anguilla"},
    {"AL", "Albania", "Albanië"},
    {"AM", "Armenia", "Armenië"},
    {"AO", "Angola", "Angola"},
    {"AR", "Argentina", "Argentinië"},
    {"AS", "American Samoa", "Amerikaans-Samoa"},
    {"AT", "Austria", "Oostenrijk"},
    {"AU", "Australia", "Australië"},
    {"AW", "Aruba", "Aruba"},
    {"AZ", "Azerbaijan", "Azerbeidzjan"},
    {"BA", "Bosnia and Herzegovina", "Bosnië en Herzegovina"},
    {"BB", "Barbados", "Barbados"},
    {"BD", "Bangladesh", "Bangladesh"},
    {"BE", "Belgium", "België"},
    {"BF", "Burkina Faso", "Burkina Faso"},
    {"BG", "Bulgaria", "Bulgarije"},
    {"BH", "Bahrain", "Bahrein"},
    {"BI", "Burundi", "Burundi"},
    {"BM", "Bermuda", "Bermuda"},
    {"BN", "Brunei Darussalam", "Brunei"},
    {"BO", "Bolivia", "Bolivia"},
    {"BQ", "Bonaire, Sint Eustatius and Saba", "Bonaire, Sint Eustatius en Saba"},
    {"BR", "Brazil", "Brazilië"},
    {"BS", "Bahamas", "Bahama's"},
    {"BW", "Botswana", "Botswana"},
    {"BY", "Belarus", "Wit-Rusland"},
    {"CA", "Canada", "Canada"},
    {"CD", "Congo, The Democratic Republic of the", "Congo, Democratische Republiek"},
    {"CF", "Central African Republic", "Centraal-Afrikaanse Republiek"},
    {"CG", "Congo", "Congo"},
    {"CH", "Switzerland", "Zwitserland"},
    {"CI", "Côte d'Ivoire", "Ivoorkust"},
    {"CK", "Cook Islands", "Cookeilanden"},
    {"CL", "Chile", "Chili"},
    {"CN", "China", "China"},
    {"CO", "Colombia", "Colombia"},
    {"CR", "Costa Rica", "Costa Rica"},
    {"CU", "Cuba", "Cuba"},
    {"CV", "Cabo Verde", "Kaapverdië"},
    {"CW", "Curaçao", "Curaçao"},
    {"CY", "Cyprus", "Cyprus"},
    {"CZ", "Czechia", "Tsjechië"},
    {"DE", "Germany", "Duitsland"},
    {"DK", "Denmark", "Denemarken"},
    {"DM", "Dominica", "Dominica"},
    {"DO", "Dominican Republic", "Dominicaanse Republiek"},
    {"DZ", "Algeria", "Algerije"},
    {"EC", "Ecuador", "Ecuador"},
    {"EE", "Estonia", "Estland"},
    {"EG", "Egypt", "Egypte"},
    {"ES", "Spain", "Spanje"},
    {"FI", "Finland", "Finland"},
    {"FJ", "Fiji", "Fiji"},
    {"FK", "Falkland Islands (Malvinas)", "Falklandeilanden (Malvinas)"},
    {"FO", "Faroe Islands", "Faeröer"},
    {"FR", "France", "Frankrijk"},
    {"GA", "Gabon", "Gabon"},
    {"GB", "United Kingdom", "Verenigd Koninkrijk"},
    {"GD", "Grenada", "Grenada"},
    {"GE", "Georgia", "Georgia"},
    {"GF", "French Guiana", "Frans-Guyana"},
    {"GH", "Ghana", "Ghana"},
    {"GI", "Gibraltar", "Gibraltar"},
    {"GL", "Greenland", "Groenland"},
    {"GM", "Gambia", "Gambia"},
    {"GN", "Guinea", "Guinee"},
    {"GP", "Guadeloupe", "Guadeloupe"},
    {"GR", "Greece", "Griekenland"},
    {"GT", "Guatemala", "Guatemala"},
    {"GU", "Guam", "Guam"},
    {"GY", "Guyana", "Guyana"},
    {"HK", "Hong Kong", "Hongkong"},
    {"HN", "Honduras", "Honduras"},
    {"HR", "Croatia", "Kroatië"},
    {"HT", "Haiti", "Haïti"},
    {"HU", "Hungary", "Hongarije"},
    {"ID", "Indonesia", "Indonesië"},
    {"IE", "Ireland", "Ierland"},
    {"IL", "Israel", "Israël"},
    {"IM", "Isle of Man", "Eiland Man"},
    {"IN", "India", "India"},
    {"IQ", "Iraq", "Irak"},
    {"IR", "Iran", "Iran"},
    {"IS", "Iceland", "IJsland"},
    {"IT", "Italy", "Italië"},
    {"JM", "Jamaica", "Jamaica"},
    {"JO", "Jordan", "Jordanië"},
    {"JP", "Japan", "Japan"},
    {"KE", "Kenya", "Kenia"},
    {"KG", "Kyrgyzstan", "Kirgizië"},
    {"KH", "Cambodia", "Cambodja"},
    {"KN", "Saint Kitts and Nevis", "Saint Kitts en Nevis"},
    {"KP", "North Korea", "Noord-Korea"},
    {"KR", "South Korea", "Zuid-Korea"},
    {"KW", "Kuwait", "Koeweit"},
    {"KY", "Cayman Islands", "Kaaimaneilanden"},
    {"KZ", "Kazakhstan", "Kazachstan"},
    {"LB", "Lebanon", "Libanon"},
    {"LC", "Saint Lucia", "Saint Lucia"},
    {"LI", "Liechtenstein", "Liechtenstein"},
    {"LK", "Sri Lanka", "Sri Lanka"},
    {"LT", "Lithuania", "Litouwen"},
    {"LU", "Luxembourg", "Luxemburg"},
    {"LV", "Latvia", "Letland"},
    {"LY", "Libya", "Libië"},
    {"MA", "Morocco", "Marokko"},
    {"MC", "Monaco", "Monaco"},
    {"MD", "Moldova", "Moldavië"},
    {"ME", "Montenegro", "Montenegro"},
    {"MG", "Madagascar", "Madagaskar"},
    {"MK", "North Macedonia", "Noord-Macedonië"},
    {"ML", "Mali", "Mali"},
    {"MM", "Myanmar", "Myanmar"},
    {"MN", "Mongolia", "Mongolië"},
    {"MO", "Macao", "Macau"},
    {"MQ", "Martinique", "Martinique"},
    {"MT", "Malta", "Malta"},
    {"MU", "Mauritius", "Mauritius"},
    {"MV", "Maldives", "Maldiven"},
    {"MW", "Malawi", "Malawi"},
    {"MX", "Mexico", "Mexico"},
    {"MY", "Malaysia", "Maleisië"},
    {"MZ", "Mozambique", "Mozambique"},
    {"NA", "Namibia", "Namibië"},
    {"NC", "New Caledonia", "Nieuw-Caledonië"},
    {"NG", "Nigeria", "Nigeria"},
    {"NI", "Nicaragua", "Nicaragua"},
    {"NL", "Netherlands", "Nederland"},
    {"NO", "Norway", "Noorwegen"},
    {"NP", "Nepal", "Nepal"},
    {"NZ", "New Zealand", "Nieuw-Zeeland"},
    {"OM", "Oman", "Oman"},
    {"PA", "Panama", "Panama"},
    {"PE", "Peru", "Peru"},
    {"PG", "Papua New Guinea", "Papoea-Nieuw-Guinea"},
    {"PH", "Philippines", "Filipijnen"},
    {"PK", "Pakistan", "Pakistan"},
    {"PL", "Poland", "Polen"},
    {"PM", "Saint Pierre and Miquelon", "Saint-Pierre en Miquelon"},
    {"PR", "Puerto Rico", "Puerto Rico"},
    {"PS", "Palestine, State of", "Palestina, Staat"},
    {"PT", "Portugal", "Portugal"},
    {"PY", "Paraguay", "Paraguay"},
    {"QA", "Qatar", "Qatar"},
    {"RE", "Réunion", "Réunion"},
    {"RO", "Romania", "Roemenië"},
    {"RS", "Serbia", "Servië"},
    {"RU", "Russian Federation", "Rusland"},
    {"RW", "Rwanda", "Rwanda"},
    {"SA", "Saudi Arabia", "Saoedi-Arabië"},
    {"SC", "Seychelles", "Seychellen"},
    {"SD", "Sudan", "Soedan"},
    {"SE", "Sweden", "Zweden"},
    {"SG", "Singapore", "Singapore"},
    {"SH", "Saint Helena, Ascension and Tristan da Cunha", "Sint-Helena, Ascension en Tristan da Cunha"},
    {"SI", "Slovenia", "Slovenië"},
    {"SK", "Slovakia", "Slowakije"},
    {"SL", "Sierra Leone", "Sierra Leone"},
    {"SM", "San Marino", "San Marino"},
    {"SN", "Senegal", "Senegal"},
    {"SR", "Suriname", "Suriname"},
    {"SS", "South Sudan", "Zuid-Soedan"},
    {"SV", "El Salvador", "El Salvador"},
    {"SY", "Syria", "Syrië"},
    {"TC", "Turks and Caicos Islands", "Turks- en Caicoseilanden"},
    {"TG", "Togo", "Togo"},
    {"TH", "Thailand", "Thailand"},
    {"TJ", "Tajikistan", "Tadzjikistan"},
    {"TM", "Turkmenistan", "Turkmenistan"},
    {"TN", "Tunisia", "Tunesië"},
    {"TO", "Tonga", "Tonga"},
    {"TR", "Türkiye", "Turkije"},
    {"TT", "Trinidad and Tobago", "Trinidad en Tobago"},
    {"TW", "Taiwan", "Taiwan"},
    {"TZ", "Tanzania", "Tanzania"},
    {"UA", "Ukraine", "Oekraïne"},
    {"UG", "Uganda", "Oeganda"},
    {"UM", "United States Minor Outlying Islands", "Kleine afgelegen eilanden van de Verenigde Staten"},
    {"US", "United States", "Verenigde Staten"},
    {"UY", "Uruguay", "Uruguay"},
    {"UZ", "Uzbekistan", "Oezbekistan"},
    {"VA", "Holy See (Vatican City State)", "Vaticaanstad, Staat"},
    {"VC", "Saint Vincent and the Grenadines", "Saint Vincent en de Grenadines"},
    {"VE", "Venezuela", "Venezuela"},
    {"VI", "Virgin Islands, U.S.", "Maagdeneilanden, Amerikaanse"},
    {"VN", "Vietnam", "Vietnam"},
    {"VU", "Vanuatu", "Vanuatu"},
    {"XK", "Kosovo", "Kosovo"},
    {"YE", "Yemen", "Jemen"},
    {"ZA", "South Africa", "Zuid-Afrika"},
    {"ZM", "Zambia", "Zambia"},
    {"ZW", "Zimbabwe", "Zimbabwe"},
    {"ZZ", "Local demo", "Lokale demo"},
};

struct Tables
{
    QHash<QString, Names> byCode;
    QHash<QString, QString> codeByEnglish;
};

const Tables &tables()
{
    static const Tables t = [] {
        Tables r;
        for (const Entry &e : kEntries) {
            const QString code = QString::fromLatin1(e.code);
            const Names names {QString::fromUtf8(e.english), QString::fromUtf8(e.dutch)};
            r.byCode.insert(code, names);
            r.codeByEnglish.insert(names.english.toCaseFolded(), code);
        }
        return r;
    }();
    return t;
}

} // namespace

Names namesFor(const QString &code, const QString &fallbackEnglish)
{
    const auto it = tables().byCode.constFind(code.toUpper());
    if (it != tables().byCode.constEnd())
        return *it;
    const QString name = fallbackEnglish.trimmed().isEmpty() ? code.toUpper() : fallbackEnglish.trimmed();
    return {name, name};
}

QString codeForEnglishName(const QString &englishName)
{
    QString key = englishName.trimmed().toCaseFolded();
    if (key.startsWith(QLatin1String("the "))) // "The Netherlands"
        key = key.mid(4).trimmed();
    return tables().codeByEnglish.value(key);
}

QString asciiKey(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString key;
    key.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        const ushort u = c.unicode();
        if ((u >= 'a' && u <= 'z') || (u >= '0' && u <= '9'))
            key.append(c);
        else if (u >= 'A' && u <= 'Z')
            key.append(QChar(u + ('a' - 'A')));
    }
    return key;
}

QString bestandFor(const QString &code, const QString &englishName)
{
    const QString upper = code.toUpper();
    if (upper == QLatin1String("NL"))
        return QStringLiteral("holland.txt");
    if (upper == QLatin1String(kLocalDemoCode))
        return QStringLiteral("lokaal.txt");
    QString key = asciiKey(englishName);
    if (key.isEmpty())
        key = asciiKey(upper);
    return key + QLatin1String(".txt");
}

} // namespace CountryNames
