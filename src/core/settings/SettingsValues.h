#pragma once

#include "app/IniFile.h"

#include <QString>
#include <QStringList>

// The settings dialog's values as INST.INI holds them. Flags are 1 (on) or 0 (off).
struct SettingsValues
{
    int laden = 0; // "Windows"/"laden": start with the system
    int afspelen = 0; // "Online Radio"/"afspelen": play the last station at start
    int grootscherm = 0; // "Online Radio"/"grootscherm": open the window at start
    int xsluiten = 0; // "Online Radio"/"xsluiten": the close box quits
    int visual = 0; // "Online Radio"/"visual": visualisation while playing
    int combotaal = 0; // position in languageNames()

    QString taal() const;
};

// The languages offered, in list order; the position is what "combotaal" stores.
QStringList languageNames();

// Every value the file lacks, or holds as no number, counts as 0, so the dialog always
// opens complete. A position outside the list falls back to the language "taal" names,
// and then to the first language: a language is always chosen and an empty "taal" is
// never stored.
SettingsValues loadSettings(const QString &instIni);

// Writes laden, afspelen, grootscherm, xsluiten, combotaal, taal, visual in that
// order and stops at the first write that fails, returning its result.
IniWriteResult storeSettings(const QString &instIni, const SettingsValues &values);
