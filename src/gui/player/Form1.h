#pragma once

#include "app/LanguageTexts.h"
#include "app/PlayState.h"
#include "app/ReplyGuard.h"
#include "player/AppServices.h"
#include "skins/SkinLoader.h"

#include <QPointer>
#include <QWidget>

class DesktopNotifier;
class FavouritesList;
class LastStation;
class LinkLabel;
class ListenerFeatures;
class MprisService;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QAction;
class QProgressBar;
class Tavrilon;
class QPushButton;
class QTimer;
class Record;
class SkinImage;
class Slider;
class StationListLoader;
class TrayIcon;
class VisualisationFrame;
class WebView;

// The main window. Its hidden labels hold the program's shared state (current station,
// country, language, report channel, recordable address), as the other windows expect
// to find it there.
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
    void buildControls();
    void buildTray();
    void buildDesktopService();
    void buildLastStation();
    void buildListenerFeatures();
    void onTimer2(); // applies the skin
    void openSettings(); // Label4
    void openCountryChooser(); // Label1, TaalGeselecteerdTekst
    void openSearch(); // Label12
    void showPlaceholder();
    struct DirectoryDialogContext dialogContext();
    void applyPlainStyle(const QImage &frame = {}); // colours drawn against frame
    void applyTexts(); // the Timer5 pass
    void onPlayerStatusChanged();
    void onPlayerBuffering(bool start);
    void onPlayerError();
    void onStationListLoaded(const QStringList &names, const QStringList &urls, const QStringList &homepages);
    void onTimer6();
    void onTimer7();
    void onVolumeChange(int value);
    void onVolumeMouseMove();
    void onZenderNaamChange();
    void askRecordable();
    struct RememberedStation currentStation() const;
    void setPlayCaption(const QString &key);
    void setStation(const QString &name, const QString &url, const QString &homepage);
    void toggleDiagnostics();
    void navigate(const QUrl &url);
    void showNavigationError();
    void openStationSite();
    void showTrayIcon();
    bool trayUsable() const;
    // The caption key for a play state; empty for states that keep the caption.
    static QString playCaptionKey(PlayState state);

    AppServices m_services;
    LanguageTexts m_texts;
    StationListLoader *m_loader = nullptr;
    bool m_showsPlaceholder = false; // List1 holds the "error14" line, not stations
    bool m_quitting = false; // the tray's "Close" path: the close box may not hide
    ReplyGuard m_ask; // the address question; a reply to an older one is dropped
    QString m_askedUrl; // the stream asked about since playback last started; empty: not yet
    bool m_recordable = false; // the answer for m_askedUrl named a recordable address
    // What the status handler last acted on: a change of status text alone (a new song)
    // is no new state.
    PlayState m_shownState = PlayState::Undefined;
    QString m_shownUrl;
    quint64 m_reportRequest = 0;
    MprisService *m_mpris = nullptr; // the desktop's view of the player (media keys, panels)
    DesktopNotifier *m_notifier = nullptr;
    QPointer<Record> m_recorder; // the open recorder window, which deletes itself on close
    QString m_lastTitle; // the song last announced, so a notice shows once per song
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

    // The diagnostics frame and the state it holds.
    QGroupBox *Frame1 = nullptr;
    QListWidget *List2 = nullptr;
    QListWidget *List3 = nullptr;
    QListWidget *List4 = nullptr;
    QLabel *TaalGeselecteerd = nullptr;
    QLabel *RadioUrl = nullptr;
    QLabel *verstuurMelding = nullptr;
    QLabel *recStream = nullptr;
    QLabel *MsnTekst = nullptr;
    QLabel *errorZendersLaden = nullptr;
    QLabel *errorInstellingenLaden = nullptr;
    QLabel *skinfout = nullptr;
    QLineEdit *gESelecteerdland = nullptr;
    Tavrilon *DownloadInfo = nullptr; // every downloaded list text, as it arrived
    QPushButton *Colorize = nullptr; // colours DownloadInfo's HTML on request
    QProgressBar *ColorizeProgress = nullptr;

    QTimer *Timer2 = nullptr;
    QTimer *Timer4 = nullptr;
    QTimer *Timer5 = nullptr;
    QTimer *Timer6 = nullptr;
    QTimer *Timer7 = nullptr;
};
