#include "recorder/RecordingSchedule.h"

#include "app/IniFile.h"
#include "app/LanguageTexts.h"
#include "recorder/RecordCommand.h"

#include <QRegularExpression>
#include <QTimer>

namespace {

const QString kSection = QStringLiteral("Record plan");

QString planKey(int index)
{
    return QStringLiteral("plan%1").arg(index + 1);
}

} // namespace

bool PlannedRecording::isValid() const
{
    static const QRegularExpression daysPattern(QStringLiteral("^[1-7]{1,7}$"));
    return !station.trimmed().isEmpty() && start.isValid() && minutes > 0 && minutes <= kMaxMinutes
        && daysPattern.match(days).hasMatch();
}

QString PlannedRecording::toText() const
{
    return QStringLiteral("%1|%2|%3|%4|%5")
        .arg(days, start.toString(QStringLiteral("HH:mm")), QString::number(minutes),
             perSong ? QStringLiteral("1") : QStringLiteral("0"), station);
}

std::optional<PlannedRecording> PlannedRecording::fromText(const QString &text)
{
    const QStringList parts = text.split(u'|');
    if (parts.size() < 5)
        return std::nullopt;
    PlannedRecording plan;
    plan.days = parts.at(0);
    plan.start = QTime::fromString(parts.at(1), QStringLiteral("HH:mm"));
    plan.minutes = parts.at(2).toInt();
    plan.perSong = parts.at(3) == QLatin1String("1");
    plan.station = parts.mid(4).join(u'|'); // an address may hold "|" too
    if (!plan.isValid())
        return std::nullopt;
    return plan;
}

QDateTime PlannedRecording::nextStart(const QDateTime &after) const
{
    // Today's start may still come; after seven more days every chosen day has passed.
    for (int day = 0; day <= 7; ++day) {
        const QDate date = after.date().addDays(day);
        const QDateTime candidate(date, start);
        if (onDay(date.dayOfWeek()) && candidate > after)
            return candidate;
    }
    return {};
}

std::optional<QDateTime> PlannedRecording::windowAt(const QDateTime &now) const
{
    for (int day = 0; day >= -1; --day) {
        const QDate date = now.date().addDays(day);
        const QDateTime begin(date, start);
        if (onDay(date.dayOfWeek()) && begin <= now && now < begin.addSecs(qint64(minutes) * 60))
            return begin;
    }
    return std::nullopt;
}

QList<PlannedRecording> loadPlannedRecordings(const QString &iniPath)
{
    const QHash<QString, QString> section = ReadINISection(iniPath, kSection);
    QList<PlannedRecording> plans;
    for (int i = 0; i < kMaxPlans; ++i) {
        if (const std::optional<PlannedRecording> plan = PlannedRecording::fromText(section.value(planKey(i))))
            plans.append(*plan);
    }
    return plans;
}

bool savePlannedRecordings(const QString &iniPath, const QList<PlannedRecording> &plans)
{
    bool ok = true;
    for (int i = 0; i < kMaxPlans; ++i) {
        const QString value = i < plans.size() ? plans.at(i).toText() : QString();
        if (ReadINI(iniPath, kSection, planKey(i)) != value)
            ok = WriteINI(iniPath, kSection, planKey(i), value) == IniWriteResult::Ok && ok;
    }
    return ok;
}

RecordingTimetable::Step RecordingTimetable::step(const QList<PlannedRecording> &plans, const QDateTime &now)
{
    Step step;
    for (auto it = m_begun.begin(); it != m_begun.end();) {
        if (it.value() <= now) {
            step.stops.append(it.key());
            it = m_begun.erase(it);
        } else {
            ++it;
        }
    }
    for (const PlannedRecording &plan : plans) {
        const std::optional<QDateTime> begin = plan.windowAt(now);
        if (!begin)
            continue;
        const QString key = plan.toText() + u'@' + begin->toString(Qt::ISODate);
        if (m_begun.contains(key))
            continue;
        const QDateTime end = begin->addSecs(qint64(plan.minutes) * 60);
        m_begun.insert(key, end);
        step.starts.append({plan, end, key});
    }
    return step;
}

RecordingScheduler::RecordingScheduler(QString programFolder, LanguageTexts texts, Notify notify, Clock clock,
                                       QObject *parent)
    : QObject(parent)
    , m_programFolder(std::move(programFolder))
    , m_texts(std::move(texts))
    , m_notify(std::move(notify))
    , m_clock(std::move(clock))
    , m_timer(new QTimer(this))
{
    // A coarse timer is enough for minutes and costs nothing while the computer sleeps;
    // the first check after waking sees the missed start.
    m_timer->setTimerType(Qt::VeryCoarseTimer);
    connect(m_timer, &QTimer::timeout, this, &RecordingScheduler::check);
    m_timer->start(kCheckMs);
    // One due at start-up (the program started inside its time) begins at once.
    QTimer::singleShot(0, this, &RecordingScheduler::check);
}

RecordingScheduler::~RecordingScheduler()
{
    // Files close whole when the program quits during a recording.
    for (const Running &running : std::as_const(m_running)) {
        running.recording->disconnect(this);
        running.recording->stop();
    }
}

QString RecordingScheduler::text(const char *key) const
{
    return m_texts(QLatin1String(key));
}

QStringList RecordingScheduler::files() const
{
    return m_files;
}

void RecordingScheduler::check()
{
    const RecordingTimetable::Step step = m_timetable.step(
        loadPlannedRecordings(programFilePath(m_programFolder, QStringLiteral("INST.INI"))), m_clock());
    for (const QString &key : step.stops)
        end(key);
    for (const RecordingTimetable::Due &due : step.starts)
        begin(due);
}

void RecordingScheduler::begin(const RecordingTimetable::Due &due)
{
    const std::optional<RecordStation> station = findRecordStation(m_programFolder, due.plan.station.trimmed());
    RecordingPlan plan;
    if (!station || !setPlanAddress(plan, station->address)) {
        m_notify(due.plan.station, text("RECplanNoStation"));
        return;
    }
    plan.perSong = due.plan.perSong;
    plan.folder = recordingFolder(m_programFolder);
    plan.station = station->name;
    plan.started = m_clock();
    plan.beginMark = QStringLiteral(" (%1)").arg(text("RECbeginMissing"));
    plan.endMark = QStringLiteral(" (%1)").arg(text("RECendMissing"));
    const QString name = station->name.isEmpty() ? plan.host : station->name;
    auto *recording = new StreamRecording(this);
    m_running.insert(due.key, {recording, name});
    // A recording that the station or the disk ends early says so once, then waits to be
    // cleared at its end time.
    connect(recording, &StreamRecording::failed, this, [this, key = due.key] { end(key); });
    connect(recording, &StreamRecording::serverClosed, this, [this, key = due.key] { end(key); });
    m_notify(name, text("RECplanStarted"));
    Q_EMIT recordingBegun(name);
    recording->start(plan);
}

void RecordingScheduler::end(const QString &key)
{
    const auto it = m_running.find(key);
    if (it == m_running.end())
        return;
    const Running running = it.value();
    m_running.erase(it);
    running.recording->disconnect(this);
    running.recording->stop();
    const QStringList files = running.recording->files();
    m_files += files;
    // Deleted later: end() may run inside one of the recording's own signals.
    running.recording->deleteLater();
    // A station known by its address alone has told its own name by now.
    const QString station =
        running.recording->stationName().isEmpty() ? running.station : running.recording->stationName();
    m_notify(station, text(files.isEmpty() ? "RECplanFailed" : "RECplanEnded"));
    Q_EMIT recordingEnded(station, files);
}
