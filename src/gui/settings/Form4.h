#pragma once

#include "app/LanguageTexts.h"
#include "settings/Registry.h"
#include "settings/SettingsValues.h"
#include "skins/SkinnedDialog.h"

#include <array>

class QComboBox;
class QPushButton;
class PictureCheck;

// The settings dialog: five flags and the interface language in INST.INI, the autostart
// entries, and the way to the skin options. Opened through openSkinnedDialog.
class Form4 final : public SkinnedDialog
{
    Q_OBJECT
public:
    static constexpr int kWidth = 470;
    static constexpr int kHeight = 380;
    static constexpr auto kRestartHint = "To confirm, please restart the program.";

    // texts: the caller's lookup (the main window's language or the first-run
    // window's). programPath: the executable the autostart entry starts.
    Form4(QString programFolder, LanguageTexts texts, const Registry &registry, QString programPath,
          QWidget *parent = nullptr);

    void Command1_Click(); // OK: store, autostart, close
    void Command2_Click(); // Cancel
    void Command3_Click(); // Skins Options

    SettingsValues values() const;

Q_SIGNALS:
    // After OK stored the language: the main window puts it in its language holder.
    void languageStored(const QString &language);
    // A skin was clicked in the skin options: the main window enables Timer2.
    void skinChosen(const QString &name);

private:
    QString iniPath() const;

    QString m_programFolder;
    LanguageTexts m_texts;
    const Registry &m_registry;
    QString m_programPath;

    std::array<PictureCheck *, 5> m_checks {}; // Check1 .. Check5
    QComboBox *Combo1 = nullptr;
    QLabel *labelLang = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command3 = nullptr;
};
