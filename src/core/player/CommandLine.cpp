#include "player/CommandLine.h"

#include "app/ProgramFolder.h"
#include "app/SingleInstance.h"
#include "app/Startup.h"
#include "player/SongHistory.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

namespace {

constexpr int kDefaultHistoryLines = 20;

// Kept in step with the manual page norvale.1 (a test compares their options).
constexpr const char *kHelp = R"(Usage: norvale [OPTION]...
Listen to internet radio. Without an option the player window opens; a second start
brings the running player forward.

  --history [N]          print the last N songs heard (default 20), oldest first,
                         as tab-separated lines: time, station, title, address
  --sleep MINUTES        set the sleep timer of the running player (0 cancels)
  --record ADDRESS [--for DURATION] [--per-song] [--skip-partial] [--to FOLDER]
                         record a station (a stream address or the name of a
                         favourite) without a window, also while the player runs
    --for DURATION       how long, as 90s, 45m or 2h; without it, until stopped
    --per-song           one file per song, named after its title, in a folder
                         named after the station
    --skip-partial       with --per-song: leave out the first and last song
    --to FOLDER          where recordings go (default: the recorder's folder,
                         else Music)
  -h, --help             show this help and exit
  --version              show the version and exit

Qt's own options (such as -platform NAME) are accepted as well.

Exit status: 0 done; 1 failed (no running player answered, the program folder
cannot be used; for --record: wrong use); 2 wrong command line (for --record: the
station could not be reached or broke off); 3 a recording could not be written.

Environment: NORVALE_HOME (the program folder), NORVALE_DIRECTORY_URL (the
directory server), NORVALE_MPV_OPTIONS (key=value,... for the playback engine).
)";

int usage(const char *text)
{
    std::fprintf(stderr, "norvale: %s\nTry 'norvale --help' for more information.\n", text);
    return 2;
}

int printHistory(const QStringList &args)
{
    bool number = true;
    const int count = args.size() > 1 ? args[1].toInt(&number) : kDefaultHistoryLines;
    if (!number || count < 0)
        return usage("--history takes a number of songs");
    const ProgramFolderResult folder = resolveProgramFolder(ProgramFolderInputs::fromEnvironment());
    if (!folder.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(folder.errorText));
        return 1;
    }
    SongHistory history(folder.path);
    history.load();
    const QList<HeardSong> &songs = history.songs();
    for (qsizetype i = std::max<qsizetype>(0, songs.size() - count); i < songs.size(); ++i)
        std::printf("%s\n", SongHistory::line(songs[i]).toUtf8().constData());
    return 0;
}

int sendSleep(const QStringList &args, const char *applicationTitle)
{
    bool number = false;
    const int minutes = args.size() == 2 ? args[1].toInt(&number) : -1;
    if (!number || minutes < 0)
        return usage("--sleep takes a number of minutes (0 cancels)");
    const QString server = SingleInstance::defaultServerName(QLatin1String(applicationTitle));
    if (!SingleInstance::sendCommand(server, QStringLiteral("sleep %1").arg(minutes))) {
        std::fprintf(stderr, "No running Norvale Internet Radio answered.\n");
        return 1;
    }
    return 0;
}

} // namespace

std::optional<int> runCommandLine(int argc, char **argv, const char *applicationTitle)
{
    if (argc < 2)
        return std::nullopt;
    const QString option = QString::fromLocal8Bit(argv[1]);
    if (option == QLatin1String("--help") || option == QLatin1String("-h")) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (option == QLatin1String("--version")) {
        std::printf("norvale %s\n", kProgramVersion);
        return 0;
    }
    // Qt takes its own options with one dash (and a few with two), after this returns;
    // any other long option is a mistake worth saying before a window opens.
    const QStringList qtLongOptions {QStringLiteral("--platform"), QStringLiteral("--style"),
                                     QStringLiteral("--stylesheet"), QStringLiteral("--reverse")};
    if (option.startsWith(QLatin1String("--")) && option != QLatin1String("--history")
        && option != QLatin1String("--sleep") && !qtLongOptions.contains(option))
        return usage(qPrintable(QStringLiteral("unrecognized option '%1'").arg(option)));
    if (option != QLatin1String("--history") && option != QLatin1String("--sleep"))
        return std::nullopt;
    // Paths and the local socket want an application object, not a display.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("norvale"));
    const QStringList args = QCoreApplication::arguments().mid(1);
    return option == QLatin1String("--history") ? printHistory(args) : sendSleep(args, applicationTitle);
}

int rejectArgument(const char *argument)
{
    return usage(qPrintable(QStringLiteral("unexpected argument '%1'").arg(QString::fromLocal8Bit(argument))));
}
