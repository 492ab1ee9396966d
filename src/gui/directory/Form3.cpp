#include "directory/Form3.h"

#include "app/DirectoryUrl.h"
#include "app/IniFile.h"
#include "app/LanguageTexts.h"
#include "app/Transfer.h"
#include "controls/MakeControl.h"
#include "controls/MessageBox.h"
#include "directory/TagParser.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <utility>

namespace {

constexpr int kWidth = 460;
constexpr int kHeight = 500;

bool usable(const TransferResult &result, qsizetype limit)
{
    return result.ok() && result.httpStatus < 400 && result.body.size() <= limit;
}

} // namespace

Form3::Form3(DirectoryDialogContext context, Hooks hooks, QWidget *parent)
    : QDialog(parent)
    , m_context(std::move(context))
    , m_hooks(std::move(hooks))
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Norvale Internet Radio"));
    setModal(true);
    setFixedSize(kWidth, kHeight);

    Image1 = make<QLabel>(this, "Image1", {0, 0, kWidth, kHeight});
    Image1->setScaledContents(true);
    Image2 = make<QLabel>(this, "Image2", {0, 0, kWidth, 40});
    Image2->setScaledContents(true);
    Label1 = make<QLabel>(this, "Label1", {0, 8, kWidth, 28});
    Label1->setFont(QFont(QStringLiteral("Verdana"), 14, QFont::Bold));
    Label1->setIndent(16);
    Label2 = make<QLabel>(this, "Label2", {16, 50, kWidth - 32, 20});
    Text1 = make<QLineEdit>(this, "Text1", {16, 72, 300, 26});
    Text1->setMaxLength(200);
    connect(Text1, &QLineEdit::returnPressed, this, &Form3::Command3_Click);
    Command3 = make<QPushButton>(this, "Command3", {324, 70, kWidth - 340, 30});
    Command3->setAutoDefault(false);
    connect(Command3, &QPushButton::clicked, this, &Form3::Command3_Click);
    Label3 = make<QLabel>(this, "Label3", {16, 108, 60, 22});
    Combo1 = make<QComboBox>(this, "Combo1", {80, 106, 236, 26});
    Combo1->setEditable(false);
    connect(Combo1, &QComboBox::activated, this, [this] { m_countryPicked = true; });
    Busy = make<QProgressBar>(this, "Busy", {324, 110, kWidth - 340, 18});
    Busy->setRange(0, 0);
    Busy->setTextVisible(false);
    Label4 = make<QLabel>(this, "Label4", {16, 140, kWidth - 32, 20});
    List1 = make<QListWidget>(this, "List1", {16, 162, kWidth - 32, 282});
    List1->setUniformItemSizes(true);
    List1->setAccessibleName(QStringLiteral("Zoekresultaten"));
    // A click plays; the click that a double click begins with plays once, and the
    // double click then acts as OK.
    connect(List1, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) { List1_Click(List1->row(item)); });
    connect(List1, &QListWidget::itemDoubleClicked, this, &Form3::Command1_Click);
    Command1 = make<QPushButton>(this, "Command1", {kWidth - 236, 456, 104, 30});
    Command1->setAutoDefault(false);
    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
    Command2 = make<QPushButton>(this, "Command2", {kWidth - 120, 456, 104, 30});
    Command2->setAutoDefault(false);
    connect(Command2, &QPushButton::clicked, this, &Form3::Command2_Click);
    for (QLabel *l : {Label1, Label2, Label3, Label4})
        l->setTextFormat(Qt::PlainText);

    applyTexts();
    LaadLijst_Taal();
    Text1->setFocus();
}

Form3::~Form3()
{
    abandon(m_countries);
    abandon(m_search);
}

void Form3::applyTexts()
{
    const LanguageTexts &t = *m_context.texts;
    List1->addItem(t.TaalTekst(QStringLiteral("f3list1")));
    m_showsHint = true;
    Command1->setText(t.TaalTekst(QStringLiteral("f2command1")));
    Command2->setText(t.TaalTekst(QStringLiteral("f2command2")));
    Command3->setText(t.TaalTekst(QStringLiteral("f3command3")));
    Label1->setText(t.TaalTekst(QStringLiteral("f3label1")));
    Label2->setText(t.TaalTekst(QStringLiteral("f3label2")));
    Label3->setText(t.TaalTekst(QStringLiteral("f2label3")));
    Label4->setText(t.TaalTekst(QStringLiteral("f2label4")));
}

QUrl Form3::searchUrl(const QUrl &directoryBase, const QString &zoekWoord, const QString &bestand)
{
    if (!bestand.isEmpty() && bestand.size() < 4)
        return {};
    // The country key is the list file without its extension: "holland.txt" is "holland".
    const QString land = bestand.isEmpty() ? QString() : bestand.chopped(4);
    return directoryUrl(directoryBase, QStringLiteral("radio/inter/zenders/radio-lijst-zoek.php"),
                        {{QStringLiteral("zoeken"), zoekWoord}, {QStringLiteral("land"), land}});
}

quint64 Form3::begin(Fetch &fetch)
{
    abandon(fetch);
    fetch.waiting = true;
    fetch.id.reset();
    updateBusy();
    return ++fetch.generation;
}

void Form3::abandon(Fetch &fetch)
{
    if (!fetch.waiting)
        return;
    ++fetch.generation;
    fetch.waiting = false;
    if (fetch.id)
        m_context.inet1->abort(*fetch.id);
    fetch.id.reset();
}

bool Form3::current(Fetch &fetch, quint64 generation)
{
    if (generation != fetch.generation || !fetch.waiting)
        return false;
    fetch.waiting = false;
    fetch.id.reset();
    updateBusy();
    return true;
}

void Form3::updateBusy()
{
    Busy->setVisible(m_countries.waiting || m_search.waiting || m_pendingSearch);
}

void Form3::LaadLijst_Taal()
{
    Combo1->clear();
    List4.clear();
    Combo1->addItem(m_context.texts->TaalTekst(QStringLiteral("f3allelanden")));
    Combo1->addItem(QStringLiteral("--------------"));
    List4 << QString() << QString();
    m_countryPicked = false;
    m_pendingSearch.reset();

    const quint64 generation = begin(m_countries);
    const QString language = m_context.language ? m_context.language() : QString();
    const quint64 id = m_context.inet1->openUrl(
        countryListUrl(m_context.directoryBase, language), this, [this, generation](const TransferResult &result) {
            if (current(m_countries, generation))
                onCountryList(result.body, usable(result, kMaxCountryListChars));
        });
    if (m_countries.waiting && generation == m_countries.generation)
        m_countries.id = id;
}

void Form3::onCountryList(const QString &body, bool ok)
{
    if (!ok) {
        showMessage(this, *m_context.texts, QStringLiteral("error4"), MessageCode::Critical, true);
        runPendingSearch(); // over every country, which the filter then shows
        return;
    }
    Q_EMIT downloaded(body);
    const CountryListText list = parseCountryList(body);
    Combo1->addItems(list.naam);
    // Entries beyond the last file name search every country, as an empty file does.
    List4 += list.bestand.mid(0, list.naam.size());
    while (List4.size() < Combo1->count())
        List4.append(QString());
    if (!m_countryPicked) { // a choice the user made meanwhile stands
        // Without a usable remembered position the search covers every country.
        const int position = rememberedPosition(
            ReadINI(m_context.iniPath, QStringLiteral("Onthouden"), QStringLiteral("zoekland")), Combo1->count());
        Combo1->setCurrentIndex(position >= 0 ? position : 0);
    }
    runPendingSearch();
}

void Form3::runPendingSearch()
{
    if (const std::optional<QString> word = std::exchange(m_pendingSearch, std::nullopt))
        LaadLijst_Zoek(*word);
}

void Form3::Command3_Click()
{
    LaadLijst_Zoek(Text1->text());
}

void Form3::LaadLijst_Zoek(const QString &ZoekWoord)
{
    List1->clear();
    List2.clear();
    List3.clear();
    m_showsHint = false;
    // Until the country list is in, the filter shows "all countries" in place of the
    // remembered one; the search waits for it, so that it covers what the filter shows.
    if (m_countries.waiting && !m_countryPicked) {
        abandon(m_search);
        m_pendingSearch = ZoekWoord;
        updateBusy();
        return;
    }
    const int index = Combo1->currentIndex();
    const QString bestand = index >= 0 && index < List4.size() ? List4.at(index) : QString();
    const QUrl url = searchUrl(m_context.directoryBase, ZoekWoord, bestand);
    if (url.isEmpty()) {
        abandon(m_search);
        updateBusy();
        showMessage(this, *m_context.texts, QStringLiteral("error8"), MessageCode::Critical, true);
        return;
    }
    const quint64 generation = begin(m_search);
    const quint64 id = m_context.inet1->openUrl(url, this, [this, generation](const TransferResult &result) {
        if (current(m_search, generation))
            onSearchAnswer(result.body, usable(result, kMaxSearchAnswerChars));
    });
    if (m_search.waiting && generation == m_search.generation)
        m_search.id = id;
}

void Form3::onSearchAnswer(const QString &body, bool ok)
{
    if (!ok) {
        showMessage(this, *m_context.texts, QStringLiteral("error8"), MessageCode::Critical, true);
        return;
    }
    Q_EMIT downloaded(body);
    const StationListText list = parseStationList(body);
    List1->setUpdatesEnabled(false);
    List1->addItems(list.naam.mid(0, kMaxResults));
    List1->setUpdatesEnabled(true);
    List2 = list.url.mid(0, kMaxResults);
    List3 = list.homepage.mid(0, kMaxResults);
}

void Form3::List1_Click(int row)
{
    // The hint, or a result without an address, is no station: playing it would stop
    // the radio for an empty address.
    if (m_showsHint || row < 0 || row >= List1->count() || List2.value(row).isEmpty())
        return;
    const auto call = [](const auto &hook, const QString &value) {
        if (hook)
            hook(value);
    };
    call(m_hooks.setUrl, List2.value(row));
    call(m_hooks.setZenderNaam, List1->item(row)->text());
    call(m_hooks.setRadioUrl, List3.value(row));
}

void Form3::Command1_Click()
{
    const QList<QListWidgetItem *> selected = List1->selectedItems();
    const int row = selected.isEmpty() || m_showsHint ? -1 : List1->row(selected.first());
    if (List2.value(row).isEmpty()) {
        showMessage(this, *m_context.texts, QStringLiteral("error5"), MessageCode::Information, true);
        return;
    }
    if (WriteINI(m_context.iniPath, QStringLiteral("Onthouden"), QStringLiteral("zoekland"),
                 QString::number(Combo1->currentIndex()))
        != IniWriteResult::Ok) {
        showMessage(this, *m_context.texts, QStringLiteral("error7"), MessageCode::Critical, true);
        return;
    }
    accept();
}

void Form3::Command2_Click()
{
    reject();
}

void Form3::done(int result)
{
    m_pendingSearch.reset();
    abandon(m_countries);
    abandon(m_search);
    updateBusy();
    QDialog::done(result);
}
