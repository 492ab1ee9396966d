#include "settings/Form4.h"

#include "controls/MessageBox.h"
#include "settings/PictureCheck.h"
#include "skins/Form5.h"

#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <functional>

namespace {

// Opening the list is what shows the restart hint; a choice made with the keyboard
// alone changes the language as well, so that shows it too.
class LanguageBox final : public QComboBox
{
public:
    using QComboBox::QComboBox;
    std::function<void()> opened;

    void showPopup() override
    {
        if (opened)
            opened();
        QComboBox::showPopup();
    }
};

// A click on the text beside a picture check box ticks it, as with an ordinary one.
class LabelClick final : public QObject
{
public:
    LabelClick(QLabel *label, PictureCheck *check)
        : QObject(label)
        , m_check(check)
    {
        label->installEventFilter(this);
        label->setCursor(Qt::PointingHandCursor);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonRelease
            && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            m_check->toggle();
            return true;
        }
        return false;
    }

private:
    PictureCheck *m_check;
};

} // namespace

Form4::Form4(QString programFolder, LanguageTexts texts, const Registry &registry, QString programPath, QWidget *parent)
    : SkinnedDialog(parent)
    , m_programFolder(std::move(programFolder))
    , m_texts(std::move(texts))
    , m_registry(registry)
    , m_programPath(std::move(programPath))
{
    setObjectName(QStringLiteral("Form4"));
    setFixedSize(kWidth, kHeight);
    setWindowTitle(QStringLiteral("Norvale Internet Radio"));

    // Design captions; the translated ones replace them below.
    const char *designCaptions[] = {"Opstarten bij Windows", "De laatste zender starten bij opstarten",
                                    "Venster openen bij opstarten", "Programma afsluiten met kruisje", "Visualiesatie"};
    const char *textKeys[] = {"f4check1", "f4check2", "f4check3", "f4check4", "f4check7"};
    std::array<QLabel *, 5> labels {};
    for (int i = 0; i < 5; ++i) {
        const int y = kTitleHeight + 22 + i * 34;
        auto *check = new PictureCheck(this);
        check->setObjectName(QStringLiteral("Check%1").arg(i + 1));
        check->setGeometry(28, y, PictureCheck::kSide, PictureCheck::kSide);
        m_checks[i] = check;
        auto *label = new QLabel(QLatin1String(designCaptions[i]), this);
        label->setObjectName(QStringLiteral("Label%1").arg(i + 3));
        label->setTextFormat(Qt::PlainText);
        label->setGeometry(62, y, kWidth - 62 - 20, PictureCheck::kSide);
        new LabelClick(label, check);
        labels[i] = label;
    }

    const int languageY = kTitleHeight + 22 + 5 * 34 + 14;
    auto *Label2 = new QLabel(QStringLiteral("Language:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(28, languageY, 100, 26);
    auto *combo = new LanguageBox(this);
    combo->setObjectName(QStringLiteral("Combo1"));
    combo->setGeometry(130, languageY, 190, 26);
    Combo1 = combo;
    labelLang = new QLabel(this);
    labelLang->setObjectName(QStringLiteral("labelLang"));
    labelLang->setGeometry(130, languageY + 30, kWidth - 150, 20);
    const auto showRestartHint = [this] {
        // Red that stands out on the skin's frame, which is only known once the dialog opens.
        QPalette colours = palette();
        colours.setColor(QPalette::WindowText, warningColour(colours));
        labelLang->setPalette(colours);
        labelLang->setText(QLatin1String(kRestartHint));
    };
    combo->opened = showRestartHint;
    connect(Combo1, &QComboBox::activated, this, showRestartHint);

    const int buttonY = kHeight - 48;
    Command3 = new QPushButton(QStringLiteral("Skins Options"), this);
    Command3->setObjectName(QStringLiteral("Command3"));
    Command3->setGeometry(20, buttonY, 130, 30);
    Command1 = new QPushButton(QStringLiteral("OKE!"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(kWidth - 236, buttonY, 104, 30);
    Command1->setDefault(true);
    Command1->setFocus();
    Command2 = new QPushButton(QStringLiteral("Annuleren"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setGeometry(kWidth - 124, buttonY, 104, 30);
    connect(Command1, &QPushButton::clicked, this, &Form4::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form4::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form4::Command3_Click);

    // Load. Check1 carries the design pictures; the others take theirs from it.
    m_checks[0]->setPictures(PictureCheck::designPicture(false), PictureCheck::designPicture(true));
    for (int i = 1; i < 5; ++i)
        m_checks[i]->setPictures(m_checks[0]->picture(), m_checks[0]->downPicture());
    const SettingsValues loaded = loadSettings(iniPath());
    const int flags[] = {loaded.laden, loaded.afspelen, loaded.grootscherm, loaded.xsluiten, loaded.visual};
    for (int i = 0; i < 5; ++i)
        m_checks[i]->setChecked(flags[i] == 1);

    Command1->setText(m_texts.TaalTekst(QStringLiteral("f2command1")));
    Command2->setText(m_texts.TaalTekst(QStringLiteral("f2command2")));
    Command3->setText(m_texts.TaalTekst(QStringLiteral("f2command3")));
    Label1->setText(m_texts.TaalTekst(QStringLiteral("f4label1")));
    for (int i = 0; i < 5; ++i)
        labels[i]->setText(m_texts.TaalTekst(QLatin1String(textKeys[i])));

    Combo1->addItems(languageNames());
    Combo1->setCurrentIndex(loaded.combotaal);
}

QString Form4::iniPath() const
{
    return programFilePath(m_programFolder, QStringLiteral("INST.INI"));
}

SettingsValues Form4::values() const
{
    SettingsValues v;
    v.laden = m_checks[0]->value();
    v.afspelen = m_checks[1]->value();
    v.grootscherm = m_checks[2]->value();
    v.xsluiten = m_checks[3]->value();
    v.visual = m_checks[4]->value();
    v.combotaal = std::max(0, Combo1->currentIndex());
    return v;
}

void Form4::Command1_Click()
{
    const SettingsValues v = values();
    if (storeSettings(iniPath(), v) != IniWriteResult::Ok) {
        showMessage(this, m_texts, QStringLiteral("error9"), MessageCode::Critical, true);
        return;
    }
    Q_EMIT languageStored(v.taal());
    writeAutostart(m_registry, v.laden == 1, m_programPath);
    accept();
}

void Form4::Command2_Click()
{
    reject();
}

void Form4::Command3_Click()
{
    auto *form5 = new Form5(m_programFolder, m_texts, this);
    connect(form5, &Form5::skinChosen, this, &Form4::skinChosen);
    openSkinnedDialog(form5, m_programFolder, m_texts, this);
}
