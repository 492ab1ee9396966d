#pragma once

#include <QObject>
#include <QString>

// The station the program is on, the country whose list it shows and the language of
// its interface: one place that the window, the tray, the desktop service, the reports,
// the recorder and the last-station memory read, and whose signals tell them of a
// change. Each setter announces once, and only what really changed.
class CurrentStation final : public QObject
{
    Q_OBJECT
public:
    struct Station
    {
        QString name; // shown as ZenderNaam
        QString address; // the stream address the player was given
        QString site; // the station's home page, shown as RadioUrl

        bool operator==(const Station &) const = default;
    };
    struct Country
    {
        QString name; // shown as TaalGeselecteerdTekst
        QString listFile; // the station list's file name, shown as TaalGeselecteerd

        bool operator==(const Country &) const = default;
    };

    CurrentStation(Station station, Country country, QString language, QObject *parent = nullptr);

    const Station &station() const { return m_station; }
    QString name() const { return m_station.name; }
    QString address() const { return m_station.address; }
    QString site() const { return m_station.site; }
    const Country &country() const { return m_country; }
    QString language() const { return m_language; }

    void setStation(const Station &station);
    // A step of a path that sets one part at a time (the restore, the search, the chooser).
    void setName(const QString &name) { setStation({name, m_station.address, m_station.site}); }
    void setAddress(const QString &address) { setStation({m_station.name, address, m_station.site}); }
    void setSite(const QString &site) { setStation({m_station.name, m_station.address, site}); }
    void setCountry(const Country &country);
    void setLanguage(const QString &language);

Q_SIGNALS:
    void stationChanged();
    void countryChanged();
    void languageChanged();

private:
    Station m_station;
    Country m_country;
    QString m_language;
};
