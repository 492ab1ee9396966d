#include "player/ListenerFeatures.h"

#include "app/IniFile.h"
#include "app/LanguageTexts.h"
#include "player/AlarmWindow.h"
#include "player/CurrentStation.h"
#include "player/FavouriteStepper.h"
#include "player/HistoryWindow.h"
#include "player/LinkLabel.h"
#include "player/SleepTimer.h"
#include "player/SleepTimerWindow.h"
#include "player/StationLogo.h"
#include "player/WakeAlarm.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

namespace {

LinkLabel *link(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *l = new LinkLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setTextFormat(Qt::PlainText);
    l->setGeometry(geometry);
    return l;
}

} // namespace

ListenerFeatures::ListenerFeatures(const QString &programFolder, const LanguageTexts &texts, ListenerHooks hooks,
                                   QWidget *window)
    : QObject(window)
    , m_programFolder(programFolder)
    , m_texts(texts)
    , m_hooks(std::move(hooks))
    , m_window(window)
    , m_history(programFolder)
{
    m_history.load();
    m_sleep =
        new SleepTimer({m_hooks.userVolume, m_hooks.setPlayerVolume, m_hooks.stop}, std::chrono::seconds(1), this);
    m_alarm = new WakeAlarm({m_hooks.playState, m_hooks.userVolume, m_hooks.setPlayerVolume,
                             [this](const QString &naam, const QString &url) {
                                 if (m_hooks.play)
                                     m_hooks.play(naam, url, QString());
                             },
                             m_hooks.playLocal},
                            iniPath(), programFilePath(programFolder, QLatin1String(WakeAlarm::kSoundFile)),
                            std::chrono::seconds(1), this);

    m_logo = new StationLogo(m_hooks.logoTransfer, m_hooks.directoryBase, programFolder, this);
    LogoImage = new QLabel(window);
    LogoImage->setObjectName(QStringLiteral("LogoImage"));
    LogoImage->setGeometry(620, 96, 44, 44);
    LogoImage->setAlignment(Qt::AlignCenter);
    LogoImage->hide();
    connect(m_logo, &StationLogo::changed, this, [this] {
        const QImage &image = m_logo->image();
        LogoImage->setPixmap(image.isNull() ? QPixmap()
                                            : QPixmap::fromImage(image.scaled(LogoImage->size(), Qt::KeepAspectRatio,
                                                                              Qt::SmoothTransformation)));
        LogoImage->setVisible(!image.isNull());
        LogoImage->raise();
    });

    // A row of links under the settings links, in the window's own style.
    LabelHistory = link(window, "LabelHistory", {344, 538, 130, 18});
    LabelSleep = link(window, "LabelSleep", {482, 538, 104, 18});
    LabelAlarm = link(window, "LabelAlarm", {590, 538, 74, 18});
    LabelAlarm->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(LabelHistory, &LinkLabel::clicked, this, &ListenerFeatures::openHistory);
    connect(LabelSleep, &LinkLabel::clicked, this, &ListenerFeatures::openSleepTimer);
    connect(LabelAlarm, &LinkLabel::clicked, this, &ListenerFeatures::openAlarm);
    // The link names the time left while the timer runs.
    connect(m_sleep, &SleepTimer::changed, this, &ListenerFeatures::applyTexts);
    applyTexts();
}

ListenerFeatures::~ListenerFeatures() = default;

QString ListenerFeatures::iniPath() const
{
    return programFilePath(m_programFolder, QStringLiteral("INST.INI"));
}

void ListenerFeatures::addTrayItems(QMenu *menu, QAction *before)
{
    m_trayHistory = new QAction(menu);
    m_trayHistory->setObjectName(QStringLiteral("geschiedenis"));
    m_traySleep = new QAction(menu);
    m_traySleep->setObjectName(QStringLiteral("slaaptimer"));
    m_trayAlarm = new QAction(menu);
    m_trayAlarm->setObjectName(QStringLiteral("wekker"));
    menu->insertActions(before, {m_trayHistory, m_traySleep, m_trayAlarm});
    connect(m_trayHistory, &QAction::triggered, this, &ListenerFeatures::openHistory);
    connect(m_traySleep, &QAction::triggered, this, &ListenerFeatures::openSleepTimer);
    connect(m_trayAlarm, &QAction::triggered, this, &ListenerFeatures::openAlarm);
    applyTexts();
}

void ListenerFeatures::applyTexts()
{
    const int left = m_sleep->secondsLeft();
    const QString texts[] = {
        m_texts.TaalTekst(QStringLiteral("historie")),
        left > 0 ? SleepTimerWindow::leftText(m_texts, left) : m_texts.TaalTekst(QStringLiteral("slaaptimer")),
        m_texts.TaalTekst(QStringLiteral("wekker")),
    };
    LinkLabel *labels[] = {LabelHistory, LabelSleep, LabelAlarm};
    QAction *actions[] = {m_trayHistory, m_traySleep, m_trayAlarm};
    for (int i = 0; i < 3; ++i) {
        labels[i]->setText(texts[i]);
        if (actions[i])
            actions[i]->setText(texts[i]);
    }
}

void ListenerFeatures::titleHeard(const QString &title)
{
    if (title.isEmpty())
        return;
    m_history.add({QDateTime::currentDateTime(), m_hooks.station ? m_hooks.station->name() : QString(),
                   m_hooks.stationUrl ? m_hooks.stationUrl() : QString(), title});
    if (m_historyWindow)
        m_historyWindow->refresh();
}

bool ListenerFeatures::canStepFavourites() const
{
    return m_hooks.favourites && m_hooks.favourites().size() >= 2;
}

void ListenerFeatures::stepFavourite(int step)
{
    if (!m_hooks.favourites || !m_hooks.play)
        return;
    const QList<Favourite> favourites = m_hooks.favourites();
    QStringList urls;
    for (const Favourite &f : favourites)
        urls.append(f.url);
    const int at = ::stepFavourite(urls, m_hooks.stationUrl ? m_hooks.stationUrl() : QString(), step);
    if (at >= 0)
        m_hooks.play(favourites[at].naam, favourites[at].url, favourites[at].website);
}

bool ListenerFeatures::runCommand(const QString &command)
{
    const QStringList words = command.split(u' ', Qt::SkipEmptyParts);
    bool number = false;
    const int minutes = words.size() == 2 ? words[1].toInt(&number) : 0;
    if (words.value(0) != QLatin1String("sleep") || !number || minutes < 0)
        return false;
    m_sleep->start(minutes); // 0 cancels
    return true;
}

void ListenerFeatures::playStateChanged()
{
    m_alarm->playStateChanged();
    // Every new station passes through a status change; the same station asks nothing.
    m_logo->setStation(m_hooks.stationUrl ? m_hooks.stationUrl() : QString());
}

QString ListenerFeatures::logoFile() const
{
    return m_logo->filePath();
}

void ListenerFeatures::openHistory()
{
    if (m_historyWindow) {
        m_historyWindow->raise();
        m_historyWindow->activateWindow();
        return;
    }
    const QString pattern = ReadINI(iniPath(), QStringLiteral("Online Radio"), QStringLiteral("zoekadres"));
    auto *window = new HistoryWindow(m_texts, {&m_history, m_hooks.stationUrl, pattern}, m_window);
    if (openSkinnedDialog(window, m_programFolder, m_texts, m_window))
        m_historyWindow = window;
}

void ListenerFeatures::openSleepTimer()
{
    if (auto *open = m_window->findChild<SleepTimerWindow *>(); open && open->isVisible()) {
        open->raise();
        return;
    }
    openSkinnedDialog(new SleepTimerWindow(m_texts, m_sleep, m_window), m_programFolder, m_texts, m_window);
}

void ListenerFeatures::openAlarm()
{
    if (auto *open = m_window->findChild<AlarmWindow *>(); open && open->isVisible()) {
        open->raise();
        return;
    }
    const QList<Favourite> favourites = m_hooks.favourites ? m_hooks.favourites() : QList<Favourite> {};
    auto *window = new AlarmWindow(m_texts, AlarmSettings::read(iniPath()), favourites, m_window);
    connect(window, &AlarmWindow::saved, this, [this](const AlarmSettings &settings) {
        settings.write(iniPath());
        m_alarm->reload();
    });
    openSkinnedDialog(window, m_programFolder, m_texts, m_window);
}
