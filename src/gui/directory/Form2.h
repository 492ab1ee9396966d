#pragma once

#include "app/ReplyGuard.h"
#include "directory/CountryList.h"
#include "skins/SkinnedDialog.h"

#include <QStringList>
#include <QTimer>
#include <functional>

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

// The country chooser. The country list downloads while the window is already open
// and usable (a busy indicator shows; OK waits for the list); a reply that arrives
// after the window was closed or the list was asked for again is dropped.
class Form2 final : public SkinnedDialog
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

    // Downloads the country list, fills List1 and selects "laadland". Called on load.
    void LaadLijst_Taal();
    bool isLoading() const { return m_fetch.waiting(); }

    void Command1_Click(); // OK; a double click on a country does the same
    void Command2_Click(); // Cancel

    void done(int result) override;

Q_SIGNALS:
    // The list text, for the main window's DownloadInfo.
    void downloaded(const QString &text);

private:
    void applyTexts(); // the Timer1 pass
    void onCountryList(const QString &body, bool ok);
    void setLoading(bool loading);

    DirectoryDialogContext m_context;
    Hooks m_hooks;
    QStringList List2; // list file of each country, parallel to List1
    ReplyGuard m_fetch;

    QLabel *Label2 = nullptr;
    QLabel *LabelBusy = nullptr;
    QProgressBar *Busy = nullptr;
    QListWidget *List1 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QTimer Timer1;
};
