#include "recorder/Record.h"

#include "app/IniFile.h"
#include "app/MediaPlayer.h"
#include "app/StreamAddress.h"
#include "controls/MakeControl.h"
#include "controls/MessageBox.h"
#include "recorder/PlanEditor.h"
#include "recorder/RecordingName.h"
#include "skins/SkinnedDialog.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>

namespace {

// lang.ini keys of the status line, by state code.
constexpr const char *kStateKeys[] = {
    "RECstatClosed",       "RECstatOpen",       "RECstatListening", "RECstatConnectionPending", "RECstatResolvingHost",
    "RECstatHostResolved", "RECstatConnecting", "RECstatConnected", "RECstatClosing",           "RECstatError",
};
constexpr int kConnected = 7;

QLabel *label(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *l = make<QLabel>(parent, name, geometry);
    l->setTextFormat(Qt::PlainText);
    l->setText(text);
    return l;
}

QPushButton *button(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *b = make<QPushButton>(parent, name, geometry);
    b->setText(text);
    b->setAutoDefault(false);
    return b;
}

// Where a recording goes when no folder was chosen yet: the music folder when the
// desktop has one, otherwise home; never the working folder, which for a program
// started from a menu is "/" or somewhere the user does not look.
QString defaultRecordingFolder()
{
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return !music.isEmpty() && QDir(music).exists() ? music : QDir::homePath();
}

QPixmap skinPicture(const QString &path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return QPixmap::fromImage(reader.read());
}

} // namespace

Record *Record::openRecorder(QWidget *parent, const RecordSetup &setup)
{
    const QStringList parts = setup.recStream.split(QLatin1Char(':'));
    if (parts.size() < 2) {
        showMessage(parent, setup.texts, QStringLiteral("errorREC"), MessageCode::Critical, true);
        if (setup.report)
            setup.report(QStringLiteral("shoutc_") + (setup.player ? setup.player->url() : QString()));
        return nullptr;
    }
    auto *record = new Record(setup, parent);
    record->Text1->setText(parts.at(0).trimmed());
    record->Text2->setText(parts.at(1).trimmed());
    // A station started by its address alone has no name yet: the stream's own name,
    // learnt when recording starts, is better than an address with its escapes.
    record->m_nameFromStream = isStreamAddress(setup.stationName)
        || (setup.player && !setup.stationName.isEmpty() && setup.stationName == setup.player->url());
    record->m_proposedPath = proposedRecordingPath(
        ReadINI(record->iniPath(), QStringLiteral("Record"), QStringLiteral("dir")),
        record->m_nameFromStream ? record->Text1->text() : setup.stationName, setup.now, defaultRecordingFolder());
    record->Text3->setText(record->m_proposedPath);
    record->open();
    return record;
}

Record::Record(const RecordSetup &setup, QWidget *parent)
    : QDialog(parent)
    , m_setup(setup)
    , m_recording(new StreamRecording(this))
{
    setObjectName(QStringLiteral("Record"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(kWidth, kHeight);
    buildControls();

    connect(Command1, &QPushButton::clicked, this, &Record::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Record::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Record::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Record::Command4_Click);
    connect(Check1, &QCheckBox::toggled, this, &Record::storeChoices);
    connect(Check2, &QCheckBox::toggled, this, &Record::storeChoices);
    connect(m_recording, &StreamRecording::oneFile, this, &Record::onOneFile);
    connect(Timer1, &QTimer::timeout, this, &Record::onTimer1);
    connect(m_recording, &StreamRecording::attemptEnded, this, &Record::restartPlayerIfPlaying);
    connect(m_recording, &StreamRecording::failed, this, &Record::onFailed);
    connect(m_recording, &StreamRecording::serverClosed, this, &Record::onServerClosed);

    Form_Load();
    loadSkin();
}

Record::~Record() = default;

QString Record::iniPath() const
{
    return programFilePath(m_setup.programFolder, QStringLiteral("INST.INI"));
}

void Record::buildControls()
{
    Image1 = make<QLabel>(this, "Image1", {0, 2, 81, 25});
    Image1->setScaledContents(true);
    Image2 = make<QLabel>(this, "Image2", {0, 0, 345, 25});
    Image2->setScaledContents(true);
    Label1 = label(this, "Label1", QStringLiteral("Rec"), {0, 2, 329, 25});
    Label1->setAlignment(Qt::AlignCenter);
    QFont title = Label1->font();
    title.setBold(true);
    Label1->setFont(title);
    Label2 = label(this, "Label2", QStringLiteral("Label2"), {8, 30, 332, 46});
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label3 = label(this, "Label3", QStringLiteral("Label2"), {8, 80, 60, 22});
    Text3 = make<QLineEdit>(this, "Text3", {68, 80, 236, 22});
    Command4 = button(this, "Command4", QStringLiteral("..."), {308, 79, 32, 24});
    Command1 = button(this, "Command1", QStringLiteral("Start Stream"), {8, 110, 162, 26});
    Command3 = button(this, "Command3", QStringLiteral("Stop Stream"), {178, 110, 162, 26});
    Check1 = make<QCheckBox>(this, "Check1", {8, 140, 332, 22});
    Check2 = make<QCheckBox>(this, "Check2", {8, 162, 332, 22});
    m_plans = new PlanEditor(iniPath(), m_setup.texts, m_setup.stationName, this);
    m_plans->setGeometry(8, 192, 332, PlanEditor::kHeight);
    Command2 = button(this, "Command2", QStringLiteral("Exit"), {260, 364, 80, 26});
    lState = label(this, "lState", QStringLiteral("Status:"), {8, 368, 48, 18});
    lS = label(this, "lS", QString(), {56, 368, 196, 18});
    // Host and port are the ask service's answer, not the user's to edit.
    Text1 = make<QLineEdit>(this, "Text1", {568, 16, 241, 19});
    Text1->setText(QStringLiteral("Text1"));
    Text1->hide();
    Text2 = make<QLineEdit>(this, "Text2", {568, 40, 241, 19});
    Text2->hide();
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(200);
}

void Record::Form_Load()
{
    Image1->setGeometry(0, Image1->y(), width(), height());
    Image2->setGeometry(Image2->x(), Image2->y(), width(), Image2->height());
    Label1->setGeometry(Label1->x(), Label1->y(), width(), Label1->height());
    const LanguageTexts &t = m_setup.texts;
    Label1->setText(t(QStringLiteral("REClabel1")));
    Label2->setText(t(QStringLiteral("REClabel2")));
    Label3->setText(t(QStringLiteral("REClabel3")));
    Command1->setText(t(QStringLiteral("RECcommand1")));
    Command2->setText(t(QStringLiteral("RECcommand2")));
    Command3->setText(t(QStringLiteral("RECcommand3")));
    Check1->setText(t(QStringLiteral("RECcheck1")));
    Check2->setText(t(QStringLiteral("RECcheck2")));
    // Kept with the recorder's folder, before the toggles are heard.
    const QSignalBlocker block1(Check1), block2(Check2);
    Check1->setChecked(ReadINI(iniPath(), QStringLiteral("Record"), QStringLiteral("perSong")) == QLatin1String("1"));
    Check2->setChecked(ReadINI(iniPath(), QStringLiteral("Record"), QStringLiteral("skipPartial"))
                       == QLatin1String("1"));
    // The title bar is drawn by the skin; the window manager still gets a name for the
    // task list and for assistive tools.
    setWindowTitle(Label1->text());
    setIdle(true);
    Timer1->start();
    onTimer1();
}

void Record::loadSkin()
{
    // A missing skin picture leaves the window plain: recording does not depend on it.
    const QString prefix = m_setup.programFolder + QStringLiteral("/skins/")
        + ReadINI(iniPath(), QStringLiteral("Online Radio"), QStringLiteral("skin")) + QLatin1Char('_');
    Image1->setPixmap(skinPicture(prefix + QStringLiteral("frame1.skn")));
    Image2->setPixmap(skinPicture(prefix + QStringLiteral("balk1.skn")));
    applySkinPalette(this, Image1->pixmap().toImage());
    applyTitleColour(Label1, Image2->pixmap().toImage());
}

void Record::storeChoices()
{
    WriteINI(iniPath(), QStringLiteral("Record"), QStringLiteral("perSong"),
             Check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    WriteINI(iniPath(), QStringLiteral("Record"), QStringLiteral("skipPartial"),
             Check2->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void Record::onOneFile(OneFileReason reason)
{
    Label2->setText(m_setup.texts(reason == OneFileReason::NoTitles ? QStringLiteral("RECcliNoTitles")
                                                                    : QStringLiteral("RECcliFormat")));
}

void Record::setIdle(bool idle)
{
    Check1->setEnabled(idle);
    Check2->setEnabled(idle);
    Command1->setEnabled(idle);
    Command2->setEnabled(idle);
    Command3->setEnabled(!idle);
}

void Record::Command1_Click()
{
    m_restartPending = true;
    StartStream();
    // A start that did not begin to connect is over now; otherwise the end of the
    // connect attempt restarts the player.
    if (!m_recording->isConnecting())
        restartPlayerIfPlaying();
}

void Record::Command2_Click()
{
    StopStream();
    close();
}

void Record::Command3_Click()
{
    setIdle(true);
    StopStream();
}

void Record::Command4_Click()
{
    auto *dialog = new QFileDialog(this, QStringLiteral("Norvale MP3"));
    dialog->setObjectName(QStringLiteral("CMD1"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilter(QStringLiteral("MP3 (*.mp3)"));
    dialog->selectFile(Text3->text());
    // Cancelling keeps the path and the stored folder as they were.
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &file) {
        Text3->setText(file);
        WriteINI(iniPath(), QStringLiteral("Record"), QStringLiteral("dir"),
                 QFileInfo(file).absolutePath() + QLatin1Char('/'));
    });
    dialog->open();
}

void Record::StartStream()
{
    if (Text1->text().isEmpty() || Text2->text().isEmpty() || Text3->text().isEmpty()) {
        showMessage(this, m_setup.texts, QStringLiteral("errorREC2"), MessageCode::Ok, false);
        return;
    }
    setIdle(false);
    RecordingPlan plan;
    plan.host = Text1->text();
    plan.port = Text2->text();
    plan.file = Text3->text();
    plan.station = m_setup.stationName;
    plan.address = m_setup.player ? m_setup.player->url() : QString();
    // Per song the files go into a folder named after the station, beside the file.
    plan.perSong = Check1->isChecked();
    plan.keepPartial = !Check2->isChecked();
    plan.beginMark = QStringLiteral(" (%1)").arg(m_setup.texts(QStringLiteral("RECbeginMissing")));
    plan.endMark = QStringLiteral(" (%1)").arg(m_setup.texts(QStringLiteral("RECendMissing")));
    if (plan.perSong)
        plan.folder = QFileInfo(Text3->text()).path();
    if (plan.perSong && m_nameFromStream)
        plan.station.clear();
    if (m_nameFromStream && Text3->text() == m_proposedPath && !plan.perSong) {
        plan.file.clear();
        plan.folder = QFileInfo(m_proposedPath).path();
        plan.station.clear();
        plan.started.setTime(m_setup.now);
    }
    m_recording->start(plan);
}

void Record::StopStream()
{
    m_recording->stop();
}

void Record::done(int result)
{
    m_recording->stop();
    QDialog::done(result);
}

void Record::onTimer1()
{
    const int code = m_recording->stateCode();
    const bool connected = code == kConnected;
    QFont font = lS->font();
    font.setBold(connected);
    lS->setFont(font);
    QPalette palette = this->palette();
    if (connected)
        palette.setColor(QPalette::WindowText, warningColour(palette));
    lS->setPalette(palette);
    lS->setText(m_setup.texts(QLatin1String(kStateKeys[code])));
}

void Record::onFailed(RecordingFailure failure, bool whileConnecting)
{
    setIdle(true);
    if (failure == RecordingFailure::FileOpen || failure == RecordingFailure::FileWrite) {
        // A local failure: the station is fine, so nothing is reported against it.
        const QString text = m_setup.texts(QStringLiteral("errorRECfile")) + QStringLiteral("\n\n")
            + m_recording->path() + QStringLiteral("\n") + m_recording->fileErrorText();
        showPlain(QStringLiteral("errorRECfile"), text, QMessageBox::Critical, m_setup.texts(QStringLiteral("error0")));
        return;
    }
    showMessage(this, m_setup.texts, QStringLiteral("errorREC"), MessageCode::Ok, false);
    sendReport();
    if (failure == RecordingFailure::Socket && whileConnecting)
        showPlain(QStringLiteral("Err"), QStringLiteral("Err"), QMessageBox::NoIcon, QString());
}

void Record::onServerClosed()
{
    setIdle(true);
    showMessage(this, m_setup.texts, QStringLiteral("RECended"), MessageCode::Information, false);
}

void Record::restartPlayerIfPlaying()
{
    if (!std::exchange(m_restartPending, false))
        return;
    MediaPlayer *player = m_setup.player;
    if (player && player->playState() == PlayState::Playing) {
        player->stop();
        player->play();
    }
}

void Record::sendReport()
{
    if (m_setup.report)
        m_setup.report(QStringLiteral("shoutc_") + (m_setup.player ? m_setup.player->url() : QString()));
}

void Record::showPlain(const QString &name, const QString &text, int icon, const QString &title)
{
    auto *box = new QMessageBox(this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("message_") + name);
    box->setTextFormat(Qt::PlainText); // the path holds the station's name
    box->setText(text);
    box->setIcon(QMessageBox::Icon(icon));
    box->setWindowTitle(title.isEmpty() ? QStringLiteral("Norvale Internet Radio") : title);
    box->setStandardButtons(QMessageBox::Ok);
    box->open();
}
