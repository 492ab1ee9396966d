#pragma once

#include "app/LanguageTexts.h"
#include "recorder/StreamRecording.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTime>
#include <functional>
#include <optional>

class QTimer;

// One planned recording: a station (a favourite's name or an http address) recorded
// from start for minutes on the chosen days of the week.
struct PlannedRecording
{
    static constexpr int kMaxMinutes = 24 * 60;

    QString station;
    QTime start;
    int minutes = 60;
    QString days = QStringLiteral("1234567"); // Qt's day numbers, Monday 1 to Sunday 7
    bool perSong = false;

    bool onDay(int dayOfWeek) const { return days.contains(QChar(u'0' + dayOfWeek)); }
    bool isValid() const;
    // One INI value: "days|hh:mm|minutes|perSong|station", the station last, whole.
    QString toText() const;
    static std::optional<PlannedRecording> fromText(const QString &text);
    bool operator==(const PlannedRecording &) const = default;

    // The start of the next recording after the moment given; invalid when no day is chosen.
    QDateTime nextStart(const QDateTime &after) const;
    // The start of the recording whose time holds now (one begun yesterday may run past
    // midnight), if any.
    std::optional<QDateTime> windowAt(const QDateTime &now) const;
};

// The planned recordings as kept in INST.INI, at most kMaxPlans of them.
constexpr int kMaxPlans = 8;
QList<PlannedRecording> loadPlannedRecordings(const QString &iniPath);
bool savePlannedRecordings(const QString &iniPath, const QList<PlannedRecording> &plans);

// Which planned recordings begin and end at a moment; no clock, no network. A
// recording whose start was missed (the computer slept) still begins while its time
// lasts, for what is left of it, and is skipped once its time is over; each one
// begins once, also when it failed or the station ended it early.
class RecordingTimetable final
{
public:
    struct Due
    {
        PlannedRecording plan;
        QDateTime end;
        QString key; // names this one recording: the plan and its start
    };
    struct Step
    {
        QList<Due> starts;
        QStringList stops; // keys of recordings whose time is over
    };

    Step step(const QList<PlannedRecording> &plans, const QDateTime &now);

private:
    QHash<QString, QDateTime> m_begun; // key -> end, until the end has passed
};

// Starts each planned recording at its time on a connection of its own, beside
// whatever plays, and says so through notify when one begins and ends. The plan is
// read from INST.INI at each check, so what the recorder window changes counts at once.
class RecordingScheduler final : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;
    using Notify = std::function<void(const QString &station, const QString &text)>;
    static constexpr int kCheckMs = 15000;

    // texts: the main window's, so notices follow its language.
    RecordingScheduler(QString programFolder, LanguageTexts texts, Notify notify,
                       Clock clock = &QDateTime::currentDateTime, QObject *parent = nullptr);
    ~RecordingScheduler() override;

    // Looks at the plan now; the timer calls it every kCheckMs.
    void check();
    int runningCount() const { return int(m_running.size()); }
    QStringList files() const;

Q_SIGNALS:
    void recordingBegun(const QString &station);
    void recordingEnded(const QString &station, const QStringList &files);

private:
    struct Running
    {
        StreamRecording *recording;
        QString station;
    };
    void begin(const RecordingTimetable::Due &due);
    void end(const QString &key);
    QString text(const char *key) const;

    QString m_programFolder;
    LanguageTexts m_texts;
    Notify m_notify;
    Clock m_clock;
    QTimer *m_timer;
    RecordingTimetable m_timetable;
    QHash<QString, Running> m_running;
    QStringList m_files;
};
