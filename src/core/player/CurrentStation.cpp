#include "player/CurrentStation.h"

CurrentStation::CurrentStation(Station station, Country country, QString language, QObject *parent)
    : QObject(parent)
    , m_station(std::move(station))
    , m_country(std::move(country))
    , m_language(std::move(language))
{ }

void CurrentStation::setStation(const Station &station)
{
    if (station == m_station)
        return;
    m_station = station;
    Q_EMIT stationChanged();
}

void CurrentStation::setCountry(const Country &country)
{
    if (country == m_country)
        return;
    m_country = country;
    Q_EMIT countryChanged();
}

void CurrentStation::setLanguage(const QString &language)
{
    if (language == m_language)
        return;
    m_language = language;
    Q_EMIT languageChanged();
}
