// Draws the history, sleep-timer and alarm windows in each shipped skin and language,
// with a few songs heard and a running timer, into PNG files.

#include "AlarmWindow.h"
#include "HistoryWindow.h"
#include "IniFile.h"
#include "LanguageTexts.h"
#include "SkinLoader.h"
#include "SleepTimer.h"
#include "SleepTimerWindow.h"
#include "SongHistory.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>

namespace {

void save(SkinnedDialog *window, const QString &folder, const QString &path)
{
    window->setSkinPictures(loadDialogPictures(folder));
    window->show();
    QApplication::processEvents();
    window->grab().save(path);
    delete window;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: norvale_listener_screenshots <program folder> <output folder>\n");
        return 2;
    }
    const QString shipped = QString::fromLocal8Bit(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);
    QTemporaryDir work;
    const QString folder = work.path();
    QFile::copy(shipped + QStringLiteral("/lang.ini"), folder + QStringLiteral("/lang.ini"));
    QDir().mkpath(folder + QStringLiteral("/skins"));
    for (const QString &name : QDir(shipped + QStringLiteral("/skins")).entryList(QDir::Files))
        QFile::copy(shipped + QStringLiteral("/skins/") + name, folder + QStringLiteral("/skins/") + name);
    const QString ini = programFilePath(folder, QStringLiteral("INST.INI"));

    SongHistory history(folder);
    const QDateTime evening(QDate(2026, 12, 6), QTime(21, 4));
    const std::pair<const char *, const char *> songs[] = {
        {"Radio Noordzee", "Golden Earring - Radar Love"},
        {"Amsterdam Jazz", "Chet Baker - Almost Blue"},
        {"Radio Noordzee", "Doe Maar - Pa"},
        {"Klassiek Direct", "Erik Satie - Gymnopédie No. 1"},
        {"Radio Noordzee", "Stromae - Alors on danse"},
        {"Lounge 24", "Café del Mar - Déjà Vu"},
    };
    int minute = 0;
    for (const auto &[station, title] : songs)
        history.add({evening.addSecs(60 * (minute += 4)), QString::fromUtf8(station), QStringLiteral("http://x/"),
                     QString::fromUtf8(title)});
    SleepTimer timer({}, std::chrono::seconds(1));
    timer.start(45);
    AlarmSettings alarm;
    alarm.enabled = true;
    alarm.time = QTime(6, 45);
    const QList<Favourite> favourites {{"Radio Noordzee", "Radio Noordzee", "http://x/", ""},
                                       {"Klassiek Direct", "Klassiek Direct", "http://y/", ""}};
    alarm.stationName = favourites[0].naam;
    alarm.stationUrl = favourites[0].url;

    for (const QString &skin : {QStringLiteral("Standaard"), QStringLiteral("Nacht")}) {
        for (const QString &language : {QStringLiteral("Nederlands"), QStringLiteral("english")}) {
            WriteINI(ini, QStringLiteral("Online Radio"), QStringLiteral("skin"), skin);
            const LanguageTexts texts(folder, [language] { return language; });
            const QString tag = skin.toLower() + (language == QLatin1String("english") ? "-en" : "-nl");
            save(new HistoryWindow(texts, {&history, [] { return QStringLiteral("http://x/"); }, QString()}), folder,
                 out + QStringLiteral("/history-%1.png").arg(tag));
            save(new SleepTimerWindow(texts, &timer), folder, out + QStringLiteral("/sleeptimer-%1.png").arg(tag));
            save(new AlarmWindow(texts, alarm, favourites), folder, out + QStringLiteral("/alarm-%1.png").arg(tag));
        }
    }
    return 0;
}
