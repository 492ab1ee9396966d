#pragma once

#include "AppServices.h"
#include "LanguageTexts.h"

#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class StationListLoader;

// The main window. Its hidden labels hold the program's shared state (current station,
// country, language, report channel), as the other windows expect to find it there.
class Form1 final : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kWidth = 676;
    static constexpr int kHeight = 564;

    explicit Form1(const AppServices &services, QWidget *parent = nullptr);
    ~Form1() override;

    // The load handler: language holder, placeholder entry, now-playing text; starts the
    // timers. The window stays hidden until the caller shows it.
    void load();
    // Restored, raised and activated: what a second start asks of the running copy.
    void bringForward();

    const LanguageTexts &texts() const { return m_texts; }
    QString iniPath() const;

    // Station list click, by row, as a click on List1 does it.
    void List1_Click();
    void Command3_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void applyTexts(); // the Timer5 pass
    void onPlayerStatusChanged();
    void onStationListLoaded(const QStringList &names, const QStringList &urls, const QStringList &homepages);
    void onTimer7();
    void setPlayCaption(const QString &key);
    // The caption key for a play state; empty for states that keep the caption.
    static QString playCaptionKey(int state);

    AppServices m_services;
    LanguageTexts m_texts;
    StationListLoader *m_loader = nullptr;
    bool m_showsPlaceholder = false; // List1 holds the "error14" line, not stations

    // Visible controls.
    QListWidget *List1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Label8 = nullptr;
    QLabel *Label11 = nullptr;
    QLabel *Label14 = nullptr;
    QLabel *ZenderNaam = nullptr;
    QLabel *TaalGeselecteerdTekst = nullptr;
    QPushButton *Command3 = nullptr;

    // The diagnostics frame and the state it holds.
    QGroupBox *Frame1 = nullptr;
    QListWidget *List2 = nullptr;
    QListWidget *List3 = nullptr;
    QLabel *TaalGeselecteerd = nullptr;
    QLabel *RadioUrl = nullptr;
    QLabel *verstuurMelding = nullptr;
    QLabel *recStream = nullptr;
    QLabel *MsnTekst = nullptr;
    QLabel *errorZendersLaden = nullptr;
    QLineEdit *gESelecteerdland = nullptr;
    QPlainTextEdit *DownloadInfo = nullptr;

    QTimer *Timer5 = nullptr;
    QTimer *Timer7 = nullptr;
};
