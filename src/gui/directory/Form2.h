#pragma once

#include "directory/CountryList.h"

#include <QDialog>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <optional>

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

// The country chooser. The country list downloads while the window is already open
// and usable (a busy indicator shows; OK waits for the list); a reply that arrives
// after the window was closed or the list was asked for again is dropped.
class Form2 final : public QDialog
{
    Q_OBJECT
public:
    // The main window's side of a choice, called in this order on OK.
    struct Hooks
    {
        std::function<void()> closeMedia; // the player's media is closed
        std::function<void(const QString &)> setZenderNaam; // gets " - "
        std::function<void(const QString &naam)> setLandNaam; // TaalGeselecteerdTekst
        std::function<void(const QString &bestand)> setLandBestand; // TaalGeselecteerd
        std::function<void()> showPlaceholder; // List1 holds only the "error14" text
        std::function<void()> startTimer1; // the station list of the new country loads
    };

    Form2(DirectoryDialogContext context, Hooks hooks, QWidget *parent = nullptr);
    ~Form2() override;

    // The skin loader puts the frame picture into Image1 and the bar picture into Image2.
    QLabel *image1() const { return Image1; }
    QLabel *image2() const { return Image2; }

    // Downloads the country list, fills List1 and selects "laadland". Called on load.
    void LaadLijst_Taal();
    bool isLoading() const { return m_waiting; }

    void Command1_Click(); // OK; a double click on a country does the same
    void Command2_Click(); // Cancel

    void done(int result) override;

Q_SIGNALS:
    // The list text, for the main window's DownloadInfo.
    void downloaded(const QString &text);

private:
    void applyTexts(); // the Timer1 pass
    void onCountryList(quint64 generation, const QString &body, bool ok);
    void setLoading(bool loading);
    void abandonFetch();

    DirectoryDialogContext m_context;
    Hooks m_hooks;
    QStringList List2; // list file of each country, parallel to List1
    std::optional<quint64> m_requestId;
    bool m_waiting = false;
    quint64 m_generation = 0;

    QLabel *Image1 = nullptr;
    QLabel *Image2 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *LabelBusy = nullptr;
    QProgressBar *Busy = nullptr;
    QListWidget *List1 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QTimer Timer1;
};
