#pragma once

#include "app/LanguageTexts.h"
#include "recorder/RecordingSchedule.h"

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTimeEdit;

// The recorder window's list of planned recordings with its fields to add one and its
// button to remove the chosen one. Every change is stored in INST.INI at once, where
// the program's scheduler reads it.
class PlanEditor final : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kHeight = 166;

    PlanEditor(QString iniPath, const LanguageTexts &texts, const QString &station, QWidget *parent = nullptr);

    void add();
    void removeCurrent();
    const QList<PlannedRecording> &plans() const { return m_plans; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void store();
    void showPlans();

    QString m_iniPath;
    LanguageTexts m_texts;
    QList<PlannedRecording> m_plans;

    QListWidget *m_list = nullptr;
    QLineEdit *m_station = nullptr;
    QTimeEdit *m_start = nullptr;
    QSpinBox *m_minutes = nullptr;
    QList<QCheckBox *> m_days;
    QCheckBox *m_perSong = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_remove = nullptr;
};
