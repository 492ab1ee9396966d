#pragma once

#include <QString>
#include <QUrl>

class MediaPlayer;
class Registry;
class Transfer;

// What Main creates once and hands to the windows; a test hands in fakes.
struct AppServices
{
    QString programFolder;
    QUrl directoryBase; // ends in "/"
    Transfer *inet1 = nullptr; // lists: stations, countries, search
    Transfer *inet2 = nullptr; // play reports
    Transfer *inet3 = nullptr; // recordable-address questions
    MediaPlayer *player = nullptr;
    Transfer *web = nullptr; // the embedded browser's pages and pictures; inet1 when unset
    const Registry *registry = nullptr; // autostart entries; the settings dialog needs it
    // INST.INI's "firstrun" read at start-up: the first run has not been completed yet.
    bool firstRunPending = false;
};
