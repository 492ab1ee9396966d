#pragma once

#include "app/LanguageTexts.h"
#include "recorder/StreamRecording.h"

#include <QDialog>
#include <QTime>
#include <functional>

class MediaPlayer;
class PlanEditor;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

// What the main window hands the recorder when its record button is clicked.
struct RecordSetup
{
    QString programFolder; // holds INST.INI and lang.ini
    LanguageTexts texts; // the main window's, so the recorder follows its language
    QString recStream; // "host:port" as the ask service answered it
    QString stationName; // the caption of ZenderNaam
    MediaPlayer *player = nullptr; // may be null; restarted after a start attempt while it plays
    // Sends a report through the main window's report channel; the recorder passes
    // "shoutc_" + the player's current URL.
    std::function<void(const QString &report)> report;
    QTime now = QTime::currentTime(); // hour and minute of the proposed file name
};

// The stream recorder window. It records over a connection of its own, not from the
// player, so the file holds exactly the bytes the station sends.
class Record final : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kWidth = 348;
    static constexpr int kHeight = 398;

    // Opens the recorder window-modal over parent and returns at once; the window
    // deletes itself when closed. On a stream address without ":" it shows "errorREC",
    // sends the "shoutc_" report and returns null.
    static Record *openRecorder(QWidget *parent, const RecordSetup &setup);

    Record(const RecordSetup &setup, QWidget *parent = nullptr);
    ~Record() override;

    void Command1_Click(); // start
    void Command2_Click(); // stop and close
    void Command3_Click(); // stop
    void Command4_Click(); // choose the file
    void StartStream();
    void StopStream();

    const StreamRecording &recording() const { return *m_recording; }
    QString iniPath() const;

public Q_SLOTS:
    // Every way of closing passes here: the recording is stopped and its file closed.
    void done(int result) override;

private:
    void buildControls();
    void Form_Load();
    void loadSkin();
    void onTimer1();
    void onFailed(RecordingFailure failure, bool whileConnecting);
    void onServerClosed();
    void onOneFile(OneFileReason reason);
    void storeChoices();
    void restartPlayerIfPlaying();
    void setIdle(bool idle);
    void sendReport();
    // A box whose text is not a lang.ini key; shown like showMessage() boxes.
    void showPlain(const QString &name, const QString &text, int icon, const QString &title);

    RecordSetup m_setup;
    StreamRecording *m_recording = nullptr;
    bool m_restartPending = false; // a start attempt still owes the player its restart
    bool m_nameFromStream = false; // the station is known by its address only
    QString m_proposedPath;

    QLabel *Image1 = nullptr;
    QLabel *Image2 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLineEdit *Text3 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command3 = nullptr;
    QPushButton *Command4 = nullptr;
    QCheckBox *Check1 = nullptr; // one file per song
    QCheckBox *Check2 = nullptr; // leave out the incomplete first and last song
    QLabel *lState = nullptr;
    QLabel *lS = nullptr;
    QTimer *Timer1 = nullptr;
    PlanEditor *m_plans = nullptr; // the planned recordings
};
