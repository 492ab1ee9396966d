#pragma once

#include <QString>
#include <functional>

// Interface texts from lang.ini in the program folder, under the section named after
// the current language. The file is read again on every lookup: it is tiny, and a
// language chosen in the settings dialog takes effect for every window opened later
// without anyone having to invalidate a cache.
class LanguageTexts final
{
public:
    using LanguageSource = std::function<QString()>;

    // currentLanguage is asked at each lookup; the main window answers with its
    // language holder, the first-run and upgrade windows with their own.
    LanguageTexts(QString programFolder, LanguageSource currentLanguage);

    // The text of key, or the empty text when the file, the language's section or the
    // key is missing. Callers apply an empty text as it is.
    QString TaalTekst(const QString &key) const;
    QString operator()(const QString &key) const { return TaalTekst(key); }

    QString languageFile() const;
    const QString &programFolder() const { return m_programFolder; }

private:
    QString m_programFolder;
    LanguageSource m_currentLanguage;
};

QString TaalTekst(const QString &programFolder, const QString &language, const QString &key);
