#include "skins/SkinLoader.h"

#include "app/IniFile.h"

#include <utility>

SkinLoader::SkinLoader(QString programFolder)
    : m_programFolder(std::move(programFolder))
{ }

MainSkinResult SkinLoader::loadMain()
{
    MainSkinResult result;
    result.look = readSkin(m_programFolder, SkinPart::Head | SkinPart::Frame | SkinPart::Slider);
    if (result.look.ok()) {
        result.outcome = SkinLoadOutcome::Loaded;
        return result;
    }

    SkinLook &look = result.look;
    look.head = look.frame = {};
    look.slider = {};
    look.palette = skinPalette({});
    result.messages << QStringLiteral("error16");
    result.outcome = SkinLoadOutcome::Retry;
    if (m_failed) {
        if (look.name.compare(QLatin1String(kFallbackSkin), Qt::CaseInsensitive) == 0) {
            result.outcome = SkinLoadOutcome::GaveUp;
        } else {
            result.messages << QStringLiteral("error19");
            WriteINI(programFilePath(m_programFolder, QStringLiteral("INST.INI")), QStringLiteral("Online Radio"),
                     QStringLiteral("skin"), QLatin1String(kFallbackSkin));
        }
    }
    m_failed = true;
    return result;
}
