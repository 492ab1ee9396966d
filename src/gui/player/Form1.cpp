#include "player/Form1.h"

#include "app/IniFile.h"
#include "app/MediaPlayer.h"
#include "app/ProgramIdentity.h"
#include "app/StreamAddress.h"
#include "app/Transfer.h"
#include "controls/MakeControl.h"
#include "controls/MessageBox.h"
#include "controls/Slider.h"
#include "controls/Tavrilon.h"
#include "controls/TrayIcon.h"
#include "directory/Form2.h"
#include "directory/Form3.h"
#include "directory/StationListLoader.h"
#include "player/DesktopNotifier.h"
#include "player/DirectoryPages.h"
#include "player/FavouritesList.h"
#include "player/LastStation.h"
#include "player/LinkLabel.h"
#include "player/ListenerFeatures.h"
#include "player/MprisService.h"
#include "player/NowPlaying.h"
#include "player/StationLogo.h"
#include "player/VisualisationFrame.h"
#include "player/WebView.h"
#include "recorder/Record.h"
#include "recorder/RecordingSchedule.h"
#include "settings/Form4.h"
#include "skins/SkinImage.h"
#include "skins/SkinnedDialog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr auto kTitle = kApplicationTitle;
// Typed while the remove button has the focus, Ctrl+D opens or closes the diagnostics
// frame; no user stumbles on it by accident.
constexpr char kDiagnosticsKey = 0x04;

// Labels show plain text whatever they hold: station names, country names and song
// titles come from outside and must never be read as markup.
template<typename T = QLabel>
T *label(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *l = make<T>(parent, name, geometry);
    l->setTextFormat(Qt::PlainText);
    l->setText(text);
    return l;
}

QFont boldFont(const QWidget *widget, int pixelSize = 0)
{
    QFont font = widget->font();
    font.setBold(true);
    if (pixelSize > 0)
        font.setPixelSize(pixelSize);
    return font;
}

// The player refuses an address that is no network stream (a list or a favourite may
// name a local file); the station then failed to start, and the user is told so.
void tellIfRefused(QWidget *parent, const LanguageTexts &texts, const QString &url)
{
    if (!url.isEmpty() && !isStreamAddress(url))
        showMessage(parent, texts, QStringLiteral("error15"), MessageCode::Critical, true);
}

QTimer *timer(QObject *parent, const char *name, int interval)
{
    auto *t = new QTimer(parent);
    t->setObjectName(QLatin1String(name));
    t->setInterval(interval);
    return t;
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
    , m_texts(services.programFolder, [this] { return gESelecteerdland ? gESelecteerdland->text() : QString(); })
    , m_skinLoader(services.programFolder)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QLatin1String(kTitle));
    setWindowIcon(QIcon(programFilePath(services.programFolder, QStringLiteral("norvale.png"))));
    setFixedSize(kWidth, kHeight);
    buildControls();
    applyPlainStyle();
    buildTray();

    m_loader = new StationListLoader(
        m_services.inet1, [this] { return m_services.directoryBase; }, [this] { return TaalGeselecteerd->text(); },
        this);
    // The placeholder stays in List1 until a list has arrived, so a slow or unreachable
    // directory never leaves the user looking at an empty box.
    connect(m_loader, &StationListLoader::cleared, this, &Form1::showPlaceholder);
    connect(m_loader, &StationListLoader::downloaded, DownloadInfo, &Tavrilon::setText);
    connect(m_loader, &StationListLoader::loaded, this, &Form1::onStationListLoaded);
    connect(m_loader, &StationListLoader::failureCountChanged, this,
            [this](int count) { errorZendersLaden->setText(QString::number(count)); });
    connect(m_loader, &StationListLoader::failedTooOften, this, [this] {
        // The retries go on behind the box; a user who is away would come back to one
        // box for every 24 seconds of a directory that was down.
        const auto *open = findChild<QMessageBox *>(QStringLiteral("message_error10"), Qt::FindDirectChildrenOnly);
        if (!open || !open->isVisible())
            showMessage(this, m_texts, QStringLiteral("error10"), MessageCode::Critical, true);
    });

    MediaPlayer *player = m_services.player;
    connect(player, &MediaPlayer::statusChanged, this, &Form1::onPlayerStatusChanged);
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
    return gESelecteerdland->text();
}

void Form1::buildControls()
{
    // The skin's frame fills the window behind everything, its head lies across the top;
    // below them the plain header stands in while no skin is loaded.
    Image2 = new SkinImage(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(rect());
    PlainHead = label(this, "PlainHead", QLatin1String(kTitle), {0, 0, kWidth, kHeadHeight});
    PlainHead->setIndent(24);
    PlainHead->setAutoFillBackground(true);
    PlainHead->setFont(boldFont(PlainHead, 22));
    Image1 = new SkinImage(this, false);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, kWidth, kHeadHeight);

    // Station panel on the left.
    Label7 = label(this, "Label7", QStringLiteral("- Zenders -"), {12, 98, 316, 20});
    Label7->setAlignment(Qt::AlignCenter);
    Label7->setFont(boldFont(Label7));
    Label8 = label(this, "Label8", QStringLiteral("Online:"), {12, 118, 316, 18});
    List1 = make<QListWidget>(this, "List1", {12, 138, 316, 218});
    List1->setAccessibleName(QStringLiteral("Online"));
    // A click plays; so does Enter on the row the arrow keys chose. Not itemActivated:
    // a double click delivers it after the click and would start the station twice.
    connect(List1, &QListWidget::itemClicked, this, [this] { List1_Click(); });
    List1->installEventFilter(this);
    Label10 = label(this, "Label10", QStringLiteral("Favorieten:"), {12, 362, 316, 18});
    File1 = new FavouritesList(
        m_texts,
        [this] {
            return FavouritesList::Station {ZenderNaam->text(), m_services.player->url(), RadioUrl->text()};
        },
        this);
    File1->setGeometry(12, 382, 316, 122);
    File1->setAccessibleName(QStringLiteral("Favorieten"));
    connect(File1, &FavouritesList::playFavourite, this,
            [this](const QString &naam, const QString &url, const QString &website) {
                ZenderNaam->setText(naam);
                onZenderNaamChange();
                tellIfRefused(this, m_texts, url);
                m_services.player->setUrl(url);
                RadioUrl->setText(website);
                if (m_mpris)
                    m_mpris->stationChanged();
                raiseReport(QStringLiteral("zender_") + m_services.player->url());
            });
    Command1 = make<QPushButton>(this, "Command1", {12, 512, 154, 32});
    Command1->setText(QStringLiteral("Toevoegen"));
    connect(Command1, &QPushButton::clicked, File1, &FavouritesList::Command1_Click);
    Command2 = make<QPushButton>(this, "Command2", {174, 512, 154, 32});
    Command2->setText(QStringLiteral("Verwijderen"));
    connect(Command2, &QPushButton::clicked, File1, &FavouritesList::Command2_Click);
    Command2->installEventFilter(this);

    // Information panel on the right.
    Label11 = label(this, "Label11", QStringLiteral("- Informatie -"), {344, 98, 320, 20});
    Label11->setAlignment(Qt::AlignCenter);
    Label11->setFont(boldFont(Label11));
    Label2 = label(this, "Label2", QStringLiteral("Land:"), {344, 120, 64, 18});
    TaalGeselecteerdTekst =
        label<LinkLabel>(this, "TaalGeselecteerdTekst", QStringLiteral("Holland"), {408, 120, 256, 18});
    Label1 = label<LinkLabel>(this, "Label1", QStringLiteral("Ander land selecteren"), {408, 140, 144, 18});
    Label12 = label<LinkLabel>(this, "Label12", QStringLiteral("Zender zoeken"), {556, 140, 108, 18});
    Label6 = label(this, "Label6", QStringLiteral("Zender:"), {344, 162, 64, 18});
    ZenderNaam = label(this, "ZenderNaam", QStringLiteral("*+ naam zender +*"), {408, 162, 256, 18});
    ZenderNaam->setFont(boldFont(ZenderNaam));
    TaalGeselecteerdTekst->setFont(boldFont(TaalGeselecteerdTekst));
    Label3 = label<LinkLabel>(this, "Label3", QStringLiteral("Website van deze zender."), {408, 182, 256, 18});
    connect(Label3, &LinkLabel::clicked, this, &Form1::openStationSite);

    // The view bounds the size of what its transfer fetches, so it has one of its own.
    WebBrowser1 = new WebView(m_services.web ? m_services.web : m_services.inet1, this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setGeometry(344, 204, 320, 190);
    connect(WebBrowser1, &WebView::NavigateError, this, &Form1::showNavigationError);
    // The picture of the sound lies exactly over the web view and covers it while shown.
    Frame2 = new VisualisationFrame([this] { return m_services.player->bandLevels(); }, this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame2->setGeometry(WebBrowser1->geometry());
    Frame2->hide();

    Label14 = label(this, "Label14", QStringLiteral("Kies een zender om te spelen.."), {344, 398, 320, 34});
    Label14->setWordWrap(true);
    Label9 = label<LinkLabel>(this, "Label9", QStringLiteral("Volume:"), {344, 436, 64, 20});
    Slider1 = new Slider(this);
    Slider1->setObjectName(QStringLiteral("Slider1"));
    Slider1->setPosition(1); // horizontal; set before the geometry, which it would turn
    Slider1->setGeometry(408, 439, 169, 14); // the size of the track picture
    Slider1->setMax(100);
    Label13 = label(this, "Label13", QStringLiteral("###%"), {584, 436, 80, 20});
    Label13->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Command3 = make<QPushButton>(this, "Command3", {344, 466, 156, 34});
    Command3->setText(QStringLiteral("Play"));
    Command3->setDefault(true);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    Command4 = make<QPushButton>(this, "Command4", {508, 466, 156, 34});
    Command4->setText(QStringLiteral("Record"));
    Command4->setEnabled(false);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    Label4 = label<LinkLabel>(this, "Label4", QStringLiteral("Instellingen"), {344, 516, 120, 18});
    Label5 = label<LinkLabel>(this, "Label5", QStringLiteral("About/Info"), {464, 516, 110, 18});
    Label15 = label<LinkLabel>(this, "Label15", QStringLiteral("Mute: ON"), {580, 516, 84, 18});
    Label15->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label15->setFont(boldFont(Label15));
    Label15->hide();

    connect(Label1, &LinkLabel::clicked, this, &Form1::openCountryChooser);
    connect(TaalGeselecteerdTekst, &LinkLabel::clicked, this, &Form1::openCountryChooser);
    connect(Label12, &LinkLabel::clicked, this, &Form1::openSearch);
    connect(Label4, &LinkLabel::clicked, this, &Form1::openSettings);
    connect(Label5, &LinkLabel::clicked, this, [this] {
        navigate(DirectoryPages::aboutPage(m_services.directoryBase, language()));
        Frame2->hide();
    });
    connect(Label9, &LinkLabel::clicked, this, [this] {
        MediaPlayer *player = m_services.player;
        const bool muted = player->mute();
        player->setMute(!muted);
        Label15->setVisible(!muted);
    });
    connect(Label15, &LinkLabel::clicked, this, [this] {
        MediaPlayer *player = m_services.player;
        if (player->mute()) {
            player->setMute(false);
            Label15->hide();
        } else {
            player->setMute(true);
        }
    });
    connect(Slider1, &Slider::Change, this, &Form1::onVolumeChange);
    connect(Slider1, &Slider::MouseMove, this, &Form1::onVolumeMouseMove);

    // The diagnostics frame starts outside the visible part of the window.
    Frame1 = make<QGroupBox>(this, "Frame1", {kWidth + 10, 0, 660, 556});
    Frame1->setTitle(QStringLiteral("Develop"));
    Frame1->setAutoFillBackground(true);
    Frame1->hide();
    label(Frame1, "LabelLijstStream", QStringLiteral("Lijst stream"), {10, 20, 200, 18});
    List2 = make<QListWidget>(Frame1, "List2", {10, 40, 200, 150});
    label(Frame1, "LabelLijstUrl", QStringLiteral("Lijst url"), {220, 20, 200, 18});
    List3 = make<QListWidget>(Frame1, "List3", {220, 40, 200, 150});
    label(Frame1, "LabelOutput", QStringLiteral("Output"), {10, 196, 200, 18});
    // Lists of several megabytes arrive here: they are held as plain text, and coloured
    // only when asked, in slices that keep the window responsive.
    DownloadInfo = new Tavrilon(Frame1);
    DownloadInfo->setObjectName(QStringLiteral("DownloadInfo"));
    DownloadInfo->setGeometry(10, 216, 640, 190);
    DownloadInfo->setLocked(true);
    Colorize = make<QPushButton>(Frame1, "Colorize", {230, 192, 90, 22});
    Colorize->setText(QStringLiteral("Colorize"));
    ColorizeProgress = make<QProgressBar>(Frame1, "ColorizeProgress", {326, 194, 96, 18});
    ColorizeProgress->setRange(0, 100);
    ColorizeProgress->setValue(0);
    DownloadInfo->setProgressBar(ColorizeProgress);
    connect(Colorize, &QPushButton::clicked, this, [this] {
        if (DownloadInfo->isColorizing()) {
            DownloadInfo->cancelColorize();
        } else {
            Colorize->setText(QStringLiteral("Stop"));
            DownloadInfo->Colorize();
        }
    });
    connect(DownloadInfo, &Tavrilon::colorizeFinished, this, [this] { Colorize->setText(QStringLiteral("Colorize")); });
    label(Frame1, "LabelWaardes", QStringLiteral("Waardes..."), {430, 20, 220, 18});
    TaalGeselecteerd = label(Frame1, "TaalGeselecteerd", QStringLiteral("holland.txt"), {430, 40, 220, 18});
    RadioUrl = label(Frame1, "RadioUrl", QStringLiteral("http://"), {430, 58, 220, 18});
    label(Frame1, "LabelVerstuurMelding", QStringLiteral("Verstuur melding:"), {430, 76, 220, 18});
    verstuurMelding = label(Frame1, "verstuurMelding", QStringLiteral("verstuurMelding"), {430, 94, 220, 18});
    recStream = label(Frame1, "recStream", QStringLiteral("streamrec"), {430, 112, 220, 18});
    MsnTekst = label(Frame1, "MsnTekst", QStringLiteral("Label16"), {430, 130, 220, 18});
    gESelecteerdland = make<QLineEdit>(Frame1, "gESelecteerdland", {430, 148, 220, 22});
    gESelecteerdland->setText(QStringLiteral("english"));
    label(Frame1, "LabelErrorZendersLaden", QStringLiteral("errorZendersLaden:"), {430, 174, 130, 18});
    errorZendersLaden = label(Frame1, "errorZendersLaden", QStringLiteral("0"), {560, 174, 90, 18});
    label(Frame1, "LabelErrorInstellingenLaden", QStringLiteral("errorInstellingenLaden:"), {430, 192, 130, 18});
    errorInstellingenLaden = label(Frame1, "errorInstellingenLaden", QStringLiteral("0"), {560, 192, 90, 18});
    skinfout = label(Frame1, "skinfout", QStringLiteral("skinfout"), {430, 210, 220, 18});
    List4 = make<QListWidget>(Frame1, "List4", {10, 414, 640, 130});

    Timer2 = timer(this, "Timer2", 500);
    connect(Timer2, &QTimer::timeout, this, &Form1::onTimer2);
    Timer4 = timer(this, "Timer4", 100);
    Timer5 = timer(this, "Timer5", 20);
    Timer6 = timer(this, "Timer6", 3000);
    Timer7 = timer(this, "Timer7", 8000);
    connect(Timer4, &QTimer::timeout, this, [this] {
        Timer4->stop();
        TrayIcon1->Remove();
        QApplication::exit(0);
    });
    connect(Timer5, &QTimer::timeout, this, &Form1::applyTexts);
    connect(Timer6, &QTimer::timeout, this, &Form1::onTimer6);
    connect(Timer7, &QTimer::timeout, this, &Form1::onTimer7);
}

void Form1::applyPlainStyle(const QImage &frame)
{
    // The window's own look, under the skin's pictures and in their place when no skin
    // could be loaded. Its colours are drawn against the frame, never taken from the
    // desktop's theme. No style sheet: under one, child widgets and the dialogs opened
    // from this window would no longer take their palette from their window.
    applySkinPalette(this, frame);
    const bool dark = isDarkSkinPalette(palette());
    const auto colour = [](QWidget *widget, QPalette::ColorRole role, const QBrush &brush) {
        QPalette colours = widget->palette();
        colours.setBrush(role, brush);
        widget->setPalette(colours);
    };
    for (QLabel *title : {Label7, Label11})
        colour(title, QPalette::WindowText, dark ? QColor(0x9f, 0xcb, 0xf2) : QColor(0x12, 0x3a, 0x66));
    colour(Label14, QPalette::WindowText, dark ? QColor(0xc8, 0xd0, 0xd8) : QColor(0x33, 0x47, 0x5b));
    colour(Label15, QPalette::Link, warningColour(palette()));
    QLinearGradient head(0, 0, 0, 1);
    head.setCoordinateMode(QGradient::ObjectMode);
    head.setColorAt(0, QColor(0x2b, 0x7b, 0xc0));
    head.setColorAt(1, QColor(0x12, 0x3a, 0x66));
    colour(PlainHead, QPalette::Window, head);
    colour(PlainHead, QPalette::WindowText, Qt::white);
}

void Form1::buildTray()
{
    TrayIcon1 = new TrayIcon(this);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    TrayIcon1->setScreenTip(QLatin1String(kTitle));

    IconTray = new QMenu(this);
    IconTray->setObjectName(QStringLiteral("IconTray"));
    muting = IconTray->addAction(QStringLiteral("Mute On/Off"), this, &Form1::toggleMute);
    muting->setObjectName(QStringLiteral("muting"));
    stopspelen = IconTray->addAction(QStringLiteral("Stop Playing"), this, &Form1::Command3_Click);
    stopspelen->setObjectName(QStringLiteral("stopspelen"));
    IconTray->addSeparator()->setObjectName(QStringLiteral("bla"));
    openAction = IconTray->addAction(QStringLiteral("Open"), this, [this] {
        bringForward();
        TrayIcon1->Remove();
    });
    openAction->setObjectName(QStringLiteral("open"));
    IconTray->addSeparator()->setObjectName(QStringLiteral("streep"));
    sluit = IconTray->addAction(QStringLiteral("Close"), this, &Form1::quitFromTray);
    sluit->setObjectName(QStringLiteral("sluit"));

    connect(TrayIcon1, &TrayIcon::Click, this, [this] {
        bringForward();
        TrayIcon1->Remove();
    });
    // The icon opens its menu itself, also where no right click reaches the program.
    TrayIcon1->setContextMenu(IconTray);
}

void Form1::showPlaceholder()
{
    List1->clear();
    List1->addItem(m_texts.TaalTekst(QStringLiteral("error14")));
    List2->clear();
    List3->clear();
    m_showsPlaceholder = true;
}

DirectoryDialogContext Form1::dialogContext()
{
    return {&m_texts, [this] { return language(); }, iniPath(), m_services.directoryBase, m_services.inet1};
}

void Form1::openCountryChooser()
{
    Form2::Hooks hooks;
    hooks.closeMedia = [this] {
        m_services.player->close();
    };
    hooks.setZenderNaam = [this](const QString &naam) {
        ZenderNaam->setText(naam);
        onZenderNaamChange();
    };
    hooks.setLandNaam = [this](const QString &naam) {
        TaalGeselecteerdTekst->setText(naam);
    };
    hooks.setLandBestand = [this](const QString &bestand) {
        TaalGeselecteerd->setText(bestand);
    };
    hooks.showPlaceholder = [this] {
        showPlaceholder();
    };
    hooks.startTimer1 = [this] {
        m_loader->start();
        m_loader->onTimer1(); // the new country's stations load at once
    };
    auto *dialog = new Form2(dialogContext(), std::move(hooks), this);
    connect(dialog, &Form2::downloaded, DownloadInfo, &Tavrilon::setText);
    openSkinnedDialog(dialog, m_services.programFolder, m_texts, this);
}

void Form1::openSearch()
{
    Form3::Hooks hooks;
    hooks.setUrl = [this](const QString &url) {
        tellIfRefused(this, m_texts, url);
        m_services.player->setUrl(url);
    };
    hooks.setZenderNaam = [this](const QString &naam) {
        ZenderNaam->setText(naam);
        onZenderNaamChange();
        if (m_mpris)
            m_mpris->stationChanged();
    };
    hooks.setRadioUrl = [this](const QString &homepage) {
        RadioUrl->setText(homepage);
    };
    auto *dialog = new Form3(dialogContext(), std::move(hooks), this);
    connect(dialog, &Form3::downloaded, DownloadInfo, &Tavrilon::setText);
    openSkinnedDialog(dialog, m_services.programFolder, m_texts, this);
}

void Form1::onTimer2()
{
    const MainSkinResult result = m_skinLoader.loadMain();
    skinfout->setText(m_skinLoader.skinfout());
    Timer2->stop();
    if (result.outcome == SkinLoadOutcome::Loaded) {
        const SkinLook &pictures = result.look;
        Image1->setPicture(pictures.head);
        Image2->setPicture(pictures.frame);
        PlainHead->setVisible(pictures.head.isNull());
        Slider1->setBar(pictures.slider[0]);
        Slider1->setBarDown(pictures.slider[1]);
        Slider1->setBarOver(pictures.slider[2]);
        Slider1->setPictureBack(pictures.slider[3]);
        Slider1->setPictureProgress(pictures.slider[4]);
        applyPlainStyle(pictures.frame);
        return;
    }
    // One box at a time: Timer2 waits while the messages are open, and once the fall-back
    // skin has failed too the window keeps its plain style.
    const bool gaveUp = result.outcome == SkinLoadOutcome::GaveUp;
    showSkinMessages(this, m_texts, result.messages, [this, gaveUp] {
        if (gaveUp) {
            Image1->setPicture({});
            Image2->setPicture({});
            PlainHead->show();
            applyPlainStyle();
        } else {
            Timer2->start();
        }
    });
}

void Form1::openSettings()
{
    if (!m_services.registry)
        return;
    auto *settings = new Form4(m_services.programFolder, m_texts, *m_services.registry,
                               QCoreApplication::applicationFilePath(), this);
    connect(settings, &Form4::languageStored, gESelecteerdland, &QLineEdit::setText);
    connect(settings, &Form4::skinChosen, Timer2, qOverload<>(&QTimer::start));
    openSkinnedDialog(settings, m_services.programFolder, m_texts, this);
}

void Form1::buildLastStation()
{
    LastStation::Hooks hooks;
    MediaPlayer *player = m_services.player;
    hooks.setUrl = [player](const QString &url) {
        player->setUrl(url);
    };
    hooks.playerUrl = [player] {
        return player->url();
    };
    hooks.setLandNaam = [this](const QString &naam) {
        TaalGeselecteerdTekst->setText(naam);
    };
    hooks.setLandBestand = [this](const QString &bestand) {
        TaalGeselecteerd->setText(bestand);
    };
    hooks.setZenderNaam = [this](const QString &naam) {
        ZenderNaam->setText(naam);
        onZenderNaamChange();
        if (m_mpris)
            m_mpris->stationChanged();
    };
    hooks.setVolume = [this](int volume) {
        Slider1->setValue(volume);
        onVolumeChange(volume);
    };
    hooks.setVerstuurMelding = [this](const QString &report) {
        raiseReport(report);
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
    m_last = new LastStation(m_services.programFolder, std::move(hooks), this);
    connect(m_last, &LastStation::failureCountChanged, this,
            [this](int count) { errorInstellingenLaden->setText(QString::number(count)); });
}

void Form1::buildDesktopService()
{
    MprisHooks hooks;
    MediaPlayer *player = m_services.player;
    hooks.playState = [player] {
        return player->playState();
    };
    hooks.stationName = [this] {
        return ZenderNaam->text();
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
    m_mpris = new MprisService(std::move(hooks), this);
    m_mpris->registerOn(); // without a session bus the player simply has no desktop service
    m_notifier = new DesktopNotifier(QDBusConnection::sessionBus(), this);
    // Planned recordings run on their own connections, also while the window is in the tray.
    new RecordingScheduler(
        m_services.programFolder, m_texts,
        [this](const QString &station, const QString &text) { m_notifier->notify(station, text); },
        &QDateTime::currentDateTime, this);
}

void Form1::load()
{
    buildListenerFeatures();
    buildDesktopService();
    buildLastStation();
    QCoreApplication::instance()->installEventFilter(new QuitRequests([this] { endProgram(); }, this));
    gESelecteerdland->setText(ReadINI(iniPath(), QStringLiteral("Online Radio"), QStringLiteral("taal")));
    List1->addItem(m_texts.TaalTekst(QStringLiteral("error14")));
    m_showsPlaceholder = true;
    MsnTekst->setText(m_texts.TaalTekst(QStringLiteral("msntekst")));
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
            toggleDiagnostics();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::toggleDiagnostics()
{
    if (!Frame1->isVisible()) {
        Frame1->move(0, Frame1->y());
        Frame1->raise();
        Frame1->show();
    } else {
        Frame1->hide();
    }
}

void Form1::bringForward()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void Form1::applyTexts()
{
    const std::pair<QWidget *, const char *> captions[] = {
        {Label1, "label1"}, {Label12, "label12"},   {Label4, "label4"},     {Label5, "label5"},
        {Label7, "label7"}, {Label11, "label11"},   {Label8, "label8"},     {Label10, "label10"},
        {Label2, "label2"}, {Label6, "label6"},     {Label3, "label3"},     {Label14, "label14"},
        {Label9, "label9"}, {Command1, "command1"}, {Command2, "command2"},
    };
    for (const auto &[widget, key] : captions) {
        const QString text = m_texts.TaalTekst(QLatin1String(key));
        if (auto *l = qobject_cast<QLabel *>(widget))
            l->setText(text);
        else if (auto *b = qobject_cast<QPushButton *>(widget))
            b->setText(text);
    }
    // The play button names what it will do for the state the player is in now; a
    // fixed caption would offer "Stop" while nothing plays.
    setPlayCaption(playCaptionKey(m_services.player->playState()));
    followInterfaceLanguage(language());
    const std::pair<QAction *, const char *> menu[] = {
        {muting, "traymute"}, {openAction, "trayopen"}, {sluit, "trayclose"}};
    for (const auto &[action, key] : menu) {
        const QString text = m_texts.TaalTekst(QLatin1String(key));
        if (!text.isEmpty())
            action->setText(text);
    }
    if (m_listener)
        m_listener->applyTexts();
    const QString record = m_texts.TaalTekst(QStringLiteral("command4"));
    if (!record.isEmpty())
        Command4->setText(record);
    Timer5->stop();
}

void Form1::onStationListLoaded(const QStringList &names, const QStringList &urls, const QStringList &homepages)
{
    List1->clear();
    List1->addItems(names);
    m_showsPlaceholder = false;
    List2->addItems(urls);
    List3->addItems(homepages);
}

void Form1::List1_Click()
{
    const int row = List1->currentRow();
    // The loading placeholder is no station: playing it would start an empty address.
    if (row < 0 || m_showsPlaceholder)
        return;
    // The three lists are related only by position and may differ in length; a missing
    // entry plays as an empty address, as a short list always has.
    const QListWidgetItem *url = List2->item(row);
    const QListWidgetItem *homepage = List3->item(row);
    setStation(List1->item(row)->text(), url ? url->text() : QString(), homepage ? homepage->text() : QString());
}

void Form1::setStation(const QString &name, const QString &url, const QString &homepage)
{
    tellIfRefused(this, m_texts, url);
    m_services.player->setUrl(url);
    ZenderNaam->setText(name);
    onZenderNaamChange();
    if (m_mpris)
        m_mpris->stationChanged();
    RadioUrl->setText(homepage);
    raiseReport(QStringLiteral("zender_") + m_services.player->url());
}

void Form1::playAddress(const QString &url, const QString &name)
{
    setStation(name.isEmpty() ? url : name, url, QString());
}

namespace {

// Nothing plays and nothing is on its way: a press starts the station. In every other
// state, a stalled or reconnecting stream included, a press stops, so stop always works.
bool pressPlays(PlayState state)
{
    return state == PlayState::Stopped || state == PlayState::Ready;
}

} // namespace

void Form1::Command3_Click()
{
    if (pressPlays(m_services.player->playState()))
        m_services.player->play();
    else
        m_services.player->stop();
}

void Form1::Command4_Click()
{
    RecordSetup setup {m_services.programFolder,
                       m_texts,
                       recStream->text(),
                       ZenderNaam->text(),
                       m_services.player,
                       [this](const QString &report) {
                           raiseReport(report);
                       }};
    m_recorder = Record::openRecorder(this, setup);
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

void Form1::onZenderNaamChange()
{
    TrayIcon1->setScreenTip(QStringLiteral("Norvale - ") + ZenderNaam->text());
}

void Form1::setPlayCaption(const QString &key)
{
    if (key.isEmpty())
        return;
    const QString caption = m_texts.TaalTekst(key);
    Command3->setText(caption);
    stopspelen->setText(caption);
}

QString Form1::playCaptionKey(PlayState state)
{
    // The caption names what a press does; the status line says what the player does.
    return pressPlays(state) ? QStringLiteral("command3b") : QStringLiteral("command3");
}

void Form1::onPlayerStatusChanged()
{
    MediaPlayer *player = m_services.player;
    Label14->setText(player->status());
    if (m_mpris) {
        m_mpris->stateChanged();
        m_mpris->titleChanged();
    }
    const QString title = player->mediaTitle();
    if (m_listener)
        m_listener->playStateChanged();
    if (title != m_lastTitle) {
        m_lastTitle = title;
        if (m_listener)
            m_listener->titleHeard(title);
        // Someone listening with the window in the tray still learns what plays.
        if (!title.isEmpty() && !isVisible() && m_notifier)
            m_notifier->notify(ZenderNaam->text(), title);
    }
    // A fresh status stays a full interval before the title comes back.
    Timer7->start();
    const PlayState state = player->playState();
    setPlayCaption(playCaptionKey(state));
    // A new song is a new status text in the same state of the same stream: the record
    // button and the picture stay as they are, and the directory is not asked again.
    const QString url = player->url();
    if (state == m_shownState && url == m_shownUrl)
        return;
    m_shownState = state;
    m_shownUrl = url;
    Command4->setEnabled(false);
    Frame2->hide();
    if (pressPlays(state)) {
        // Playback ended: the next start asks afresh, and no answer for this one counts.
        m_askedUrl.clear();
        m_recordable = false;
        m_ask.abandon();
    }
    if (state != PlayState::Playing) {
        player->setVisualisation(false);
        return;
    }
    const bool visual =
        ReadINI(iniPath(), QStringLiteral("Online Radio"), QStringLiteral("visual")).trimmed() == QLatin1String("1");
    player->setVisualisation(visual);
    if (visual) {
        Frame2->raise();
        Frame2->show();
    }
    // Once per start of a stream: back from a stall or a reconnect to the same address,
    // the answer already given holds.
    if (m_askedUrl != url)
        askRecordable();
    else
        Command4->setEnabled(m_recordable);
}

void Form1::askRecordable()
{
    // The question runs in the background; its answer counts only for the stream it was
    // asked for, in this start of it. One that arrives during a stall enables recording
    // when the stream plays again.
    const QString url = m_services.player->url();
    m_askedUrl = url;
    m_recordable = false;
    m_ask.open(m_services.inet3, DirectoryPages::ask(m_services.directoryBase, url), this,
               [this, url](const TransferResult &result) {
                   if (!result.ok() || m_services.player->url() != url)
                       return;
                   const QString address = DirectoryPages::recordableAddress(result.body);
                   if (address.isEmpty())
                       return;
                   recStream->setText(address);
                   m_recordable = true;
                   Command4->setEnabled(m_services.player->playState() == PlayState::Playing);
               });
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
    const QUrl page = DirectoryPages::problemPage(m_services.directoryBase, language(), m_services.player->url(),
                                                  ZenderNaam->text(), TaalGeselecteerdTekst->text());
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
    const QUrl site = DirectoryPages::stationSite(RadioUrl->text());
    if (!site.isValid() || !QDesktopServices::openUrl(site))
        showMessage(this, m_texts, QStringLiteral("error12"), MessageCode::Critical, true);
}

void Form1::raiseReport(const QString &text)
{
    if (verstuurMelding->text() == text)
        return; // the same caption again is no change, so no report
    verstuurMelding->setText(text);
    List4->addItem(text);
    // Reports leave one at a time in the order raised; each reply replaces the caption
    // without sending, so the same report may be raised again later.
    m_reportRequest = m_services.inet2->openUrl(DirectoryPages::report(m_services.directoryBase, text), this,
                                                [this, text](const TransferResult &result) {
                                                    if (result.ok() && verstuurMelding->text() == text)
                                                        verstuurMelding->setText(result.body);
                                                });
}

void Form1::onTimer6()
{
    Label15->setVisible(m_services.player->mute());
    if (isVisible())
        TrayIcon1->Remove();
    SendNowPlaying(nowPlayingFields(MsnTekst->text(), ZenderNaam->text()), m_mpris);
}

void Form1::onTimer7()
{
    if (Label14->text() != QLatin1String(kTitle))
        Label14->setText(QLatin1String(kTitle));
    else
        Label14->setText(m_services.player->status());
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

RememberedStation Form1::currentStation() const
{
    return {ZenderNaam->text(), m_services.player->url(), Slider1->value(), TaalGeselecteerdTekst->text(),
            TaalGeselecteerd->text()};
}

void Form1::rememberForExit()
{
    if (m_last)
        m_last->rememberOnExit(currentStation());
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
    const CloseAction action = m_last ? m_last->rememberOnClose(currentStation()) : CloseAction::Quit;
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
    hooks.stationName = [this] {
        return ZenderNaam->text();
    };
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
            m_mpris->stationChanged();
    });
}
