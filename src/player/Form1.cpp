#include "Form1.h"

#include "IniFile.h"
#include "MediaPlayer.h"
#include "MessageBox.h"
#include "StationListLoader.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr auto kTitle = "Norvale Internet Radio";

template<typename T>
T *make(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *w = new T(parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(geometry);
    return w;
}

QLabel *label(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *l = make<QLabel>(parent, name, geometry);
    l->setText(text);
    return l;
}

} // namespace

Form1::Form1(const AppServices &services, QWidget *parent)
    : QWidget(parent)
    , m_services(services)
    , m_texts(services.programFolder, [this] { return gESelecteerdland ? gESelecteerdland->text() : QString(); })
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QLatin1String(kTitle));
    setFixedSize(kWidth, kHeight);
    buildControls();

    m_loader = new StationListLoader(
        m_services.inet1, [this] { return m_services.directoryBase; }, [this] { return TaalGeselecteerd->text(); },
        this);
    // The placeholder stays in List1 until a list has arrived, so a slow or unreachable
    // directory never leaves the user looking at an empty box.
    connect(m_loader, &StationListLoader::cleared, this, [this] {
        List1->clear();
        List1->addItem(m_texts.TaalTekst(QStringLiteral("error14")));
        List2->clear();
        List3->clear();
        m_showsPlaceholder = true;
    });
    connect(m_loader, &StationListLoader::downloaded, this,
            [this](const QString &text) { DownloadInfo->setPlainText(text); });
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

    connect(m_services.player, &MediaPlayer::statusChanged, this, &Form1::onPlayerStatusChanged);
}

Form1::~Form1() = default;

QString Form1::iniPath() const
{
    return programFilePath(m_services.programFolder, QStringLiteral("INST.INI"));
}

void Form1::buildControls()
{
    // Station panel on the left, information panel on the right; positions follow the
    // window's fixed design size.
    Label7 = label(this, "Label7", QStringLiteral("- Zenders -"), {16, 64, 310, 22});
    Label7->setAlignment(Qt::AlignCenter);
    Label8 = label(this, "Label8", QStringLiteral("Online:"), {16, 90, 310, 20});
    List1 = make<QListWidget>(this, "List1", {16, 112, 310, 300});
    List1->setAccessibleName(QStringLiteral("Online"));
    // A click plays; so does Enter on the row the arrow keys chose. Not itemActivated:
    // a double click delivers it after the click and would start the station twice.
    connect(List1, &QListWidget::itemClicked, this, [this] { List1_Click(); });
    List1->installEventFilter(this);

    Label11 = label(this, "Label11", QStringLiteral("- Informatie -"), {346, 64, 314, 22});
    Label11->setAlignment(Qt::AlignCenter);
    Label2 = label(this, "Label2", QStringLiteral("Land:"), {346, 90, 60, 20});
    TaalGeselecteerdTekst = label(this, "TaalGeselecteerdTekst", QStringLiteral("Holland"), {410, 90, 250, 20});
    Label1 = label(this, "Label1", QStringLiteral("Ander land selecteren"), {410, 110, 250, 20});
    Label6 = label(this, "Label6", QStringLiteral("Zender:"), {346, 134, 60, 20});
    ZenderNaam = label(this, "ZenderNaam", QStringLiteral("*+ naam zender +*"), {410, 134, 250, 20});
    Label14 = label(this, "Label14", QStringLiteral("Kies een zender om te spelen.."), {346, 430, 314, 40});
    Label14->setWordWrap(true);
    Command3 = make<QPushButton>(this, "Command3", {346, 476, 100, 30});
    Command3->setText(QStringLiteral("Play"));
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);

    // The diagnostics frame starts outside the visible part of the window.
    Frame1 = make<QGroupBox>(this, "Frame1", {kWidth + 10, 0, 660, 540});
    Frame1->setTitle(QStringLiteral("Develop"));
    Frame1->hide();
    label(Frame1, "LabelLijstStream", QStringLiteral("Lijst stream"), {10, 20, 200, 18});
    List2 = make<QListWidget>(Frame1, "List2", {10, 40, 200, 160});
    label(Frame1, "LabelLijstUrl", QStringLiteral("Lijst url"), {220, 20, 200, 18});
    List3 = make<QListWidget>(Frame1, "List3", {220, 40, 200, 160});
    label(Frame1, "LabelOutput", QStringLiteral("Output"), {10, 210, 200, 18});
    DownloadInfo = make<QPlainTextEdit>(Frame1, "DownloadInfo", {10, 230, 640, 200});
    DownloadInfo->setReadOnly(true);
    TaalGeselecteerd = label(Frame1, "TaalGeselecteerd", QStringLiteral("holland.txt"), {430, 40, 220, 18});
    RadioUrl = label(Frame1, "RadioUrl", QStringLiteral("http://"), {430, 60, 220, 18});
    label(Frame1, "LabelVerstuurMelding", QStringLiteral("Verstuur melding:"), {430, 80, 220, 18});
    verstuurMelding = label(Frame1, "verstuurMelding", QStringLiteral("verstuurMelding"), {430, 100, 220, 18});
    recStream = label(Frame1, "recStream", QStringLiteral("streamrec"), {430, 120, 220, 18});
    MsnTekst = label(Frame1, "MsnTekst", QStringLiteral("Label16"), {430, 140, 220, 18});
    label(Frame1, "LabelErrorZendersLaden", QStringLiteral("errorZendersLaden:"), {430, 190, 120, 18});
    errorZendersLaden = label(Frame1, "errorZendersLaden", QStringLiteral("0"), {550, 190, 100, 18});
    gESelecteerdland = make<QLineEdit>(Frame1, "gESelecteerdland", {430, 160, 220, 22});
    gESelecteerdland->setText(QStringLiteral("english"));

    Timer5 = new QTimer(this);
    Timer5->setObjectName(QStringLiteral("Timer5"));
    Timer5->setInterval(20);
    connect(Timer5, &QTimer::timeout, this, &Form1::applyTexts);
    Timer7 = new QTimer(this);
    Timer7->setObjectName(QStringLiteral("Timer7"));
    Timer7->setInterval(8000);
    connect(Timer7, &QTimer::timeout, this, &Form1::onTimer7);
}

void Form1::load()
{
    gESelecteerdland->setText(ReadINI(iniPath(), QStringLiteral("Online Radio"), QStringLiteral("taal")));
    List1->addItem(m_texts.TaalTekst(QStringLiteral("error14")));
    m_showsPlaceholder = true;
    MsnTekst->setText(m_texts.TaalTekst(QStringLiteral("msntekst")));

    // The window's timers tick from load on, as designed.
    m_loader->start();
    Timer5->start();
    Timer7->start();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == List1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            List1_Click();
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

void Form1::applyTexts()
{
    const std::pair<QWidget *, const char *> captions[] = {
        {Label1, "label1"}, {Label7, "label7"}, {Label11, "label11"}, {Label8, "label8"},
        {Label2, "label2"}, {Label6, "label6"}, {Label14, "label14"},
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
    m_services.player->setUrl(url ? url->text() : QString());
    ZenderNaam->setText(List1->item(row)->text());
    RadioUrl->setText(homepage ? homepage->text() : QString());
    verstuurMelding->setText(QStringLiteral("zender_") + m_services.player->url());
}

void Form1::Command3_Click()
{
    switch (m_services.player->playState()) {
    case PlayState::Stopped:
    case PlayState::Ready:
        m_services.player->play();
        break;
    case PlayState::Playing:
    case PlayState::Transitioning:
        m_services.player->stop();
        break;
    default:
        break;
    }
}

void Form1::setPlayCaption(const QString &key)
{
    if (!key.isEmpty())
        Command3->setText(m_texts.TaalTekst(key));
}

QString Form1::playCaptionKey(int state)
{
    switch (state) {
    case PlayState::Stopped:
    case PlayState::Ready:
        return QStringLiteral("command3b");
    case PlayState::Playing:
        return QStringLiteral("command3");
    case PlayState::Transitioning:
        return QStringLiteral("command3c");
    default:
        return {};
    }
}

void Form1::onPlayerStatusChanged()
{
    MediaPlayer *player = m_services.player;
    Label14->setText(player->status());
    // A fresh status stays a full interval before the title comes back.
    Timer7->start();
    const QString key = playCaptionKey(player->playState());
    if (!key.isEmpty())
        setPlayCaption(key);
}

void Form1::onTimer7()
{
    if (Label14->text() != QLatin1String(kTitle))
        Label14->setText(QLatin1String(kTitle));
    else
        Label14->setText(m_services.player->status());
}
