#include "player/SleepTimerWindow.h"

#include "app/LanguageTexts.h"
#include "player/SleepTimer.h"

#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

SleepTimerWindow::SleepTimerWindow(const LanguageTexts &texts, SleepTimer *timer, QWidget *parent)
    : SkinnedDialog(parent)
    , m_texts(texts)
    , m_timer(timer)
{
    setObjectName(QStringLiteral("SleepTimerWindow"));
    setFixedSize(420, 232);
    const QString title = texts.TaalTekst(QStringLiteral("slaaptitel"));
    setWindowTitle(title);
    Label1->setText(title);

    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setTextFormat(Qt::PlainText);
    Label2->setGeometry(16, kTitleHeight + 12, 388, 24);
    QFont big = Label2->font();
    big.setBold(true);
    Label2->setFont(big);

    // One button per usual length; each starts the timer at once.
    int x = 16;
    for (const int minutes : kPresets) {
        auto *preset =
            new QPushButton(QString::number(minutes) + u' ' + texts.TaalTekst(QStringLiteral("slaapmin")), this);
        preset->setObjectName(QStringLiteral("Preset%1").arg(minutes));
        preset->setGeometry(x, kTitleHeight + 48, 72, 32);
        connect(preset, &QPushButton::clicked, this, [this, minutes] { m_timer->start(minutes); });
        x += 78;
    }

    auto *own = new QLabel(texts.TaalTekst(QStringLiteral("slaapeigen")), this);
    own->setTextFormat(Qt::PlainText);
    own->setGeometry(16, kTitleHeight + 96, 150, 28);
    Minutes = new QSpinBox(this);
    Minutes->setObjectName(QStringLiteral("Minutes"));
    Minutes->setRange(1, 24 * 60);
    Minutes->setValue(20);
    Minutes->setGeometry(170, kTitleHeight + 96, 80, 28);
    own->setBuddy(Minutes);
    auto *start = new QPushButton(texts.TaalTekst(QStringLiteral("slaapstart")), this);
    start->setObjectName(QStringLiteral("CommandStart"));
    start->setGeometry(258, kTitleHeight + 94, 146, 32);
    connect(start, &QPushButton::clicked, this, [this] { m_timer->start(Minutes->value()); });

    CommandStop = new QPushButton(texts.TaalTekst(QStringLiteral("slaapuitzetten")), this);
    CommandStop->setObjectName(QStringLiteral("CommandStop"));
    CommandStop->setGeometry(16, height() - 48, 190, 32);
    connect(CommandStop, &QPushButton::clicked, m_timer, &SleepTimer::cancel);
    auto *close = new QPushButton(texts.TaalTekst(QStringLiteral("historiesluit")), this);
    close->setObjectName(QStringLiteral("CommandClose"));
    close->setGeometry(214, height() - 48, 190, 32);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    connect(m_timer, &SleepTimer::changed, this, &SleepTimerWindow::showLeft);
    showLeft(m_timer->secondsLeft());
}

QString SleepTimerWindow::leftText(const LanguageTexts &texts, int secondsLeft)
{
    if (secondsLeft <= 0)
        return texts.TaalTekst(QStringLiteral("slaapgeen"));
    const int hours = secondsLeft / 3600, minutes = secondsLeft / 60 % 60, seconds = secondsLeft % 60;
    const QLatin1Char zero('0');
    const QString clock = hours > 0
        ? QStringLiteral("%1:%2:%3").arg(hours).arg(minutes, 2, 10, zero).arg(seconds, 2, 10, zero)
        : QStringLiteral("%1:%2").arg(minutes).arg(seconds, 2, 10, zero);
    return texts.TaalTekst(QStringLiteral("slaapover")).arg(clock);
}

void SleepTimerWindow::showLeft(int secondsLeft)
{
    Label2->setText(leftText(m_texts, secondsLeft));
    CommandStop->setEnabled(secondsLeft > 0);
}
