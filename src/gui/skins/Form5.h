#pragma once

#include "skins/SkinnedDialog.h"

class LanguageTexts;
class QListWidget;
class QPushButton;

// Skin options: lists the installed skins; a click makes that skin the current one at
// once (INST.INI) and asks the main window to re-load its skin through skinChosen.
class Form5 final : public SkinnedDialog
{
    Q_OBJECT
public:
    static constexpr int kWidth = 460;
    static constexpr int kHeight = 380;

    Form5(QString programFolder, const LanguageTexts &texts, QWidget *parent = nullptr);

    void List1_Click(int row);

Q_SIGNALS:
    // Connect to the main window: enable Timer2.
    void skinChosen(const QString &name);

private:
    QString m_programFolder;
    QListWidget *List1 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QPushButton *Command1 = nullptr;
};
