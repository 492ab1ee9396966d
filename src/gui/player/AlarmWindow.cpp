#include "player/AlarmWindow.h"

#include "app/LanguageTexts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>

AlarmWindow::AlarmWindow(const LanguageTexts &texts, const AlarmSettings &settings, const QList<Favourite> &favourites,
                         QWidget *parent)
    : SkinnedDialog(parent)
{
    setObjectName(QStringLiteral("AlarmWindow"));
    setFixedSize(440, 300);
    const QString title = texts.TaalTekst(QStringLiteral("wekkertitel"));
    setWindowTitle(title);
    Label1->setText(title);
    const int top = kTitleHeight + 12;
    const auto caption = [this](const QString &text, int y, QWidget *buddy) {
        auto *l = new QLabel(text, this);
        l->setTextFormat(Qt::PlainText);
        l->setGeometry(16, y, 100, 26);
        l->setBuddy(buddy);
    };

    Check1 = new QCheckBox(texts.TaalTekst(QStringLiteral("wekkeraan")), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setGeometry(16, top, 408, 24);
    Check1->setChecked(settings.enabled);

    Time1 = new QTimeEdit(settings.time, this);
    Time1->setObjectName(QStringLiteral("Time1"));
    Time1->setDisplayFormat(QStringLiteral("HH:mm"));
    Time1->setGeometry(120, top + 34, 90, 26);
    caption(texts.TaalTekst(QStringLiteral("wekkertijd")), top + 34, Time1);

    // Monday first, as the week is counted here; the short names come from lang.ini.
    const QStringList names = texts.TaalTekst(QStringLiteral("wekkerdagen")).split(u',');
    for (int d = 0; d < 7; ++d) {
        auto *day = new QCheckBox(names.value(d).trimmed(), this);
        day->setObjectName(QStringLiteral("Day%1").arg(d + 1));
        day->setGeometry(120 + (d % 4) * 76, top + 70 + (d / 4) * 26, 74, 24);
        day->setChecked(settings.days & (1 << d));
        m_days.append(day);
    }
    caption(texts.TaalTekst(QStringLiteral("wekkerdagenlabel")), top + 70, m_days.first());

    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setGeometry(120, top + 132, 304, 26);
    Combo1->addItem(texts.TaalTekst(QStringLiteral("wekkerlaatste")), QString());
    for (const Favourite &f : favourites)
        Combo1->addItem(f.naam, f.url);
    const int chosen = settings.stationUrl.isEmpty() ? 0 : Combo1->findData(settings.stationUrl);
    if (chosen < 0) // a favourite deleted since: the alarm keeps its own copy
        Combo1->addItem(settings.stationName, settings.stationUrl);
    Combo1->setCurrentIndex(chosen < 0 ? Combo1->count() - 1 : chosen);
    caption(texts.TaalTekst(QStringLiteral("wekkerzender")), top + 132, Combo1);

    auto *ok = new QPushButton(texts.TaalTekst(QStringLiteral("wekkeroke")), this);
    ok->setObjectName(QStringLiteral("Command1"));
    ok->setGeometry(16, height() - 48, 200, 32);
    ok->setDefault(true);
    auto *cancel = new QPushButton(texts.TaalTekst(QStringLiteral("wekkerannuleren")), this);
    cancel->setObjectName(QStringLiteral("Command2"));
    cancel->setGeometry(224, height() - 48, 200, 32);
    connect(ok, &QPushButton::clicked, this, [this] {
        Q_EMIT saved(this->settings());
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

AlarmSettings AlarmWindow::settings() const
{
    AlarmSettings s;
    s.enabled = Check1->isChecked();
    s.time = Time1->time();
    s.days = 0;
    for (int d = 0; d < m_days.size(); ++d)
        s.days |= m_days[d]->isChecked() ? 1 << d : 0;
    s.stationUrl = Combo1->currentData().toString();
    s.stationName = s.stationUrl.isEmpty() ? QString() : Combo1->currentText();
    return s;
}
