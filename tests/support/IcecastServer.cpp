#include "support/IcecastServer.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <unistd.h>

IcecastServer::~IcecastServer()
{
    if (m_port != 0)
        run(QStringLiteral("stop"));
}

QString IcecastServer::missingTools()
{
    QStringList missing;
    for (const char *program : {"icecast2", "ffmpeg", "curl", "setpriv"}) // as root Icecast runs as its own user
        if (QStandardPaths::findExecutable(QLatin1String(program)).isEmpty()
            && (::geteuid() == 0 || qstrcmp(program, "setpriv") != 0))
            missing << QLatin1String(program);
    return missing.isEmpty() ? QString() : "the local test stream needs " + missing.join(", ") + " (scripts/deps.sh)";
}

QString IcecastServer::start()
{
    // Should the test crash, the server does not outlive it.
    QStringList options {"--owner", QString::number(QCoreApplication::applicationPid())};
    if (m_burstBytes > 0)
        options << "--burst" << QString::number(m_burstBytes);
    QByteArray output;
    if (QString why = run(QStringLiteral("start"), options, &output); !why.isEmpty())
        return why;
    for (const QByteArray &line : output.split('\n'))
        if (line.startsWith("PORT="))
            m_port = line.mid(5).toInt();
    return m_port != 0 ? QString() : "the script printed no port: " + QString::fromLocal8Bit(output);
}

QString IcecastServer::run(const QString &command, const QStringList &arguments, QByteArray *output)
{
    QProcess process;
    process.start(QStringLiteral(NORVALE_SOURCE_DIR "/scripts/test-stream"),
                  QStringList {command, m_dir.path()} + arguments);
    if (!process.waitForFinished(30000)) { // false too when it did not start
        process.kill();
        process.waitForFinished(1000);
        return QStringLiteral("test-stream %1 did not finish: %2").arg(command, process.errorString());
    }
    if (output)
        *output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QStringLiteral("test-stream %1 failed: %2")
            .arg(command, QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
    return {};
}
