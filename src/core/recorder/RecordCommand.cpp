#include "recorder/RecordCommand.h"

#include "app/IniFile.h"
#include "app/LanguageTexts.h"
#include "app/ProgramFolder.h"
#include "recorder/StreamRecording.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// Exit codes, as --help lists them.
constexpr int kUsage = 1;
constexpr int kStation = 2;
constexpr int kFolder = 3;

constexpr int kConnectTimeoutMs = 20000;

// The write end of the pipe that carries SIGTERM and SIGINT into the event loop; a
// signal handler can reach nothing else.
int g_signalPipe = -1;

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe, &byte, 1);
}

void say(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

void complain(const QString &line)
{
    std::fputs(qPrintable(QStringLiteral("norvale: ") + line + QLatin1Char('\n')), stderr);
}

const char *kHelp = R"(Usage: norvale [--record ADDRESS [--for DURATION] [--per-song] [--skip-partial] [--to FOLDER]]
       norvale --history [N] | --sleep MINUTES

Without options the player starts. With --record, norvale records a station without a
window and without a display, also while the player runs.

  --record ADDRESS  a stream address (http://host:port/path) or the name of a favourite
  --for DURATION    how long, as 90s, 45m or 2h; without it, until stopped
  --per-song        one file per song, named after the song's title, in a folder named
                    after the station, with ID3v2 tags (MP3 and AAC streams)
  --skip-partial    with --per-song: leave out the first and last song, which miss their
                    start or end (otherwise they are kept with a mark in their names)
  --to FOLDER       where recordings go (default: the recorder's folder, else Music)
  --help            this text
  --history [N]     prints the last N songs heard (default 20)
  --sleep MINUTES   sets the sleep timer of the running player (0 cancels)

One line is printed per file begun, and a summary at the end. SIGTERM or SIGINT ends
the recording with its file complete. Exit status: 0 recorded until the time was up or
stopped by a signal; 1 wrong use; 2 the station could not be reached, refused, ended
the stream early or broke its format; 3 the folder or a file could not be written.
)";

} // namespace

std::optional<RecordStation> findRecordStation(const QString &programFolder, const QString &text)
{
    if (text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive))
        return RecordStation {text, {}};
    QDir folder(programFolder);
    for (const QString &entry : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (entry.compare(QLatin1String("favo"), Qt::CaseInsensitive) != 0)
            continue;
        const QDir favo(folder.filePath(entry));
        for (const QString &file : favo.entryList(QDir::Files)) {
            const QString path = favo.filePath(file);
            if (QFileInfo(path).size() > 64 * 1024)
                continue;
            const QString naam = ReadINI(path, QStringLiteral("Internet"), QStringLiteral("naam"));
            if (naam.compare(text, Qt::CaseInsensitive) == 0)
                return RecordStation {ReadINI(path, QStringLiteral("Internet"), QStringLiteral("url")), naam};
        }
    }
    return std::nullopt;
}

bool setPlanAddress(RecordingPlan &plan, const QString &address)
{
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().toLower() != QLatin1String("http") || url.host().isEmpty())
        return false;
    plan.host = url.host();
    plan.port = QString::number(url.port(80));
    plan.path = url.path(QUrl::FullyEncoded).toUtf8();
    if (plan.path.isEmpty())
        plan.path = "/";
    if (url.hasQuery())
        plan.path += '?' + url.query(QUrl::FullyEncoded).toUtf8();
    plan.address = address;
    return true;
}

QString recordingFolder(const QString &programFolder)
{
    const QString stored = ReadINI(programFilePath(programFolder, QStringLiteral("INST.INI")), QStringLiteral("Record"),
                                   QStringLiteral("dir"));
    if (!stored.isEmpty())
        return stored;
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return !music.isEmpty() && QDir(music).exists() ? music : QDir::homePath();
}

bool isRecordCommand(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        // The program's --help is told by the command line as a whole (CommandLine).
        if (!std::strcmp(argv[i], "--record"))
            return true;
    }
    return false;
}

long long parseRecordDuration(const char *text)
{
    const QString value = QString::fromUtf8(text).trimmed();
    static const QHash<QChar, long long> units {{u's', 1000}, {u'm', 60000}, {u'h', 3600000}};
    const QChar unit = value.isEmpty() ? QChar() : value.back();
    const long long scale = units.value(unit, unit.isDigit() ? 1000 : 0);
    bool ok = false;
    const long long number = (unit.isDigit() ? value : value.chopped(1)).toLongLong(&ok);
    const long long ms = number * scale;
    return ok && scale && number > 0 && number <= 7 * 24 * 3600 && ms <= 7LL * 24 * 3600 * 1000 ? ms : -1;
}

int runRecordCommand(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("norvale"));
    QCommandLineParser parser;
    const QCommandLineOption record(QStringLiteral("record"), {}, QStringLiteral("ADDRESS"));
    const QCommandLineOption duration(QStringLiteral("for"), {}, QStringLiteral("DURATION"));
    const QCommandLineOption perSong(QStringLiteral("per-song"));
    const QCommandLineOption skipPartial(QStringLiteral("skip-partial"));
    const QCommandLineOption to(QStringLiteral("to"), {}, QStringLiteral("FOLDER"));
    const QCommandLineOption help(QStringList {QStringLiteral("h"), QStringLiteral("help")});
    parser.addOptions({record, duration, perSong, skipPartial, to, help});
    if (!parser.parse(QCoreApplication::arguments()) || !parser.positionalArguments().isEmpty()) {
        complain(parser.errorText().isEmpty()
                     ? QStringLiteral("unexpected %1").arg(parser.positionalArguments().join(u' '))
                     : parser.errorText());
        std::fputs(kHelp, stderr);
        return kUsage;
    }
    if (parser.isSet(help)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    long long forMs = 0;
    if (parser.isSet(duration) && (forMs = parseRecordDuration(qPrintable(parser.value(duration)))) < 0) {
        complain(
            QStringLiteral("--for wants a duration such as 90s, 45m or 2h, not \"%1\"").arg(parser.value(duration)));
        return kUsage;
    }

    const ProgramFolderResult programFolder = resolveProgramFolder(ProgramFolderInputs::fromEnvironment());
    if (!programFolder.ok()) {
        complain(programFolder.errorText);
        return kFolder;
    }
    const std::optional<RecordStation> station = findRecordStation(programFolder.path, parser.value(record));
    if (!station) {
        complain(QStringLiteral("\"%1\" is neither an http:// address nor the name of a favourite")
                     .arg(parser.value(record)));
        return kUsage;
    }
    RecordingPlan plan;
    if (!setPlanAddress(plan, station->address)) {
        complain(
            QStringLiteral("cannot record %1: only http:// stream addresses can be recorded").arg(station->address));
        return kUsage;
    }
    const QString folder =
        QDir(parser.isSet(to) ? parser.value(to) : recordingFolder(programFolder.path)).absolutePath();
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isWritable()) {
        complain(QStringLiteral("cannot write to the folder %1").arg(folder));
        return kFolder;
    }

    const LanguageTexts texts(programFolder.path, [&programFolder] {
        return ReadINI(programFilePath(programFolder.path, QStringLiteral("INST.INI")), QStringLiteral("Online Radio"),
                       QStringLiteral("taal"));
    });
    plan.perSong = parser.isSet(perSong);
    plan.folder = folder;
    plan.station = station->name;
    plan.keepPartial = !parser.isSet(skipPartial);
    plan.beginMark = QStringLiteral(" (%1)").arg(texts(QStringLiteral("RECbeginMissing")));
    plan.endMark = QStringLiteral(" (%1)").arg(texts(QStringLiteral("RECendMissing")));

    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        complain(QStringLiteral("cannot make a pipe for signals"));
        return kUsage;
    }
    g_signalPipe = pipeFds[1];
    struct sigaction action = {};
    action.sa_handler = onSignal;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);

    StreamRecording recording;
    QElapsedTimer clock;
    int exitCode = 0;
    bool finished = false;
    const auto finish = [&](int code, const QString &why) {
        if (std::exchange(finished, true))
            return;
        if (!why.isEmpty())
            complain(why);
        recording.stop();
        const QStringList files = recording.files();
        for (const QString &file : files)
            say(texts(QStringLiteral("RECcliKept")).arg(file));
        say(texts(QStringLiteral("RECcliSummary"))
                .arg(files.size())
                .arg(recording.bytesWritten())
                .arg(clock.isValid() ? clock.elapsed() / 1000 : 0));
        exitCode = code;
        QCoreApplication::exit(code);
    };
    QObject::connect(&recording, &StreamRecording::fileStarted, &app,
                     [&](const QString &path) { say(texts(QStringLiteral("RECcliFile")).arg(path)); });
    QObject::connect(&recording, &StreamRecording::oneFile, &app, [&](OneFileReason reason) {
        say(texts(reason == OneFileReason::NoTitles ? QStringLiteral("RECcliNoTitles")
                                                    : QStringLiteral("RECcliFormat")));
    });
    QObject::connect(&recording, &StreamRecording::recordingStarted, &app, [&] {
        clock.start();
        if (forMs > 0)
            QTimer::singleShot(std::chrono::milliseconds(forMs), &app, [&] { finish(0, {}); });
    });
    QObject::connect(&recording, &StreamRecording::serverClosed, &app,
                     [&] { finish(kStation, texts(QStringLiteral("RECended"))); });
    QObject::connect(&recording, &StreamRecording::failed, &app, [&](RecordingFailure failure, bool) {
        const QString where = QStringLiteral("%1:%2").arg(plan.host, plan.port);
        switch (failure) {
        case RecordingFailure::FileOpen:
        case RecordingFailure::FileWrite:
            return finish(kFolder,
                          QStringLiteral("%1 %2: %3")
                              .arg(texts(QStringLiteral("errorRECfile")), recording.path(), recording.fileErrorText()));
        case RecordingFailure::StreamFault:
            return finish(kStation, texts(QStringLiteral("RECcliFault")).arg(where));
        case RecordingFailure::Refused:
            return finish(kStation, texts(QStringLiteral("RECcliRefused")).arg(where, recording.socketErrorText()));
        default:
            return finish(kStation, texts(QStringLiteral("RECcliUnreachable")).arg(where, recording.socketErrorText()));
        }
    });
    QSocketNotifier signalNotifier(pipeFds[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] { finish(0, {}); });
    QTimer::singleShot(kConnectTimeoutMs, &app, [&] {
        if (recording.isConnecting())
            finish(kStation,
                   texts(QStringLiteral("RECcliUnreachable"))
                       .arg(QStringLiteral("%1:%2").arg(plan.host, plan.port), QStringLiteral("time-out")));
    });
    recording.start(plan);
    if (!finished)
        QCoreApplication::exec();
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    return exitCode;
}
