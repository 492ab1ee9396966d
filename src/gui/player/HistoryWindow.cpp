#include "player/HistoryWindow.h"

#include "app/LanguageTexts.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

namespace {
constexpr int kTitleRole = Qt::UserRole;
constexpr int kTimeRole = Qt::UserRole + 1; // with the title, which song a row is
} // namespace

QUrl songSearchUrl(const QString &pattern, const QString &song)
{
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(song));
    const auto build = [&](const QString &p) {
        return QUrl(p.contains(QLatin1String("%1")) ? QString(p).replace(QLatin1String("%1"), encoded) : p + encoded,
                    QUrl::StrictMode);
    };
    const QUrl url = build(pattern.trimmed());
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && !url.host().isEmpty() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")))
        return url;
    return build(QLatin1String(kDefaultSongSearch));
}

HistoryWindow::HistoryWindow(const LanguageTexts &texts, Context context, QWidget *parent)
    : SkinnedDialog(parent)
    , m_texts(texts)
    , m_context(std::move(context))
{
    setObjectName(QStringLiteral("HistoryWindow"));
    setFixedSize(560, 440);
    const QString title = texts.TaalTekst(QStringLiteral("historietitel"));
    setWindowTitle(title);
    Label1->setText(title);

    List1 = new QTreeWidget(this);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setGeometry(16, kTitleHeight + 12, 528, 300);
    List1->setRootIsDecorated(false);
    List1->setUniformRowHeights(true);
    List1->setHeaderLabels({texts.TaalTekst(QStringLiteral("historietijd")),
                            texts.TaalTekst(QStringLiteral("historiezender")),
                            texts.TaalTekst(QStringLiteral("historienummer"))});
    List1->setColumnWidth(0, 100);
    List1->setColumnWidth(1, 150);
    List1->setAccessibleName(title);

    Check1 = new QCheckBox(texts.TaalTekst(QStringLiteral("historiefilter")), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setGeometry(16, kTitleHeight + 320, 528, 22);
    connect(Check1, &QCheckBox::toggled, this, &HistoryWindow::refresh);

    const auto button = [this](const char *name, const char *key, int x) {
        auto *b = new QPushButton(m_texts.TaalTekst(QLatin1String(key)), this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(x, height() - 48, 168, 32);
        return b;
    };
    Command1 = button("Command1", "historiekopie", 16);
    Command2 = button("Command2", "historiezoek", 196);
    Command3 = button("Command3", "historiesluit", 376);
    connect(Command1, &QPushButton::clicked, this, &HistoryWindow::copySelected);
    connect(Command2, &QPushButton::clicked, this, &HistoryWindow::searchSelected);
    connect(Command3, &QPushButton::clicked, this, &QDialog::reject);
    connect(List1, &QTreeWidget::itemActivated, this, &HistoryWindow::copySelected);
    refresh();
}

void HistoryWindow::refresh()
{
    // The chosen song stays chosen when a new one arrives at the top.
    const QTreeWidgetItem *current = List1->currentItem();
    const QVariant keptTime = current ? current->data(0, kTimeRole) : QVariant();
    const QString keptTitle = selectedTitle();
    List1->clear();
    if (!m_context.history)
        return;
    const QString playing = Check1->isChecked() && m_context.playingUrl ? m_context.playingUrl() : QString();
    const QList<HeardSong> &songs = m_context.history->songs();
    QList<QTreeWidgetItem *> items;
    for (auto it = songs.crbegin(); it != songs.crend(); ++it) {
        if (Check1->isChecked() && it->url != playing)
            continue;
        auto *item = new QTreeWidgetItem(
            {it->time.toLocalTime().toString(QStringLiteral("dd-MM HH:mm")), it->station, it->title});
        item->setData(0, kTitleRole, it->title);
        item->setData(0, kTimeRole, it->time);
        item->setToolTip(2, it->title);
        items.append(item);
    }
    List1->addTopLevelItems(items);
    QTreeWidgetItem *chosen = items.isEmpty() ? nullptr : items.first();
    for (QTreeWidgetItem *item : std::as_const(items)) {
        if (item->data(0, kTimeRole) == keptTime && item->data(0, kTitleRole).toString() == keptTitle)
            chosen = item;
    }
    if (chosen)
        List1->setCurrentItem(chosen);
}

QString HistoryWindow::selectedTitle() const
{
    const QTreeWidgetItem *item = List1->currentItem();
    return item ? item->data(0, kTitleRole).toString() : QString();
}

void HistoryWindow::copySelected()
{
    const QString title = selectedTitle();
    if (!title.isEmpty())
        QGuiApplication::clipboard()->setText(title);
}

void HistoryWindow::searchSelected()
{
    const QString title = selectedTitle();
    if (!title.isEmpty())
        QDesktopServices::openUrl(songSearchUrl(m_context.searchPattern, title));
}
