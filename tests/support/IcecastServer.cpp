#include "support/IcecastServer.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <unistd.h>

static QString scriptPath()
{
    return QStringLiteral(NORVALE_SOURCE_DIR "/scripts/test-stream");
}

QString IcecastServer::missingTools()
{
    QStringList programs {QStringLiteral("icecast2"), QStringLiteral("ffmpeg"), QStringLiteral("curl")};
    if (::geteuid() == 0)
        programs.append(QStringLiteral("setpriv"));
    QStringList missing;
    for (const QString &program : programs)
        if (QStandardPaths::findExecutable(program).isEmpty())
            missing.append(program);
    if (!missing.isEmpty())
        return QStringLiteral("the local test stream needs %1 (Debian packages icecast2, ffmpeg, curl)")
            .arg(missing.join(QStringLiteral(", ")));
    return {};
}

QString IcecastServer::start()
{
    if (isRunning())
        return {};
    if (!m_dir.isValid())
        return QStringLiteral("no temporary folder: ") + m_dir.errorString();
    // Should the test crash, the server does not outlive it.
    QStringList arguments {QStringLiteral("start"), m_dir.path(), QStringLiteral("--owner"),
                           QString::number(QCoreApplication::applicationPid())};
    if (m_burstBytes > 0)
        arguments << QStringLiteral("--burst") << QString::number(m_burstBytes);
    QByteArray output;
    if (QString why = run(arguments, &output); !why.isEmpty())
        return why;
    for (const QByteArray &line : output.split('\n'))
        if (line.startsWith("PORT="))
            m_port = line.mid(5).toInt();
    if (m_port == 0)
        return QStringLiteral("the script printed no port: ") + QString::fromLocal8Bit(output);
    return {};
}

void IcecastServer::stop()
{
    if (!isRunning())
        return;
    run({QStringLiteral("stop"), m_dir.path()});
    m_port = 0;
}

QString IcecastServer::run(const QStringList &arguments, QByteArray *output)
{
    QProcess process;
    process.start(scriptPath(), arguments);
    if (!process.waitForStarted(5000))
        return scriptPath() + QStringLiteral(": ") + process.errorString();
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(1000);
        return QStringLiteral("test-stream %1 did not finish").arg(arguments.value(0));
    }
    if (output)
        *output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QStringLiteral("test-stream %1 failed: %2")
            .arg(arguments.value(0), QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
    return {};
}
