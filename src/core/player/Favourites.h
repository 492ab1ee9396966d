#pragma once

#include "player/Playlist.h"

#include <QList>
#include <QString>

// One favourite: a small INI file in the favourites folder, section "Internet", keys
// "naam", "url" and "website".
struct Favourite
{
    QString fileName; // the file's name in the folder, as on disk
    QString naam; // station name; what the list shows
    QString url;
    QString website;
};

enum class FavouriteError {
    None,
    NoName, // empty station name
    CannotWrite, // folder or file could not be written
    NotFound, // the file is gone (deleted elsewhere meanwhile)
    CannotRead, // unreadable or larger than any favourite file
    CannotDelete,
};

struct PlaylistImportResult
{
    FavouriteError error = FavouriteError::None; // CannotRead: the playlist file
    int added = 0;
    int refused = 0; // entries that were not http/https or did not fit
};

// The favourites folder of the program folder, without widgets. Station names become
// file names through a reversible mapping, so that a name the file system refuses
// ("/", NUL, ".", "..", a leading dot) still makes a favourite; a name too long for
// one file name is cut and made unique with a digest of the whole name, and the whole
// name is kept in "naam", which is always what the list shows.
//
// list() reads the folder once and each file once: the case-insensitive file lookup of
// ReadINI lists the folder per call, which for a thousand favourites would mean a
// million folder entries read per refresh.
class Favourites final
{
public:
    static constexpr qint64 kMaxFileBytes = 64 * 1024; // a favourite is three short lines
    static constexpr int kMaxEntries = 10000;
    // The file system allows 255 bytes; a write goes through a temporary file named
    // after the target plus seven characters, which must fit as well.
    static constexpr int kMaxFileNameBytes = 240;

    explicit Favourites(QString programFolder);

    // program folder + "/favo", in the spelling found on disk.
    QString folder() const;
    // Creates the folder when it is missing; false when that fails.
    bool ensureFolder() const;

    // Every favourite, sorted by name without regard to case. Files whose names start
    // with a dot are not favourites (the mapping never makes such names; they are
    // hidden files such as ".gitkeep" or an editor's backup).
    QList<Favourite> list() const;

    // Writes "naam", then "url", then "website"; a favourite of the same name (in any
    // case) is overwritten key by key. fileName gets the name written to.
    FavouriteError add(const QString &naam, const QString &url, const QString &website,
                       QString *fileName = nullptr) const;
    // fileName as list() gave it.
    FavouriteError remove(const QString &fileName) const;
    // Missing keys give empty values; error is set when the file cannot be read.
    Favourite load(const QString &fileName, FavouriteError *error = nullptr) const;

    FavouriteError exportPlaylist(const QString &path, PlaylistFormat format) const;
    // Every http/https entry becomes a favourite named after its title (its address
    // when it has none).
    PlaylistImportResult importPlaylist(const QString &path) const;

    // The mapping between station names and file names.
    static QString fileNameFor(const QString &naam);
    // The name a file name stands for; for a shortened long name, the part kept.
    static QString nameFromFileName(const QString &fileName);

private:
    QString filePath(const QString &fileName) const;
    // The file add() writes naam to: the mapped name, or a file an older installation
    // wrote for the same station.
    QString existingFileFor(const QString &naam) const;

    QString m_programFolder;
};
