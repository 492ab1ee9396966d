#pragma once

#include "directory/CountryList.h"

#include <QDialog>
#include <QStringList>
#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

// The station search. The country filter and the search answers download while the
// window stays usable; a newer search or closing the window drops an older answer.
class Form3 final : public QDialog
{
    Q_OBJECT
public:
    // The main window's side of a result click, called in this order.
    struct Hooks
    {
        std::function<void(const QString &url)> setUrl; // the player's URL; it plays at once
        std::function<void(const QString &naam)> setZenderNaam;
        std::function<void(const QString &homepage)> setRadioUrl;
    };

    // Results beyond this many are not listed; a search that finds more is too broad to
    // browse anyway, and the list stays quick to fill and scroll.
    static constexpr int kMaxResults = 10000;

    Form3(DirectoryDialogContext context, Hooks hooks, QWidget *parent = nullptr);
    ~Form3() override;

    QLabel *image1() const { return Image1; }
    QLabel *image2() const { return Image2; }

    // The search address for a word and a country list file ("holland.txt" searches
    // "holland"; an empty file searches every country). Values are percent-encoded.
    // Empty when the file name is too short to be a list file name.
    static QUrl searchUrl(const QUrl &directoryBase, const QString &zoekWoord, const QString &bestand);

    void LaadLijst_Taal(); // fills the country filter and selects "zoekland"
    void LaadLijst_Zoek(const QString &ZoekWoord);
    bool isLoadingCountries() const { return m_countries.waiting; }
    // Also while a search waits for the country list, which decides its filter.
    bool isSearching() const { return m_search.waiting || m_pendingSearch; }

    void Command1_Click(); // OK; a double click on a result does the same
    void Command2_Click(); // Cancel: a station started from the results keeps playing
    void Command3_Click(); // search; so does Enter in the search box
    void List1_Click(int row);

    void done(int result) override;

Q_SIGNALS:
    void downloaded(const QString &text); // for the main window's DownloadInfo

private:
    struct Fetch
    {
        std::optional<quint64> id;
        bool waiting = false;
        quint64 generation = 0;
    };

    void applyTexts();
    quint64 begin(Fetch &fetch);
    void abandon(Fetch &fetch);
    bool current(Fetch &fetch, quint64 generation);
    void updateBusy();
    void onCountryList(const QString &body, bool ok);
    void onSearchAnswer(const QString &body, bool ok);
    void runPendingSearch();

    DirectoryDialogContext m_context;
    Hooks m_hooks;
    Fetch m_countries;
    Fetch m_search;
    bool m_countryPicked = false; // the user chose a filter before the list arrived
    std::optional<QString> m_pendingSearch; // typed before the country list arrived
    bool m_showsHint = true; // List1 holds the "f3list1" hint, not results

    QStringList List4; // list file of each Combo1 entry
    QStringList List2; // stream address of each result
    QStringList List3; // home page of each result

    QLabel *Image1 = nullptr;
    QLabel *Image2 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *Text1 = nullptr;
    QComboBox *Combo1 = nullptr;
    QPushButton *Command3 = nullptr;
    QProgressBar *Busy = nullptr;
    QListWidget *List1 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
};
