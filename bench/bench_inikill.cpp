// An INI writer killed with SIGKILL at random moments: after every kill the file must
// be one whole version, old or new, and no half-written file may be left beside it.
//
//   bench_inikill [--rounds N]     (1000 by default)

#include "app/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdio>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Version n of the value: its length and letter follow from n, so any mix of two
// versions is seen.
QString valueOf(int n)
{
    return QStringLiteral("round-%1-%2-end").arg(n).arg(QString(n % 700, QChar(u'a' + n % 26)));
}

[[noreturn]] void writeForever(const QString &path, int first)
{
    for (int n = first;; ++n)
        WriteINI(path, QStringLiteral("Onthouden"), QStringLiteral("LaatsteURL"), valueOf(n));
}

bool wholeVersion(const QString &path)
{
    if (ReadINI(path, QStringLiteral("Onthouden"), QStringLiteral("firstrun")) != u"1"
        || ReadINI(path, QStringLiteral("Online Radio"), QStringLiteral("taal")) != u"english")
        return false;
    static const QRegularExpression pattern(QStringLiteral("^round-(\\d+)-[a-z]*-end$"));
    const QString value = ReadINI(path, QStringLiteral("Onthouden"), QStringLiteral("LaatsteURL"));
    const QRegularExpressionMatch match = pattern.match(value);
    return match.hasMatch() && value == valueOf(match.captured(1).toInt());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--rounds"));
    const int rounds = at >= 0 ? args.value(at + 1).toInt() : 1000;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("INST.INI"));
    WriteINI(path, QStringLiteral("Onthouden"), QStringLiteral("firstrun"), QStringLiteral("1"));
    WriteINI(path, QStringLiteral("Online Radio"), QStringLiteral("taal"), QStringLiteral("english"));
    WriteINI(path, QStringLiteral("Onthouden"), QStringLiteral("LaatsteURL"), valueOf(0));

    int corrupt = 0;
    int strayFiles = 0;
    int namedLeftovers = 0;
    int changed = 0;
    QString last = valueOf(0);
    for (int round = 1; round <= rounds; ++round) {
        const pid_t child = fork();
        if (child == 0)
            writeForever(path, round * 1000);
        // Between a fraction of one write and several dozen of them.
        ::usleep(QRandomGenerator::global()->bounded(50, 60000));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        if (!wholeVersion(path)) {
            ++corrupt;
            std::fprintf(stderr, "round %d: the file is not one whole version\n", round);
            WriteINI(path, QStringLiteral("Onthouden"), QStringLiteral("LaatsteURL"), valueOf(0));
        }
        const QString now = ReadINI(path, QStringLiteral("Onthouden"), QStringLiteral("LaatsteURL"));
        changed += now != last;
        last = now;
        // A writer killed between naming its finished version and renaming it leaves
        // that file; the next write must take it away.
        const auto strays = [&] {
            QStringList files = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
            files.removeOne(QStringLiteral("INST.INI"));
            return files;
        };
        if (!strays().isEmpty()) {
            ++namedLeftovers;
            WriteINI(path, QStringLiteral("Onthouden"), QStringLiteral("LaatsteURL"), last);
            for (const QString &file : strays()) {
                ++strayFiles;
                std::fprintf(stderr, "round %d: %s stays behind\n", round, qPrintable(file));
                QFile::remove(dir.filePath(file));
            }
        }
    }
    std::printf("INI writer killed with SIGKILL: %d rounds, %d with a new value, %d corrupt or half-written "
                "files; %d kills between naming and renaming a finished version, %d files left after the next "
                "write\n",
                rounds, changed, corrupt, namedLeftovers, strayFiles);
    return corrupt == 0 && strayFiles == 0 ? 0 : 1;
}
