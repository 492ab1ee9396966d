#pragma once

#include <QString>
#include <QStringList>

// The installed skins: one "<name>.logskn" information file each in the program
// folder's "skins" folder.

// The names, sorted by file name, shown as they are on disk minus ".logskn". The count
// is bounded: the folder may hold anything.
QStringList installedSkins(const QString &programFolder);

struct SkinInformation
{
    QString authorName; // "Auteur"/"naam"
    QString authorWebsite; // "Auteur"/"website"
    QString skinName; // "Skin"/"naam"
    QString date; // "Skin"/"SetupDatum"
};

// Missing file, section or key read as empty texts.
SkinInformation readSkinInformation(const QString &programFolder, const QString &name);
