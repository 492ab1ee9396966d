#include "app/MediaPlayer.h"
#include "app/ProgramIdentity.h"
#include "controls/MakeControl.h"
#include "controls/MessageBox.h"
#include "controls/Slider.h"
#include "controls/TrayIcon.h"
#include "player/DiagnosticsFrame.h"
#include "player/DirectoryPages.h"
#include "player/FavouritesList.h"
#include "player/Form1.h"
#include "player/LinkLabel.h"
#include "player/ListenerFeatures.h"
#include "player/PlayerStatusPresenter.h"
#include "player/VisualisationFrame.h"
#include "player/WebView.h"
#include "skins/SkinImage.h"
#include "skins/SkinnedDialog.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

// The window's controls at their design places, their look and their captions.

namespace {

QFont boldFont(const QWidget *widget, int pixelSize = 0)
{
    QFont font = widget->font();
    font.setBold(true);
    if (pixelSize > 0)
        font.setPixelSize(pixelSize);
    return font;
}

QTimer *timer(QObject *parent, const char *name, int interval)
{
    auto *t = new QTimer(parent);
    t->setObjectName(QLatin1String(name));
    t->setInterval(interval);
    return t;
}

} // namespace

void Form1::buildControls()
{
    setWindowTitle(QLatin1String(kApplicationTitle));
    // The skin's frame fills the window behind everything, its head lies across the top;
    // below them the plain header stands in while no skin is loaded.
    Image2 = new SkinImage(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(rect());
    PlainHead = plainLabel<QLabel>(this, "PlainHead", QLatin1String(kApplicationTitle), {0, 0, kWidth, kHeadHeight});
    PlainHead->setIndent(24);
    PlainHead->setAutoFillBackground(true);
    PlainHead->setFont(boldFont(PlainHead, 22));
    Image1 = new SkinImage(this, false);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, kWidth, kHeadHeight);

    // Station panel on the left.
    Label7 = plainLabel<QLabel>(this, "Label7", QStringLiteral("- Zenders -"), {12, 98, 316, 20});
    Label7->setAlignment(Qt::AlignCenter);
    Label7->setFont(boldFont(Label7));
    Label8 = plainLabel<QLabel>(this, "Label8", QStringLiteral("Online:"), {12, 118, 316, 18});
    List1 = make<QListWidget>(this, "List1", {12, 138, 316, 218});
    List1->setAccessibleName(QStringLiteral("Online"));
    // A click plays; so does Enter on the row the arrow keys chose. Not itemActivated:
    // a double click delivers it after the click and would start the station twice.
    connect(List1, &QListWidget::itemClicked, this, [this] { List1_Click(); });
    List1->installEventFilter(this);
    Label10 = plainLabel<QLabel>(this, "Label10", QStringLiteral("Favorieten:"), {12, 362, 316, 18});
    File1 = new FavouritesList(
        m_texts,
        [this] {
            return FavouritesList::Station {m_station.name(), m_station.address(), m_station.site()};
        },
        this);
    File1->setGeometry(12, 382, 316, 122);
    File1->setAccessibleName(QStringLiteral("Favorieten"));
    connect(File1, &FavouritesList::playFavourite, this, &Form1::startStation);
    Command1 = make<QPushButton>(this, "Command1", {12, 512, 154, 32});
    Command1->setText(QStringLiteral("Toevoegen"));
    connect(Command1, &QPushButton::clicked, File1, &FavouritesList::Command1_Click);
    Command2 = make<QPushButton>(this, "Command2", {174, 512, 154, 32});
    Command2->setText(QStringLiteral("Verwijderen"));
    connect(Command2, &QPushButton::clicked, File1, &FavouritesList::Command2_Click);
    Command2->installEventFilter(this);

    // Information panel on the right.
    Label11 = plainLabel<QLabel>(this, "Label11", QStringLiteral("- Informatie -"), {344, 98, 320, 20});
    Label11->setAlignment(Qt::AlignCenter);
    Label11->setFont(boldFont(Label11));
    Label2 = plainLabel<QLabel>(this, "Label2", QStringLiteral("Land:"), {344, 120, 64, 18});
    TaalGeselecteerdTekst =
        plainLabel<LinkLabel>(this, "TaalGeselecteerdTekst", m_station.country().name, {408, 120, 256, 18});
    Label1 = plainLabel<LinkLabel>(this, "Label1", QStringLiteral("Ander land selecteren"), {408, 140, 144, 18});
    Label12 = plainLabel<LinkLabel>(this, "Label12", QStringLiteral("Zender zoeken"), {556, 140, 108, 18});
    Label6 = plainLabel<QLabel>(this, "Label6", QStringLiteral("Zender:"), {344, 162, 64, 18});
    ZenderNaam = plainLabel<QLabel>(this, "ZenderNaam", m_station.name(), {408, 162, 256, 18});
    ZenderNaam->setFont(boldFont(ZenderNaam));
    TaalGeselecteerdTekst->setFont(boldFont(TaalGeselecteerdTekst));
    Label3 = plainLabel<LinkLabel>(this, "Label3", QStringLiteral("Website van deze zender."), {408, 182, 256, 18});
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

    Label14 =
        plainLabel<QLabel>(this, "Label14", QStringLiteral("Kies een zender om te spelen.."), {344, 398, 320, 34});
    Label14->setWordWrap(true);
    Label9 = plainLabel<LinkLabel>(this, "Label9", QStringLiteral("Volume:"), {344, 436, 64, 20});
    Slider1 = new Slider(this);
    Slider1->setObjectName(QStringLiteral("Slider1"));
    Slider1->setPosition(1); // horizontal; set before the geometry, which it would turn
    Slider1->setGeometry(408, 439, 169, 14); // the size of the track picture
    Slider1->setMax(100);
    Label13 = plainLabel<QLabel>(this, "Label13", QStringLiteral("###%"), {584, 436, 80, 20});
    Label13->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Command3 = make<QPushButton>(this, "Command3", {344, 466, 156, 34});
    Command3->setText(QStringLiteral("Play"));
    Command3->setDefault(true);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    Command4 = make<QPushButton>(this, "Command4", {508, 466, 156, 34});
    Command4->setText(QStringLiteral("Record"));
    Command4->setEnabled(false);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    Label4 = plainLabel<LinkLabel>(this, "Label4", QStringLiteral("Instellingen"), {344, 516, 120, 18});
    Label5 = plainLabel<LinkLabel>(this, "Label5", QStringLiteral("About/Info"), {464, 516, 110, 18});
    Label15 = plainLabel<LinkLabel>(this, "Label15", QStringLiteral("Mute: ON"), {580, 516, 84, 18});
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

    Frame1 = new DiagnosticsFrame(&m_station, this);
    buildTimers();
}

void Form1::buildTimers()
{
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
}

void Form1::buildStationViews()
{
    // The named labels show the current station; the tray icon's tip names it.
    connect(&m_station, &CurrentStation::stationChanged, this, [this] {
        ZenderNaam->setText(m_station.name());
        TrayIcon1->setScreenTip(QStringLiteral("Norvale - ") + m_station.name());
    });
    connect(&m_station, &CurrentStation::countryChanged, this,
            [this] { TaalGeselecteerdTekst->setText(m_station.country().name); });
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
    TrayIcon1->setScreenTip(QLatin1String(kApplicationTitle));

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
    m_status->showPlayCaption();
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

void Form1::onTimer2()
{
    const MainSkinResult result = m_skinLoader.loadMain();
    Frame1->skinfout->setText(m_skinLoader.skinfout());
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
