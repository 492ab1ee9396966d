#pragma once

#include <QHash>
#include <QString>
#include <functional>

// Interface texts from lang.ini in the program folder, under the section named after
// the current language. The language's section is read once and kept until the
// language changes: status texts are looked up on every ICY title and buffering step,
// and a language chosen in the settings dialog is still picked up by the next lookup.
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
    QString language() const { return m_currentLanguage ? m_currentLanguage() : QString(); }
    const QString &programFolder() const { return m_programFolder; }

private:
    QString m_programFolder;
    LanguageSource m_currentLanguage;
    // The section of the language last asked for, keys folded to lower case.
    mutable QString m_cachedLanguage;
    mutable QHash<QString, QString> m_cache;
    mutable bool m_cacheValid = false;
};

QString TaalTekst(const QString &programFolder, const QString &language, const QString &key);
