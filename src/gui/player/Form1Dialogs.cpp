#include "app/MediaPlayer.h"
#include "controls/MessageBox.h"
#include "controls/Tavrilon.h"
#include "directory/Form2.h"
#include "directory/Form3.h"
#include "directory/StationListLoader.h"
#include "player/DiagnosticsFrame.h"
#include "player/DirectoryReporter.h"
#include "player/Form1.h"
#include "recorder/Record.h"
#include "settings/Form4.h"
#include "skins/SkinnedDialog.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPixmap>
#include <QTimer>

// The dialogs the window opens, and what their answers change: the country chooser and
// the search set the current station, the settings its language, the recorder reads it.

DirectoryDialogContext Form1::dialogContext()
{
    return {&m_texts, [this] { return language(); }, iniPath(), m_services.directoryBase, m_services.inet1};
}

void Form1::openCountryChooser()
{
    Form2::Hooks hooks;
    // The closed media leaves the station without an address; each step is announced
    // through the current station like any other change of it.
    hooks.closeMedia = [this] {
        m_services.player->close();
        m_station.setAddress(m_services.player->url());
    };
    hooks.setZenderNaam = [this](const QString &naam) {
        m_station.setName(naam);
    };
    hooks.setLandNaam = [this](const QString &naam) {
        m_station.setCountry({naam, m_station.country().listFile});
    };
    hooks.setLandBestand = [this](const QString &bestand) {
        m_station.setCountry({m_station.country().name, bestand});
    };
    hooks.showPlaceholder = [this] {
        showPlaceholder();
    };
    hooks.startTimer1 = [this] {
        m_loader->start();
        m_loader->onTimer1(); // the new country's stations load at once
    };
    auto *dialog = new Form2(dialogContext(), std::move(hooks), this);
    connect(dialog, &Form2::downloaded, Frame1->DownloadInfo, &Tavrilon::setText);
    openSkinnedDialog(dialog, m_services.programFolder, m_texts, this);
}

void Form1::openSearch()
{
    Form3::Hooks hooks;
    // A search result starts without a play report, as it always has.
    hooks.setUrl = [this](const QString &url) {
        setPlayerUrl(url, true);
    };
    hooks.setZenderNaam = [this](const QString &naam) {
        m_station.setName(naam);
    };
    hooks.setRadioUrl = [this](const QString &homepage) {
        m_station.setSite(homepage);
    };
    auto *dialog = new Form3(dialogContext(), std::move(hooks), this);
    connect(dialog, &Form3::downloaded, Frame1->DownloadInfo, &Tavrilon::setText);
    openSkinnedDialog(dialog, m_services.programFolder, m_texts, this);
}

void Form1::openSettings()
{
    if (!m_services.registry)
        return;
    auto *settings = new Form4(m_services.programFolder, m_texts, *m_services.registry,
                               QCoreApplication::applicationFilePath(), this);
    connect(settings, &Form4::languageStored, &m_station, &CurrentStation::setLanguage);
    connect(settings, &Form4::skinChosen, Timer2, qOverload<>(&QTimer::start));
    openSkinnedDialog(settings, m_services.programFolder, m_texts, this);
}

void Form1::Command4_Click()
{
    RecordSetup setup {m_services.programFolder,
                       m_texts,
                       Frame1->recStream->text(),
                       m_station.name(),
                       m_services.player,
                       [this](const QString &report) {
                           m_reporter->raiseReport(report);
                       }};
    m_recorder = Record::openRecorder(this, setup);
}
