#include "player/DiagnosticsFrame.h"

#include "controls/MakeControl.h"
#include "controls/Tavrilon.h"
#include "player/CurrentStation.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

DiagnosticsFrame::DiagnosticsFrame(CurrentStation *station, QWidget *window)
    : QGroupBox(window)
{
    setObjectName(QStringLiteral("Frame1"));
    setGeometry(window->width() + 10, 0, 660, 556);
    setTitle(QStringLiteral("Develop"));
    setAutoFillBackground(true);
    hide();
    const auto label = [this](const char *name, const QString &text, const QRect &geometry) {
        return plainLabel<QLabel>(this, name, text, geometry);
    };
    label("LabelLijstStream", QStringLiteral("Lijst stream"), {10, 20, 200, 18});
    List2 = make<QListWidget>(this, "List2", {10, 40, 200, 150});
    label("LabelLijstUrl", QStringLiteral("Lijst url"), {220, 20, 200, 18});
    List3 = make<QListWidget>(this, "List3", {220, 40, 200, 150});
    label("LabelOutput", QStringLiteral("Output"), {10, 196, 200, 18});
    // Lists of several megabytes arrive here: they are held as plain text, and coloured
    // only when asked, in slices that keep the window responsive.
    DownloadInfo = new Tavrilon(this);
    DownloadInfo->setObjectName(QStringLiteral("DownloadInfo"));
    DownloadInfo->setGeometry(10, 216, 640, 190);
    DownloadInfo->setLocked(true);
    Colorize = make<QPushButton>(this, "Colorize", {230, 192, 90, 22});
    Colorize->setText(QStringLiteral("Colorize"));
    ColorizeProgress = make<QProgressBar>(this, "ColorizeProgress", {326, 194, 96, 18});
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
    label("LabelWaardes", QStringLiteral("Waardes..."), {430, 20, 220, 18});
    TaalGeselecteerd = label("TaalGeselecteerd", station->country().listFile, {430, 40, 220, 18});
    RadioUrl = label("RadioUrl", station->site(), {430, 58, 220, 18});
    label("LabelVerstuurMelding", QStringLiteral("Verstuur melding:"), {430, 76, 220, 18});
    verstuurMelding = label("verstuurMelding", QStringLiteral("verstuurMelding"), {430, 94, 220, 18});
    recStream = label("recStream", QStringLiteral("streamrec"), {430, 112, 220, 18});
    MsnTekst = label("MsnTekst", QStringLiteral("Label16"), {430, 130, 220, 18});
    gESelecteerdland = make<QLineEdit>(this, "gESelecteerdland", {430, 148, 220, 22});
    gESelecteerdland->setText(station->language());
    label("LabelErrorZendersLaden", QStringLiteral("errorZendersLaden:"), {430, 174, 130, 18});
    errorZendersLaden = label("errorZendersLaden", QStringLiteral("0"), {560, 174, 90, 18});
    label("LabelErrorInstellingenLaden", QStringLiteral("errorInstellingenLaden:"), {430, 192, 130, 18});
    errorInstellingenLaden = label("errorInstellingenLaden", QStringLiteral("0"), {560, 192, 90, 18});
    skinfout = label("skinfout", QStringLiteral("skinfout"), {430, 210, 220, 18});
    List4 = make<QListWidget>(this, "List4", {10, 414, 640, 130});

    connect(station, &CurrentStation::countryChanged, this,
            [this, station] { TaalGeselecteerd->setText(station->country().listFile); });
    connect(station, &CurrentStation::stationChanged, this, [this, station] { RadioUrl->setText(station->site()); });
    connect(station, &CurrentStation::languageChanged, this, [this, station] {
        if (gESelecteerdland->text() != station->language())
            gESelecteerdland->setText(station->language());
    });
    connect(gESelecteerdland, &QLineEdit::textEdited, station, &CurrentStation::setLanguage);
}

void DiagnosticsFrame::toggle()
{
    if (!isVisible()) {
        move(0, y());
        raise();
        show();
    } else {
        hide();
    }
}
