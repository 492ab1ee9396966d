#pragma once

#include "player/SongHistory.h"
#include "skins/SkinnedDialog.h"

#include <QUrl>
#include <functional>

class LanguageTexts;
class QCheckBox;
class QPushButton;
class QTreeWidget;

// The address that looks a song up: pattern with "%1" replaced by the percent-encoded
// song (appended when the pattern has no "%1"). Only an http or https pattern is used;
// anything else gives kDefaultSongSearch, so a changed INST.INI cannot start a program.
inline constexpr auto kDefaultSongSearch = "https://duckduckgo.com/?q=%1";
QUrl songSearchUrl(const QString &pattern, const QString &song);

// The songs heard, newest first, optionally only those of the playing station. For the
// chosen song: copy its whole title, or look it up in the desktop's browser.
class HistoryWindow final : public SkinnedDialog
{
    Q_OBJECT
public:
    struct Context
    {
        const SongHistory *history = nullptr;
        std::function<QString()> playingUrl;
        QString searchPattern; // INST.INI's, or empty for the default
    };

    HistoryWindow(const LanguageTexts &texts, Context context, QWidget *parent = nullptr);

    // Fills the list again from the history (a new song came, the filter changed).
    void refresh();
    // The whole title of the chosen song, empty when none is chosen.
    QString selectedTitle() const;
    void copySelected();
    void searchSelected();

private:
    const LanguageTexts &m_texts;
    Context m_context;
    QTreeWidget *List1 = nullptr;
    QCheckBox *Check1 = nullptr;
    QPushButton *Command1 = nullptr; // copy
    QPushButton *Command2 = nullptr; // search
    QPushButton *Command3 = nullptr; // close
};
