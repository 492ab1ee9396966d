#include "directory/Form2.h"

#include "app/IniFile.h"
#include "app/LanguageTexts.h"
#include "app/Transfer.h"
#include "controls/MakeControl.h"
#include "controls/MessageBox.h"
#include "directory/TagParser.h"

#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

namespace {

constexpr int kWidth = 420;
constexpr int kHeight = 460;

} // namespace

Form2::Form2(DirectoryDialogContext context, Hooks hooks, QWidget *parent)
    : QDialog(parent)
    , m_context(std::move(context))
    , m_hooks(std::move(hooks))
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Norvale Internet Radio"));
    setModal(true);
    setFixedSize(kWidth, kHeight);

    Image1 = make<QLabel>(this, "Image1", {0, 0, kWidth, kHeight});
    Image1->setScaledContents(true);
    Image2 = make<QLabel>(this, "Image2", {0, 0, kWidth, 40});
    Image2->setScaledContents(true);
    Label1 = make<QLabel>(this, "Label1", {16, 8, kWidth - 32, 28});
    Label1->setText(QStringLiteral("Land Kiezen"));
    Label1->setFont(QFont(QStringLiteral("Verdana"), 14, QFont::Bold));
    Label2 = make<QLabel>(this, "Label2", {16, 48, kWidth - 32, 56});
    Label2->setWordWrap(true);
    Label2->setText(QStringLiteral("Norvale Internet Radio kan nu radio zenders ontvangen over de hele wereld!! "
                                   "Kies hieronder het land waar je een zender van zoekt:"));
    List1 = make<QListWidget>(this, "List1", {16, 110, kWidth - 32, 270});
    List1->setUniformItemSizes(true);
    List1->setAccessibleName(QStringLiteral("Landen"));
    connect(List1, &QListWidget::itemDoubleClicked, this, &Form2::Command1_Click);

    Busy = make<QProgressBar>(this, "Busy", {16, 388, 120, 18});
    Busy->setRange(0, 0); // no end known: a moving bar
    Busy->setTextVisible(false);
    LabelBusy = make<QLabel>(this, "LabelBusy", {144, 386, kWidth - 160, 22});
    // Shown at once: the download starts before the deferred text pass has run.
    LabelBusy->setText(m_context.texts->TaalTekst(QStringLiteral("f2laden")));
    Command1 = make<QPushButton>(this, "Command1", {kWidth - 236, 416, 104, 30});
    Command1->setText(QStringLiteral("OKE!"));
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    Command2 = make<QPushButton>(this, "Command2", {kWidth - 120, 416, 104, 30});
    Command2->setText(QStringLiteral("Annuleren"));
    connect(Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
    for (QLabel *l : {Label1, Label2, LabelBusy})
        l->setTextFormat(Qt::PlainText);

    Timer1.setInterval(10);
    connect(&Timer1, &QTimer::timeout, this, &Form2::applyTexts);
    Timer1.start();

    LaadLijst_Taal();
}

Form2::~Form2()
{
    abandonFetch();
}

void Form2::applyTexts()
{
    const LanguageTexts &t = *m_context.texts;
    Label1->setText(t.TaalTekst(QStringLiteral("f2label1")));
    Label2->setText(t.TaalTekst(QStringLiteral("f2label2")));
    Command1->setText(t.TaalTekst(QStringLiteral("f2command1")));
    Command2->setText(t.TaalTekst(QStringLiteral("f2command2")));
    Timer1.stop();
}

void Form2::setLoading(bool loading)
{
    Busy->setVisible(loading);
    LabelBusy->setVisible(loading);
    Command1->setEnabled(!loading);
}

void Form2::LaadLijst_Taal()
{
    abandonFetch();
    List1->clear();
    List2.clear();
    setLoading(true);
    const quint64 generation = ++m_generation;
    const QString language = m_context.language ? m_context.language() : QString();
    m_waiting = true;
    const quint64 id = m_context.inet1->openUrl(
        countryListUrl(m_context.directoryBase, language), this, [this, generation](const TransferResult &result) {
            onCountryList(generation, result.body, result.ok() && result.httpStatus < 400);
        });
    // A transfer may answer before openUrl returns; then there is nothing to abort.
    if (m_waiting && generation == m_generation)
        m_requestId = id;
}

void Form2::onCountryList(quint64 generation, const QString &body, bool ok)
{
    if (generation != m_generation || !m_waiting)
        return; // asked for again, or the window closed meanwhile
    m_waiting = false;
    m_requestId.reset();
    setLoading(false);
    if (!ok || body.size() > kMaxCountryListChars) {
        showMessage(this, *m_context.texts, QStringLiteral("error4"), MessageCode::Critical, true);
        return;
    }
    Q_EMIT downloaded(body);
    const CountryListText list = parseCountryList(body);
    List1->addItems(list.naam);
    List2 = list.bestand;
    // A missing or stale position just leaves the choice to the user: the list itself
    // did load, so a message that says it did not would be wrong.
    const int position = rememberedPosition(
        ReadINI(m_context.iniPath, QStringLiteral("Onthouden"), QStringLiteral("laadland")), List1->count());
    if (position >= 0) {
        List1->setCurrentRow(position);
        List1->scrollToItem(List1->item(position), QAbstractItemView::PositionAtCenter);
    }
}

void Form2::Command1_Click()
{
    if (isLoading())
        return; // the list is still on its way; OK is disabled meanwhile
    const QList<QListWidgetItem *> selected = List1->selectedItems();
    const int row = selected.isEmpty() ? -1 : List1->row(selected.first());
    const QString bestand = row >= 0 && row < List2.size() ? List2.at(row) : QString();
    if (bestand.isEmpty()) {
        showMessage(this, *m_context.texts, QStringLiteral("error2"), MessageCode::Information, true);
        return;
    }
    const auto call = [](const auto &hook, const auto &...args) {
        if (hook)
            hook(args...);
    };
    call(m_hooks.closeMedia);
    call(m_hooks.setZenderNaam, QStringLiteral(" - "));
    call(m_hooks.setLandNaam, selected.first()->text());
    call(m_hooks.setLandBestand, bestand);
    call(m_hooks.showPlaceholder);
    call(m_hooks.startTimer1);
    WriteINI(m_context.iniPath, QStringLiteral("Onthouden"), QStringLiteral("laadland"), QString::number(row));
    accept();
}

void Form2::Command2_Click()
{
    reject();
}

void Form2::done(int result)
{
    abandonFetch();
    QDialog::done(result);
}

void Form2::abandonFetch()
{
    if (!m_waiting)
        return;
    ++m_generation;
    m_waiting = false;
    if (m_requestId)
        m_context.inet1->abort(*m_requestId);
    m_requestId.reset();
}
