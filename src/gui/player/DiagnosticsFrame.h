#pragma once

#include <QGroupBox>

class CurrentStation;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class Tavrilon;

// The hidden frame "Develop" that Ctrl+D on the remove button opens: the station list's
// addresses and home pages, every downloaded list text, the report log and the values
// the window keeps. Its labels of the station, the country and the language are views
// of the current station; the language can be typed here too.
class DiagnosticsFrame final : public QGroupBox
{
    Q_OBJECT
public:
    // Placed just right of window, out of sight until toggled; station must outlive it.
    DiagnosticsFrame(CurrentStation *station, QWidget *window);

    void toggle(); // shown at the window's left edge, or hidden again

    // The controls by their design names, as the window and the tests reach them.
    QListWidget *List2 = nullptr; // stream addresses of List1's stations, by position
    QListWidget *List3 = nullptr; // their home pages
    QListWidget *List4 = nullptr; // every report raised
    Tavrilon *DownloadInfo = nullptr; // every downloaded list text, as it arrived
    QPushButton *Colorize = nullptr; // colours DownloadInfo's HTML on request
    QProgressBar *ColorizeProgress = nullptr;
    QLabel *TaalGeselecteerd = nullptr;
    QLabel *RadioUrl = nullptr;
    QLabel *verstuurMelding = nullptr;
    QLabel *recStream = nullptr;
    QLabel *MsnTekst = nullptr;
    QLabel *errorZendersLaden = nullptr;
    QLabel *errorInstellingenLaden = nullptr;
    QLabel *skinfout = nullptr;
    QLineEdit *gESelecteerdland = nullptr;
};
