#pragma once

#include "player/Favourites.h"

#include <QListWidget>
#include <functional>
#include <optional>

class LanguageTexts;

// The main window's favourites list File1: the station names of the favourites
// folder, sorted, with the add and remove actions of the window's two buttons and a
// context menu that also exports and imports playlists. It holds no station state:
// the current station is asked for when adding, and a click hands the loaded
// favourite to the window, which plays it.
class FavouritesList final : public QListWidget
{
    Q_OBJECT
public:
    struct Station
    {
        QString naam; // caption of ZenderNaam
        QString url; // the player's URL
        QString website; // caption of RadioUrl
    };
    using StationSource = std::function<Station()>;

    // Messages take their texts from texts, which must outlive the list.
    FavouritesList(const LanguageTexts &texts, StationSource currentStation, QWidget *parent = nullptr);

    // File1's path: the favourites folder of programFolder, created when missing, then
    // listed. False when the folder cannot be created (the restore retries).
    bool setPath(const QString &programFolder);
    bool hasPath() const { return m_store.has_value(); }
    const Favourites *store() const { return m_store ? &*m_store : nullptr; }

    // Reads the folder again, keeping the selection on the same file when it is still there.
    void refresh();
    // The selected favourite's file name; empty when none is selected.
    QString selectedFileName() const;

public Q_SLOTS:
    // Command1: adds the current station ("error11" without a name, "error12" on failure).
    void Command1_Click();
    // Command2: deletes the selected favourite without asking ("error13" when none is
    // selected; a failed delete is silent).
    void Command2_Click();
    void exportPlaylist(); // asks for a file; M3U or PLS after its name
    void importPlaylist(); // asks for a file, adds its stations, tells how many

Q_SIGNALS:
    // A favourite was clicked and read: the window starts it as it starts a station of
    // the list (the player's URL, the current station, the play report).
    void playFavourite(const QString &naam, const QString &url, const QString &website);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void File1_Click(const QString &fileName);

    const LanguageTexts &m_texts;
    StationSource m_currentStation;
    std::optional<Favourites> m_store;
};
