#pragma once

#include "app/LanguageTexts.h"
#include "skins/SkinnedDialog.h"

struct OldInstallation;
class QPushButton;
class QTimer;
class Registry;

// The upgrade window: two seconds after it opens it looks for an older installation
// through the autostart entries and, when the user agrees, takes over its
// settings, last station and favourites and turns it into a forwarder to this program.
// It closes itself at the end of every path.
class Form7 final : public SkinnedDialog
{
    Q_OBJECT
public:
    static constexpr int kWidth = 420;
    static constexpr int kHeight = 190;
    static constexpr int kDelayMs = 2000;

    // texts: the first-run window's lookup. programPath: this program's executable.
    Form7(QString programFolder, LanguageTexts texts, const Registry &registry, QString programPath,
          QWidget *parent = nullptr);

    void Command1_Click();
    // The timer's work; public so that tests can run it without waiting.
    void Timer1_Timer();

private:
    void takeOver(const OldInstallation &old);
    void copyFavourites(const OldInstallation &old);
    void fail();
    QString iniPath() const;

    QString m_programFolder;
    LanguageTexts m_texts;
    const Registry &m_registry;
    QString m_programPath;
    QPushButton *Command1 = nullptr;
    QTimer *Timer1 = nullptr;
};
