#include "skins/SkinCatalog.h"

#include "app/IniFile.h"
#include "skins/SkinLoader.h"

#include <QDir>

namespace {
constexpr int kMaxSkins = 500;
const QLatin1String kExtension(".logskn");
} // namespace

QStringList installedSkins(const QString &programFolder)
{
    const QDir dir(programFolder + QStringLiteral("/skins"));
    const QStringList files =
        dir.entryList({QStringLiteral("*") + kExtension}, QDir::Files | QDir::Readable, QDir::Name);
    QStringList names;
    for (const QString &file : files) {
        if (names.size() == kMaxSkins)
            break;
        // A name that could not be used as a skin (a leading dot) is not offered.
        const QString name = file.left(file.size() - kExtension.size());
        if (isUsableSkinName(name))
            names << name;
    }
    return names;
}

SkinInformation readSkinInformation(const QString &programFolder, const QString &name)
{
    if (!isUsableSkinName(name))
        return {};
    const QString file = programFolder + QStringLiteral("/skins/") + name + kExtension;
    const auto read = [&](const char *section, const char *key) {
        return ReadINI(file, QLatin1String(section), QLatin1String(key));
    };
    return {read("Auteur", "naam"), read("Auteur", "website"), read("Skin", "naam"), read("Skin", "SetupDatum")};
}
