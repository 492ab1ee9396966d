#include "recorder/PlanEditor.h"

#include "controls/MakeControl.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTimeEdit>

PlanEditor::PlanEditor(QString iniPath, const LanguageTexts &texts, const QString &station, QWidget *parent)
    : QWidget(parent)
    , m_iniPath(std::move(iniPath))
    , m_texts(texts)
    , m_plans(loadPlannedRecordings(m_iniPath))
{
    setObjectName(QStringLiteral("PlanEditor"));
    auto *title = make<QLabel>(this, "lPlan", {0, 0, 332, 18});
    title->setTextFormat(Qt::PlainText);
    title->setText(m_texts(QStringLiteral("RECplanTitle")));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    m_list = make<QListWidget>(this, "ListPlan", {0, 20, 332, 64});
    m_list->setAccessibleName(title->text());
    m_list->installEventFilter(this);
    // Long addresses are shortened in the middle; the tooltip holds the whole line.
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setTextElideMode(Qt::ElideMiddle);
    title->setBuddy(m_list);

    m_station = make<QLineEdit>(this, "TextPlanStation", {0, 88, 186, 24});
    m_station->setPlaceholderText(m_texts(QStringLiteral("RECplanStation")));
    m_station->setAccessibleName(m_station->placeholderText());
    m_station->setText(station);
    m_start = make<QTimeEdit>(this, "TimePlanStart", {190, 88, 64, 24});
    m_start->setDisplayFormat(QStringLiteral("HH:mm"));
    m_start->setAccessibleName(m_texts(QStringLiteral("RECplanStart")));
    m_start->setTime(QTime(QTime::currentTime().hour(), 0).addSecs(3600));
    m_minutes = make<QSpinBox>(this, "SpinPlanMinutes", {258, 88, 74, 24});
    m_minutes->setRange(1, PlannedRecording::kMaxMinutes);
    m_minutes->setValue(60);
    m_minutes->setSuffix(QStringLiteral(" min"));
    m_minutes->setAccessibleName(m_texts(QStringLiteral("RECplanMinutes")));
    for (int day = 1; day <= 7; ++day) {
        auto *box =
            make<QCheckBox>(this, qPrintable(QStringLiteral("CheckDay%1").arg(day)), {(day - 1) * 47, 116, 47, 22});
        box->setText(m_texts(QStringLiteral("RECday%1").arg(day)));
        box->setChecked(true);
        m_days.append(box);
    }
    m_perSong = make<QCheckBox>(this, "CheckPlanPerSong", {0, 140, 140, 22});
    m_perSong->setText(m_texts(QStringLiteral("RECplanPerSongBox")));
    m_add = make<QPushButton>(this, "CommandPlanAdd", {150, 139, 88, 26});
    m_add->setText(m_texts(QStringLiteral("RECplanAdd")));
    m_add->setAutoDefault(false);
    m_remove = make<QPushButton>(this, "CommandPlanRemove", {244, 139, 88, 26});
    m_remove->setText(m_texts(QStringLiteral("RECplanRemove")));
    m_remove->setAutoDefault(false);

    connect(m_add, &QPushButton::clicked, this, &PlanEditor::add);
    connect(m_station, &QLineEdit::returnPressed, this, &PlanEditor::add);
    connect(m_remove, &QPushButton::clicked, this, &PlanEditor::removeCurrent);
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) { m_remove->setEnabled(row >= 0); });
    showPlans();
}

void PlanEditor::add()
{
    PlannedRecording plan;
    plan.station = m_station->text().trimmed();
    plan.start = QTime(m_start->time().hour(), m_start->time().minute());
    plan.minutes = m_minutes->value();
    plan.days.clear();
    for (int day = 1; day <= 7; ++day) {
        if (m_days.at(day - 1)->isChecked())
            plan.days += QChar(u'0' + day);
    }
    plan.perSong = m_perSong->isChecked();
    if (!plan.isValid() || m_plans.size() >= kMaxPlans || plan.station.contains(u'\n')) {
        // What is missing is in plain sight: the empty field or the unticked days.
        (plan.station.isEmpty() ? static_cast<QWidget *>(m_station) : m_days.first())->setFocus();
        return;
    }
    m_plans.append(plan);
    store();
    m_list->setCurrentRow(int(m_plans.size()) - 1);
}

void PlanEditor::removeCurrent()
{
    const int row = m_list->currentRow();
    if (row < 0 || row >= m_plans.size())
        return;
    m_plans.removeAt(row);
    store();
    m_list->setCurrentRow(qMin(row, int(m_plans.size()) - 1));
}

void PlanEditor::store()
{
    // The list shows what the scheduler will read: a write that failed (a read-only
    // program folder) leaves the stored plans, not the wished ones.
    if (!savePlannedRecordings(m_iniPath, m_plans))
        m_plans = loadPlannedRecordings(m_iniPath);
    showPlans();
}

bool PlanEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
        removeCurrent();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void PlanEditor::showPlans()
{
    m_list->clear();
    const QDateTime now = QDateTime::currentDateTime();
    for (const PlannedRecording &plan : std::as_const(m_plans)) {
        QStringList days;
        for (int day = 1; day <= 7; ++day) {
            if (plan.onDay(day))
                days.append(m_texts(QStringLiteral("RECday%1").arg(day)));
        }
        const QString when = plan.days.size() == 7 ? m_texts(QStringLiteral("RECplanDaily")) : days.join(u' ');
        QString line = QStringLiteral("%1 %2, %3 min: %4")
                           .arg(when, plan.start.toString(QStringLiteral("HH:mm")))
                           .arg(plan.minutes)
                           .arg(plan.station);
        if (plan.perSong)
            line += QStringLiteral(" (%1)").arg(m_texts(QStringLiteral("RECplanPerSong")));
        auto *item = new QListWidgetItem(line, m_list);
        item->setToolTip(
            m_texts(QStringLiteral("RECplanNext")).arg(QLocale().toString(plan.nextStart(now), QLocale::ShortFormat)));
    }
    m_remove->setEnabled(m_list->currentRow() >= 0);
    m_add->setEnabled(m_plans.size() < kMaxPlans);
}
