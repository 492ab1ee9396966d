#include "player/Form1.h"

#include "app/IniFile.h"
#include "app/MediaPlayer.h"
#include "app/ProgramIdentity.h"
#include "app/StreamAddress.h"
#include "controls/MessageBox.h"
#include "controls/Slider.h"
#include "controls/Tavrilon.h"
#include "controls/TrayIcon.h"
#include "directory/StationListLoader.h"
#include "player/DesktopNotifier.h"
#include "player/DiagnosticsFrame.h"
#include "player/DirectoryPages.h"
#include "player/DirectoryReporter.h"
#include "player/FavouritesList.h"
#include "player/LastStation.h"
#include "player/LinkLabel.h"
#include "player/ListenerFeatures.h"
#include "player/MprisService.h"
#include "player/NowPlaying.h"
#include "player/PlayerStatusPresenter.h"
#include "player/StationLogo.h"
#include "player/VisualisationFrame.h"
#include "player/WebView.h"
#include "recorder/Record.h"
#include "recorder/RecordingSchedule.h"
#include "skins/SkinImage.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

// Typed while the remove button has the focus, Ctrl+D opens or closes the diagnostics
// frame; no user stumbles on it by accident.
constexpr char kDiagnosticsKey = 0x04;

// The player refuses an address that is no network stream (a list or a favourite may
// name a local file); the station then failed to start, and the user is told so.
void tellIfRefused(QWidget *parent, const LanguageTexts &texts, const QString &url)
{
    if (!url.isEmpty() && !isStreamAddress(url))
        showMessage(parent, texts, QStringLiteral("error15"), MessageCode::Critical, true);
}

// The application asked to quit (the session manager ending the session) ends the
// program even where the close box would only hide the window and refuse the quit.
class QuitRequests final : public QObject
{
public:
    QuitRequests(std::function<void()> quit, QObject *parent)
        : QObject(parent)
        , m_quit(std::move(quit))
    { }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != QCoreApplication::instance() || event->type() != QEvent::Quit)
            return false;
        m_quit();
        return true;
    }

private:
    std::function<void()> m_quit;
};

} // namespace

Form1::Form1(const AppServices &services, QWidget *parent)
    : QWidget(parent)
    , m_services(services)
    , m_texts(services.programFolder, [this] { return m_station.language(); })
    // The design captions of the labels that show it, until a station is chosen.
    , m_station({QStringLiteral("*+ naam zender +*"), QString(), QStringLiteral("http://")},
                {QStringLiteral("Holland"), QStringLiteral("holland.txt")}, QStringLiteral("english"))
    , m_skinLoader(services.programFolder)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowIcon(QIcon(programFilePath(services.programFolder, QStringLiteral("norvale.png"))));
    setFixedSize(kWidth, kHeight);
    buildControls();
    applyPlainStyle();
    buildTray();
    buildStationViews();

    MediaPlayer *player = m_services.player;
    m_reporter = new DirectoryReporter(m_services.inet2, m_services.inet3, m_services.directoryBase, player, &m_station,
                                       {Frame1->verstuurMelding, Frame1->List4, Frame1->recStream}, this);
    m_status = new PlayerStatusPresenter(player, m_texts, &m_station, m_reporter, iniPath(),
                                         {this, Label14, Command3, stopspelen, Command4, Frame2, Timer7}, this);
    connect(Timer7, &QTimer::timeout, m_status, &PlayerStatusPresenter::alternateStatusLine);

    m_loader = new StationListLoader(
        m_services.inet1, [this] { return m_services.directoryBase; }, [this] { return m_station.country().listFile; },
        this);
    // The placeholder stays in List1 until a list has arrived, so a slow or unreachable
    // directory never leaves the user looking at an empty box.
    connect(m_loader, &StationListLoader::cleared, this, &Form1::showPlaceholder);
    connect(m_loader, &StationListLoader::downloaded, Frame1->DownloadInfo, &Tavrilon::setText);
    connect(m_loader, &StationListLoader::loaded, this, &Form1::onStationListLoaded);
    connect(m_loader, &StationListLoader::failureCountChanged, this,
            [this](int count) { Frame1->errorZendersLaden->setText(QString::number(count)); });
    connect(m_loader, &StationListLoader::failedTooOften, this, [this] {
        // The retries go on behind the box; a user who is away would come back to one
        // box for every 24 seconds of a directory that was down.
        const auto *open = findChild<QMessageBox *>(QStringLiteral("message_error10"), Qt::FindDirectChildrenOnly);
        if (!open || !open->isVisible())
            showMessage(this, m_texts, QStringLiteral("error10"), MessageCode::Critical, true);
    });

    connect(player, &MediaPlayer::statusChanged, m_status, &PlayerStatusPresenter::showStatus);
    connect(player, &MediaPlayer::buffering, this, &Form1::onPlayerBuffering);
    connect(player, &MediaPlayer::error, this, &Form1::onPlayerError);
}

Form1::~Form1()
{
    if (TrayIcon1)
        TrayIcon1->Remove();
}

QString Form1::iniPath() const
{
    return programFilePath(m_services.programFolder, QStringLiteral("INST.INI"));
}

QString Form1::language() const
{
    return m_station.language();
}

void Form1::showPlaceholder()
{
    List1->clear();
    List1->addItem(m_texts.TaalTekst(QStringLiteral("error14")));
    Frame1->List2->clear();
    Frame1->List3->clear();
    m_showsPlaceholder = true;
}

void Form1::buildLastStation()
{
    LastStation::Hooks hooks;
    MediaPlayer *player = m_services.player;
    hooks.setUrl = [this](const QString &url) {
        setPlayerUrl(url, false);
    };
    hooks.playerUrl = [player] {
        return player->url();
    };
    hooks.setVolume = [this](int volume) {
        Slider1->setValue(volume);
        onVolumeChange(volume);
    };
    hooks.setVerstuurMelding = [this](const QString &report) {
        m_reporter->raiseReport(report);
    };
    hooks.stop = [player] {
        player->stop();
    };
    hooks.showWindow = [this] {
        show();
    };
    // Without a notification area the window shows: it could not be reached otherwise.
    hooks.goToTray = [this] {
        if (trayUsable())
            showTrayIcon();
        else
            show();
    };
    hooks.setFavouritesPath = [this](const QString &folder) {
        return File1->setPath(folder);
    };
    hooks.showError = [this](const QString &key) {
        const auto *open = findChild<QMessageBox *>(QStringLiteral("message_") + key, Qt::FindDirectChildrenOnly);
        if (!open || !open->isVisible())
            showMessage(this, m_texts, key, MessageCode::Critical, true);
    };
    m_last = new LastStation(m_services.programFolder, &m_station, std::move(hooks), this);
    connect(m_last, &LastStation::failureCountChanged, this,
            [this](int count) { Frame1->errorInstellingenLaden->setText(QString::number(count)); });
}

void Form1::buildDesktopService()
{
    MprisHooks hooks;
    MediaPlayer *player = m_services.player;
    hooks.playState = [player] {
        return player->playState();
    };
    hooks.songTitle = [player] {
        return player->mediaTitle();
    };
    hooks.streamUrl = [player] {
        return player->url();
    };
    hooks.volume = [this] {
        return Slider1->value();
    };
    hooks.play = [player] {
        if (player->playState() == PlayState::Stopped || player->playState() == PlayState::Ready)
            player->play();
    };
    hooks.stop = [player] {
        player->stop();
    };
    hooks.playPause = [this] {
        Command3_Click();
    };
    hooks.openUri = [this](const QString &url) {
        playAddress(url, QString());
    };
    // The slider carries a volume from the desktop to the player as a user move does.
    hooks.setVolume = [this](int volume) {
        Slider1->setValue(volume);
        onVolumeChange(Slider1->value());
    };
    hooks.raise = [this] {
        bringForward();
    };
    hooks.quit = [this] {
        quitFromTray();
    };
    hooks.stepFavourite = [this](int step) {
        m_listener->stepFavourite(step);
    };
    hooks.canStep = [this] {
        return m_listener && m_listener->canStepFavourites();
    };
    hooks.artFile = [this] {
        return m_listener ? m_listener->logoFile() : QString();
    };
    m_mpris = new MprisService(std::move(hooks), &m_station, this);
    m_mpris->registerOn(); // without a session bus the player simply has no desktop service
    m_notifier = new DesktopNotifier(QDBusConnection::sessionBus(), this);
    // Planned recordings run on their own connections, also while the window is in the tray.
    new RecordingScheduler(
        m_services.programFolder, m_texts,
        [this](const QString &station, const QString &text) { m_notifier->notify(station, text); },
        &QDateTime::currentDateTime, this);
    m_status->setListeners(m_mpris, m_notifier, m_listener);
}

void Form1::load()
{
    buildListenerFeatures();
    buildDesktopService();
    buildLastStation();
    QCoreApplication::instance()->installEventFilter(new QuitRequests([this] { endProgram(); }, this));
    m_station.setLanguage(ReadINI(iniPath(), QStringLiteral("Online Radio"), QStringLiteral("taal")));
    List1->addItem(m_texts.TaalTekst(QStringLiteral("error14")));
    m_showsPlaceholder = true;
    Frame1->MsnTekst->setText(m_texts.TaalTekst(QStringLiteral("msntekst")));
    navigate(DirectoryPages::homePage(m_services.directoryBase, language()));

    // The window's timers tick from load on, as designed. The first list load starts at
    // once so the stations appear without waiting a full retry interval.
    // Timer3 restores the remembered country first, so the first list is that country's.
    m_last->start();
    m_last->onTimer3();
    m_loader->start();
    m_loader->onTimer1();
    Timer2->start();
    Timer5->start();
    Timer6->start();
    Timer7->start();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (watched == List1 && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            List1_Click();
            return true;
        }
        // Some input methods deliver Ctrl+D as the key with its modifier, not as the
        // control character.
        const bool diagnostics = key->text() == QChar(kDiagnosticsKey)
            || (key->key() == Qt::Key_D && (key->modifiers() & Qt::ControlModifier));
        if (watched == Command2 && diagnostics) {
            Frame1->toggle();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::bringForward()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void Form1::onStationListLoaded(const QStringList &names, const QStringList &urls, const QStringList &homepages)
{
    List1->clear();
    List1->addItems(names);
    m_showsPlaceholder = false;
    Frame1->List2->addItems(urls);
    Frame1->List3->addItems(homepages);
}

void Form1::List1_Click()
{
    const int row = List1->currentRow();
    // The loading placeholder is no station: playing it would start an empty address.
    if (row < 0 || m_showsPlaceholder)
        return;
    // The three lists are related only by position and may differ in length; a missing
    // entry plays as an empty address, as a short list always has.
    const QListWidgetItem *url = Frame1->List2->item(row);
    const QListWidgetItem *homepage = Frame1->List3->item(row);
    startStation(List1->item(row)->text(), url ? url->text() : QString(), homepage ? homepage->text() : QString());
}

void Form1::startStation(const QString &name, const QString &url, const QString &site)
{
    tellIfRefused(this, m_texts, url);
    m_services.player->setUrl(url);
    m_station.setStation({name, m_services.player->url(), site});
    m_reporter->raiseReport(QStringLiteral("zender_") + m_services.player->url());
}

void Form1::setPlayerUrl(const QString &url, bool chosen)
{
    if (chosen)
        tellIfRefused(this, m_texts, url);
    m_services.player->setUrl(url);
    m_station.setAddress(m_services.player->url());
}

void Form1::playAddress(const QString &url, const QString &name)
{
    startStation(name.isEmpty() ? url : name, url, QString());
}

void Form1::Command3_Click()
{
    if (PlayerStatusPresenter::pressPlays(m_services.player->playState()))
        m_services.player->play();
    else
        m_services.player->stop();
}

void Form1::toggleMute()
{
    MediaPlayer *player = m_services.player;
    player->setMute(!player->mute());
}

void Form1::onVolumeChange(int value)
{
    if (!m_services.player->mute())
        m_services.player->setVolume(Slider1->value());
    Label13->setText(QString::number(value) + QLatin1Char('%'));
    if (m_mpris)
        m_mpris->volumeChanged();
}

void Form1::onVolumeMouseMove()
{
    if (!m_services.player->mute())
        m_services.player->setVolume(Slider1->value());
}

void Form1::onPlayerBuffering(bool start)
{
    if (start)
        navigate(DirectoryPages::homePage(m_services.directoryBase, language()));
}

void Form1::onPlayerError()
{
    // A refused address was answered by the station click's message; it is no stream
    // to report as broken.
    if (!isStreamAddress(m_services.player->url()))
        return;
    // The report page is built from the station as it was when the stream failed, not
    // from whatever plays by the time the user answers.
    const QUrl page = m_reporter->problemPage();
    const auto *open = findChild<QMessageBox *>(QStringLiteral("message_error18"), Qt::FindDirectChildrenOnly);
    if (open && open->isVisible())
        return; // one question at a time: a stream that keeps failing must not stack boxes
    showMessage(this, m_texts, QStringLiteral("error18"), MessageCode::YesNo, true, [this, page](bool yes) {
        if (yes)
            navigate(page);
    });
}

void Form1::navigate(const QUrl &url)
{
    WebBrowser1->Navigate(url.toString(QUrl::FullyEncoded));
}

void Form1::showNavigationError()
{
    WebBrowser1->Navigate(QStringLiteral("about:") + m_texts.TaalTekst(QStringLiteral("error1")));
}

void Form1::openStationSite()
{
    const QUrl site = DirectoryPages::stationSite(m_station.site());
    if (!site.isValid() || !QDesktopServices::openUrl(site))
        showMessage(this, m_texts, QStringLiteral("error12"), MessageCode::Critical, true);
}

void Form1::raiseReport(const QString &text)
{
    m_reporter->raiseReport(text);
}

void Form1::onTimer6()
{
    Label15->setVisible(m_services.player->mute());
    if (isVisible())
        TrayIcon1->Remove();
    SendNowPlaying(nowPlayingFields(Frame1->MsnTekst->text(), m_station.name()), m_mpris);
}

bool Form1::trayUsable() const
{
    return TrayIcon::isAvailable();
}

void Form1::showTrayIcon()
{
    TrayIcon1->Add(windowIcon());
}

void Form1::quitFromTray()
{
    m_quitting = true;
    Timer4->start();
    close();
}

RememberedStation Form1::rememberedStation() const
{
    return {m_station.name(), m_station.address(), Slider1->value(), m_station.country().name,
            m_station.country().listFile};
}

void Form1::rememberForExit()
{
    if (m_last)
        m_last->rememberOnExit(rememberedStation());
}

void Form1::endProgram()
{
    rememberForExit();
    m_quitting = true;
    TrayIcon1->Remove();
    if (m_recorder)
        m_recorder->close();
    QApplication::exit(0);
}

void Form1::closeEvent(QCloseEvent *event)
{
    // The last station is stored on every close, also when the close only hides.
    const CloseAction action = m_last ? m_last->rememberOnClose(rememberedStation()) : CloseAction::Quit;
    if (action == CloseAction::Quit || m_quitting) {
        TrayIcon1->Remove();
        if (m_recorder)
            m_recorder->close();
        event->accept();
        if (!Timer4->isActive())
            QApplication::exit(0);
        return;
    }
    event->ignore();
    // Without a notification area a hidden window could never be reached again: it goes
    // to the task bar instead, and playback goes on.
    if (!trayUsable()) {
        showMinimized();
        return;
    }
    hide();
    showTrayIcon();
}

void Form1::resizeEvent(QResizeEvent *event)
{
    // The window keeps its designed size whatever asks it to change, and the header
    // spans it.
    if (size() != QSize(kWidth, kHeight) && !isMinimized())
        resize(kWidth, kHeight);
    Image1->setGeometry(0, 0, width(), Image1->height());
    Image2->setGeometry(rect());
    QWidget::resizeEvent(event);
}

void Form1::buildListenerFeatures()
{
    MediaPlayer *player = m_services.player;
    ListenerHooks hooks;
    hooks.station = &m_station;
    hooks.stationUrl = [player] {
        return player->url();
    };
    hooks.playState = [player] {
        return player->playState();
    };
    hooks.userVolume = [this] {
        return Slider1->value();
    };
    hooks.setPlayerVolume = [player](int volume) {
        player->setVolume(volume);
    };
    hooks.stop = [player] {
        player->stop();
    };
    hooks.favourites = [this] {
        return File1->store() ? File1->store()->list() : QList<Favourite> {};
    };
    // A station chosen here starts as a click on a favourite starts it.
    hooks.play = [this](const QString &naam, const QString &url, const QString &website) {
        Q_EMIT File1->playFavourite(naam, url, website);
    };
    hooks.playLocal = [player](const QString &url) {
        player->setUrl(url);
    };
    hooks.logoTransfer = m_services.web ? m_services.web : m_services.inet1;
    hooks.directoryBase = [this] {
        return m_services.directoryBase;
    };
    m_listener = new ListenerFeatures(m_services.programFolder, m_texts, std::move(hooks), this);
    m_listener->addTrayItems(IconTray, openAction);
    // A logo that arrives later reaches the desktop's views of the station.
    connect(m_listener->logo(), &StationLogo::changed, this, [this] {
        if (m_notifier)
            m_notifier->setIcon(m_listener->logoFile());
        if (m_mpris)
            m_mpris->artChanged();
    });
}
