#include "player/LastStation.h"

#include "app/IniFile.h"
#include "player/CurrentStation.h"

#include <algorithm>

namespace {

const QString kOnthouden = QStringLiteral("Onthouden");
const QString kOnlineRadio = QStringLiteral("Online Radio");

enum Step {
    PlayWhenAsked, // "afspelen" = "1": the last station starts first, before anything else
    LandNaam,
    LandBestand,
    ZenderNaam,
    Volume,
    Url,
    PlayReport,
    StopWhenAsked,
    WindowOrTray,
    FavouritesPath,
};

} // namespace

LastStation::LastStation(QString programFolder, CurrentStation *station, Hooks hooks, QObject *parent)
    : QObject(parent)
    , m_programFolder(std::move(programFolder))
    , m_station(station)
    , m_hooks(std::move(hooks))
{
    static_assert(FavouritesPath + 1 == kStepCount);
    m_timer3.setInterval(kTimer3IntervalMs);
    connect(&m_timer3, &QTimer::timeout, this, &LastStation::onTimer3);
}

QString LastStation::iniPath() const
{
    return programFilePath(m_programFolder, QStringLiteral("INST.INI"));
}

QString LastStation::read(const QString &section, const QString &key) const
{
    return ReadINI(iniPath(), section, key);
}

void LastStation::write(const RememberedStation &values) const
{
    const QString path = iniPath();
    WriteINI(path, kOnthouden, QStringLiteral("LaatsteNAAM"), values.naam);
    WriteINI(path, kOnthouden, QStringLiteral("LaatsteURL"), values.url);
    WriteINI(path, kOnthouden, QStringLiteral("Volume"), QString::number(values.volume));
    WriteINI(path, kOnthouden, QStringLiteral("LaatsteLandNaam"), values.landNaam);
    WriteINI(path, kOnthouden, QStringLiteral("LaatsteLandbestand"), values.landBestand);
    m_written = values;
}

void LastStation::rememberOnExit(const RememberedStation &values)
{
    if (m_written != values)
        write(values);
}

CloseAction LastStation::rememberOnClose(const RememberedStation &values) const
{
    write(values);
    return read(kOnlineRadio, QStringLiteral("xsluiten")) == QLatin1String("1") ? CloseAction::Quit
                                                                                : CloseAction::HideInTray;
}

int LastStation::volumeFromText(const QString &text)
{
    bool ok = false;
    const int volume = text.trimmed().toInt(&ok);
    return ok ? std::clamp(volume, 0, 100) : kDefaultVolume;
}

void LastStation::start()
{
    m_nextStep = 0;
    m_timer3.start();
}

void LastStation::onTimer3()
{
    while (m_nextStep < kStepCount) {
        if (!runStep(m_nextStep)) {
            countFailure();
            return; // Timer3 stays on; the next tick resumes at this step
        }
        ++m_nextStep;
    }
    m_timer3.stop();
    if (m_errorInstellingenLaden != 0) {
        m_errorInstellingenLaden = 0;
        Q_EMIT failureCountChanged(0);
    }
    Q_EMIT restored();
}

bool LastStation::runStep(int step)
{
    const auto call = [](const auto &hook, const auto &...args) {
        if (hook)
            hook(args...);
    };
    const auto url = [this] {
        return read(kOnthouden, QStringLiteral("LaatsteURL"));
    };
    switch (step) {
    case PlayWhenAsked:
        if (read(kOnlineRadio, QStringLiteral("afspelen")) == QLatin1String("1") && !url().isEmpty())
            call(m_hooks.setUrl, url());
        return true;
    case LandNaam:
    case LandBestand: {
        // A file without a remembered country keeps the window's own (the shipped
        // default), rather than an empty list name that no list load could ever satisfy.
        const QString value = read(
            kOnthouden, step == LandNaam ? QStringLiteral("LaatsteLandNaam") : QStringLiteral("LaatsteLandbestand"));
        if (value.isEmpty() || !m_station)
            return true;
        CurrentStation::Country country = m_station->country();
        (step == LandNaam ? country.name : country.listFile) = value;
        m_station->setCountry(country);
        return true;
    }
    case ZenderNaam:
        if (m_station)
            m_station->setName(read(kOnthouden, QStringLiteral("LaatsteNAAM")));
        return true;
    case Volume:
        call(m_hooks.setVolume, volumeFromText(read(kOnthouden, QStringLiteral("Volume"))));
        return true;
    case Url: {
        // The first step may have set it already; setting it again would restart the stream.
        const QString remembered = url();
        const QString current = m_hooks.playerUrl ? m_hooks.playerUrl() : QString();
        if (!remembered.isEmpty() && current != remembered)
            call(m_hooks.setUrl, remembered);
        return true;
    }
    case PlayReport: {
        // Nothing remembered is nothing played: no report for an empty address.
        const QString current = m_hooks.playerUrl ? m_hooks.playerUrl() : QString();
        if (!current.isEmpty())
            call(m_hooks.setVerstuurMelding, QStringLiteral("zender_") + current);
        return true;
    }
    case StopWhenAsked:
        if (read(kOnlineRadio, QStringLiteral("afspelen")) == QLatin1String("0"))
            call(m_hooks.stop);
        return true;
    case WindowOrTray:
        if (read(kOnlineRadio, QStringLiteral("grootscherm")) == QLatin1String("1"))
            call(m_hooks.showWindow);
        else
            call(m_hooks.goToTray);
        return true;
    case FavouritesPath:
        return !m_hooks.setFavouritesPath || m_hooks.setFavouritesPath(m_programFolder);
    default:
        return true;
    }
}

void LastStation::countFailure()
{
    if (m_errorInstellingenLaden > kFailureLimit) {
        m_errorInstellingenLaden = 0;
        Q_EMIT failureCountChanged(0);
        if (m_hooks.showError)
            m_hooks.showError(QStringLiteral("error17"));
    } else {
        ++m_errorInstellingenLaden;
        Q_EMIT failureCountChanged(m_errorInstellingenLaden);
    }
}
