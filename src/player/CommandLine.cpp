#include "CommandLine.h"

#include "ProgramFolder.h"
#include "SingleInstance.h"
#include "SongHistory.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

namespace {

constexpr int kDefaultHistoryLines = 20;

int usage(const char *text)
{
    std::fprintf(stderr, "%s\nUsage: norvale [--history [N] | --sleep MINUTES]\n", text);
    return 2;
}

int printHistory(const QStringList &args)
{
    bool number = true;
    const int count = args.size() > 1 ? args[1].toInt(&number) : kDefaultHistoryLines;
    if (!number || count < 0)
        return usage("--history takes a number of songs.");
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
        return usage("--sleep takes a number of minutes (0 cancels).");
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
    if (option != QLatin1String("--history") && option != QLatin1String("--sleep"))
        return std::nullopt;
    // Paths and the local socket want an application object, not a display.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("norvale"));
    const QStringList args = QCoreApplication::arguments().mid(1);
    return option == QLatin1String("--history") ? printHistory(args) : sendSleep(args, applicationTitle);
}
