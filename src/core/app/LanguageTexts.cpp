#include "app/LanguageTexts.h"

#include "app/IniFile.h"

#include <utility>

LanguageTexts::LanguageTexts(QString programFolder, LanguageSource currentLanguage)
    : m_programFolder(std::move(programFolder))
    , m_currentLanguage(std::move(currentLanguage))
{ }

QString LanguageTexts::languageFile() const
{
    return programFilePath(m_programFolder, QStringLiteral("lang.ini"));
}

QString LanguageTexts::TaalTekst(const QString &key) const
{
    const QString language = m_currentLanguage ? m_currentLanguage() : QString();
    if (language.isEmpty())
        return {};
    if (!m_cacheValid || language != m_cachedLanguage) {
        m_cache = ReadINISection(languageFile(), language);
        m_cachedLanguage = language;
        m_cacheValid = true;
    }
    return m_cache.value(key.toLower());
}

QString TaalTekst(const QString &programFolder, const QString &language, const QString &key)
{
    if (language.isEmpty())
        return {};
    return ReadINI(programFilePath(programFolder, QStringLiteral("lang.ini")), language, key);
}
