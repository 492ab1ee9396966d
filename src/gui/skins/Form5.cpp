#include "skins/Form5.h"

#include "app/IniFile.h"
#include "app/LanguageTexts.h"
#include "skins/SkinCatalog.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace {

QLabel *addLabel(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setTextFormat(Qt::PlainText);
    l->setGeometry(geometry);
    return l;
}

QLabel *heading(QWidget *parent, const char *name, const QRect &geometry)
{
    QLabel *l = addLabel(parent, name, {}, geometry);
    QFont bold = l->font();
    bold.setBold(true);
    l->setFont(bold);
    return l;
}

} // namespace

Form5::Form5(QString programFolder, const LanguageTexts &texts, QWidget *parent)
    : SkinnedDialog(parent)
    , m_programFolder(std::move(programFolder))
{
    setObjectName(QStringLiteral("Form5"));
    setFixedSize(kWidth, kHeight);
    setWindowTitle(QStringLiteral("Norvale Internet Radio"));

    const int top = kTitleHeight + 12;
    QLabel *Label2 = heading(this, "Label2", {16, top, 180, 20});
    List1 = new QListWidget(this);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setGeometry(16, top + 24, 180, kHeight - top - 80);
    connect(List1, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) { List1_Click(List1->row(item)); });

    const int x = 214;
    const int valueX = x + 80;
    const int valueWidth = kWidth - valueX - 16;
    QLabel *Label11 = heading(this, "Label11", {x, top, 230, 20});
    QLabel *Label7 = addLabel(this, "Label7", {}, {x, top + 26, 76, 20});
    Label3 = addLabel(this, "Label3", {}, {valueX, top + 26, valueWidth, 20});
    QLabel *Label8 = addLabel(this, "Label8", {}, {x, top + 50, 76, 20});
    Label4 = addLabel(this, "Label4", {}, {valueX, top + 50, valueWidth, 20});
    QLabel *Label12 = heading(this, "Label12", {x, top + 96, 230, 20});
    QLabel *Label9 = addLabel(this, "Label9", {}, {x, top + 122, 76, 20});
    Label5 = addLabel(this, "Label5", {}, {valueX, top + 122, valueWidth, 20});
    QLabel *Label10 = addLabel(this, "Label10", {}, {x, top + 146, 76, 20});
    Label6 = addLabel(this, "Label6", {}, {valueX, top + 146, valueWidth, 20});

    Command1 = new QPushButton(this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(kWidth - 116, kHeight - 46, 100, 30);
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &QDialog::accept);

    Command1->setText(texts.TaalTekst(QStringLiteral("f2command1")));
    Label1->setText(texts.TaalTekst(QStringLiteral("f5label1")));
    Label2->setText(texts.TaalTekst(QStringLiteral("f5label2")));
    Label7->setText(texts.TaalTekst(QStringLiteral("f5label7")));
    Label8->setText(texts.TaalTekst(QStringLiteral("f5label8")));
    Label9->setText(texts.TaalTekst(QStringLiteral("f5label9")));
    Label10->setText(texts.TaalTekst(QStringLiteral("f5label10")));
    Label11->setText(texts.TaalTekst(QStringLiteral("f5label11")));
    Label12->setText(texts.TaalTekst(QStringLiteral("f5label12")));
    for (QLabel *value : {Label3, Label4, Label5, Label6})
        value->setText(QStringLiteral("-"));

    List1->addItems(installedSkins(m_programFolder));
}

void Form5::List1_Click(int row)
{
    if (row < 0 || row >= List1->count())
        return;
    const QString name = List1->item(row)->text();
    WriteINI(programFilePath(m_programFolder, QStringLiteral("INST.INI")), QStringLiteral("Online Radio"),
             QStringLiteral("skin"), name);
    Q_EMIT skinChosen(name);
    const SkinInformation info = readSkinInformation(m_programFolder, name);
    Label3->setText(info.authorName);
    Label4->setText(info.authorWebsite);
    Label5->setText(info.skinName);
    Label6->setText(info.date);
}
