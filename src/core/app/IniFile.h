#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>

class QIODevice;

// The settings files (INST.INI, lang.ini, favourites, skin information) are plain INI
// text. Section, key and file names are compared without regard to case, because the
// callers spell the same key and file in several ways ("INST.INI"/"inst.ini",
// "Volume"/"volume") and mean one thing.

enum class IniWriteResult {
    Ok,
    InvalidName, // empty section or key, or one holding a line break, "]" or "="
    CannotCreateFolder,
    CannotOpen, // the temporary file next to the target could not be created
    CannotWrite,
    CannotCommit, // the finished temporary file could not be renamed into place
};

// Writes the whole new content of a file into the open temporary file. Only the
// tests replace it, to break off a write half-way as a full disk would.
using IniBodyWriter = std::function<bool(QIODevice &device, const QByteArray &content)>;

// Picks the existing entry whose name differs from the last component only in case,
// the same one for every spelling when several exist (the first in name order); the
// folders above are matched that way only when the exact one does not exist. Without a
// match the path is returned unchanged.
QString resolveIniPath(const QString &path);
QString programFilePath(const QString &programFolder, const QString &name);

// The value of key in section, whole and without trailing blanks; the empty text when
// the file, the section or the key does not exist.
QString ReadINI(const QString &file, const QString &section, const QString &key);

// Every key of section (names folded to lower case) with its value, as ReadINI would
// read each one: one pass over the file for callers that need many keys.
QHash<QString, QString> ReadINISection(const QString &file, const QString &section);
// The values of keys in section, in the order of keys, from the file at exactly path:
// for callers that listed the folder themselves and know each file's spelling (the
// favourites), so that reading a thousand files does not list the folder a thousand
// times. Missing file, section or key give empty texts, as with ReadINI.
QStringList readIniValues(const QString &exactPath, const QString &section, const QStringList &keys);

// Sets key in section, creating file, section and key as needed, and keeps every other
// line of the file as it was. The file is replaced in one rename, so a crash or a full
// disk leaves either the old or the new file, never half of one. Line breaks inside
// value are written as blanks: a value is one line.
IniWriteResult WriteINI(const QString &file, const QString &section, const QString &key, const QString &value);
IniWriteResult WriteINI(const QString &file, const QString &section, const QString &key, const QString &value,
                        const IniBodyWriter &writer);

// Decodes INI bytes: UTF-8 (with or without a byte-order mark) when they are valid
// UTF-8, otherwise line by line, lines that are not UTF-8 being Windows-1252 (INI files
// written by Windows programs use that code page).
QString decodeIniText(const QByteArray &bytes);
