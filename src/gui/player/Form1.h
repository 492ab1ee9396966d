#pragma once

#include "app/LanguageTexts.h"
#include "app/PlayState.h"
#include "player/AppServices.h"
#include "player/CurrentStation.h"
#include "skins/SkinLoader.h"

#include <QPointer>
#include <QWidget>

class DesktopNotifier;
class DiagnosticsFrame;
class DirectoryReporter;
class FavouritesList;
class LastStation;
class LinkLabel;
class ListenerFeatures;
class MprisService;
class PlayerStatusPresenter;
class QLabel;
class QListWidget;
class QMenu;
class QAction;
class QPushButton;
class QTimer;
class Record;
class SkinImage;
class Slider;
class StationListLoader;
class TrayIcon;
class VisualisationFrame;
class WebView;

// The main window. The station, its country and the interface language live in the
// current station, which the window owns and hands to the parts that follow it; its
// named labels show them. Its layout, the diagnostics frame, the player's status, the
// directory reports and the dialogs each have a file of their own.
class Form1 final : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kWidth = 676;
    static constexpr int kHeight = 564;
    static constexpr int kHeadHeight = 92;

    explicit Form1(const AppServices &services, QWidget *parent = nullptr);
    ~Form1() override;

    // The load handler: language holder, placeholder entry, now-playing text, home page;
    // starts the timers. The window stays hidden until the caller shows it.
    void load();
    // Restored, raised and activated: what a second start and the desktop's "raise" ask.
    void bringForward();

    const LanguageTexts &texts() const { return m_texts; }
    QString iniPath() const;
    QString language() const;

    // Station list click, by row, as a click on List1 does it.
    void List1_Click();
    void Command3_Click();
    // Plays a stream address from outside the lists (the desktop's "open URI"): it becomes
    // the current station with its play report, as a list click does.
    void playAddress(const QString &url, const QString &name);
    // Puts text into the report channel; a text different from the channel's current
    // caption is logged in List4 and sent to the directory server.
    void raiseReport(const QString &text);
    // The tray menu's "Close": the last station is stored, then the program ends.
    void quitFromTray();
    // Any way out that is no window close (a termination signal, a request to quit the
    // application): the last station is stored, the recorder closed, and the program ends.
    void endProgram();
    // The last station as it is now into INST.INI, unless exactly these values were
    // stored last: the session's end and the program's last moment both call it, and one
    // exit writes once.
    void rememberForExit();
    void toggleMute(); // the tray menu's mute item
    void Command4_Click(); // opens the recorder on the recordable address
    // History, sleep timer, alarm and the favourites on the media keys; made by load().
    ListenerFeatures *listener() const { return m_listener; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Form1Layout.cpp: the controls, their look and their captions.
    void buildControls();
    void buildStationViews();
    void buildTray();
    void buildTimers();
    void applyPlainStyle(const QImage &frame = {}); // colours drawn against frame
    void applyTexts(); // the Timer5 pass
    void onTimer2(); // applies the skin
    // Form1Dialogs.cpp: the dialogs the window opens, wired to the current station.
    void openSettings(); // Label4
    void openCountryChooser(); // Label1, TaalGeselecteerdTekst
    void openSearch(); // Label12
    struct DirectoryDialogContext dialogContext();
    // Form1.cpp
    void buildDesktopService();
    void buildLastStation();
    void buildListenerFeatures();
    void showPlaceholder();
    void onPlayerBuffering(bool start);
    void onPlayerError();
    void onStationListLoaded(const QStringList &names, const QStringList &urls, const QStringList &homepages);
    void onTimer6();
    void onVolumeChange(int value);
    void onVolumeMouseMove();
    struct RememberedStation rememberedStation() const;
    // The one way a station starts: from the list, a favourite, the desktop or the alarm.
    // The player gets the address, the station changes, the play report goes out.
    void startStation(const QString &name, const QString &url, const QString &site);
    // The player gets an address on its own (restore, search): the station follows it.
    // An address the user chose and the player refuses is told to the user.
    void setPlayerUrl(const QString &url, bool chosen);
    void navigate(const QUrl &url);
    void showNavigationError();
    void openStationSite();
    void showTrayIcon();
    bool trayUsable() const;

    AppServices m_services;
    LanguageTexts m_texts;
    CurrentStation m_station;
    StationListLoader *m_loader = nullptr;
    DirectoryReporter *m_reporter = nullptr;
    PlayerStatusPresenter *m_status = nullptr;
    bool m_showsPlaceholder = false; // List1 holds the "error14" line, not stations
    bool m_quitting = false; // the tray's "Close" path: the close box may not hide
    MprisService *m_mpris = nullptr; // the desktop's view of the player (media keys, panels)
    DesktopNotifier *m_notifier = nullptr;
    QPointer<Record> m_recorder; // the open recorder window, which deletes itself on close
    LastStation *m_last = nullptr; // Timer3's restore and the close box's memory
    ListenerFeatures *m_listener = nullptr;
    SkinLoader m_skinLoader;

    // Visible controls.
    SkinImage *Image1 = nullptr; // the skin's head
    SkinImage *Image2 = nullptr; // the skin's frame
    QLabel *PlainHead = nullptr;
    QListWidget *List1 = nullptr;
    FavouritesList *File1 = nullptr;
    LinkLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    LinkLabel *Label3 = nullptr;
    LinkLabel *Label4 = nullptr;
    LinkLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Label8 = nullptr;
    LinkLabel *Label9 = nullptr;
    QLabel *Label10 = nullptr;
    QLabel *Label11 = nullptr;
    LinkLabel *Label12 = nullptr;
    QLabel *Label13 = nullptr;
    QLabel *Label14 = nullptr;
    LinkLabel *Label15 = nullptr;
    QLabel *ZenderNaam = nullptr;
    LinkLabel *TaalGeselecteerdTekst = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command3 = nullptr;
    QPushButton *Command4 = nullptr;
    Slider *Slider1 = nullptr;
    WebView *WebBrowser1 = nullptr;
    VisualisationFrame *Frame2 = nullptr;
    TrayIcon *TrayIcon1 = nullptr;
    QMenu *IconTray = nullptr;
    QAction *muting = nullptr;
    QAction *stopspelen = nullptr;
    QAction *openAction = nullptr;
    QAction *sluit = nullptr;

    DiagnosticsFrame *Frame1 = nullptr; // the hidden state and the logs

    QTimer *Timer2 = nullptr;
    QTimer *Timer4 = nullptr;
    QTimer *Timer5 = nullptr;
    QTimer *Timer6 = nullptr;
    QTimer *Timer7 = nullptr;
};
