#pragma once

#include <QString>
#include <QUrl>
#include <functional>

class LanguageTexts;
class Transfer;

// What the country chooser and the station search take from the main window.
struct DirectoryDialogContext
{
    const LanguageTexts *texts = nullptr; // must outlive the dialog
    std::function<QString()> language; // the language holder gESelecteerdland
    QString iniPath; // INST.INI of the program folder
    QUrl directoryBase; // ends in "/"
    Transfer *inet1 = nullptr; // must outlive the dialog
};

// Texts from the directory server are refused beyond these sizes: the country list
// is a few kilobytes, a search answer at most a large country's list.
constexpr qsizetype kMaxCountryListChars = 1'000'000;
constexpr qsizetype kMaxSearchAnswerChars = 8'000'000;

// "radio/inter/keuze.txt" for the language "Nederlands" exactly (case-sensitive: it is
// the name of a section of lang.ini), "radio/inter/keuze-uk.txt" for every other.
QUrl countryListUrl(const QUrl &directoryBase, const QString &language);

// A remembered list position ("laadland", "zoekland") when it is a decimal number
// inside 0..count-1; -1 otherwise.
int rememberedPosition(const QString &text, int count);
