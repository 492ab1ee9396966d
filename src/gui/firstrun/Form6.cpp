#include "firstrun/Form6.h"

#include "app/IniFile.h"
#include "firstrun/Form7.h"
#include "settings/Form4.h"
#include "skins/SkinImage.h"
#include "skins/SkinLoader.h"
#include "skins/SkinnedDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>

Form6::Form6(QString programFolder, QUrl directoryBase, const Registry &registry, QString programPath,
             PageViewFactory pageView, QWidget *parent)
    : QWidget(parent)
    , m_programFolder(std::move(programFolder))
    , m_directoryBase(std::move(directoryBase))
    , m_registry(registry)
    , m_programPath(std::move(programPath))
    , m_pageView(std::move(pageView))
    , m_texts(m_programFolder, [this] { return gESelecteerdland ? gESelecteerdland->text() : QString(); })
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("Norvale"));
    setFixedSize(kWidth, kHeight);

    Image1 = new SkinImage(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image2 = new SkinImage(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setBackgroundRole(QPalette::Highlight);

    Label1 = new QLabel(QStringLiteral("Welkom"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setIndent(16);
    QFont title = Label1->font();
    title.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    title.setPointSizeF(title.pointSizeF() * 1.35);
    title.setBold(true);
    Label1->setFont(title);
    applyTitleColour(Label1, {});

    constexpr int margin = 20;
    const int top = SkinnedDialog::kTitleHeight + 12;
    Label2 = new QLabel(QStringLiteral("Label2"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setTextFormat(Qt::PlainText);
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label2->setGeometry(margin, top, kWidth - 2 * margin, 58);

    gESelecteerdland = new QLabel(QStringLiteral("Label3"), this);
    gESelecteerdland->setObjectName(QStringLiteral("gESelecteerdland"));
    gESelecteerdland->hide();

    const int buttonY = kHeight - 50;
    Command1 = new QPushButton(QStringLiteral("Start"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(kWidth - margin - 120, buttonY, 120, 32);
    Command1->setDefault(true);
    Command2 = new QPushButton(QStringLiteral("Zoek naar een oude versie van Norvale"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setGeometry(margin, buttonY, 270, 32);
    Command3 = new QPushButton(QStringLiteral("Nieuwe instellingen"), this);
    Command3->setObjectName(QStringLiteral("Command3"));
    Command3->setGeometry(margin + 280, buttonY, 150, 32);
    connect(Command1, &QPushButton::clicked, this, &Form6::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form6::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form6::Command3_Click);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(10);
    connect(Timer1, &QTimer::timeout, this, &Form6::applyTexts);
}

Form6::~Form6()
{
    // A window destroyed without a close (the program quitting) still counts as seen.
    markDone();
}

QUrl Form6::pageUrl(const QUrl &directoryBase)
{
    return directoryBase.resolved(QUrl(QStringLiteral("radio/inter/website/firstrun")));
}

void Form6::load()
{
    // Missing pictures or settings leave the window plain; the first start must never
    // fail on them.
    const DialogSkinPictures pictures = loadDialogPictures(m_programFolder);
    Image1->setPicture(pictures.frame);
    Image2->setPicture(pictures.bar);
    Image2->setAutoFillBackground(pictures.bar.isNull());
    applySkinPalette(this, pictures.frame);
    applyTitleColour(Label1, pictures.bar);
    resizeEvent(nullptr);
    gESelecteerdland->setText(ReadINI(programFilePath(m_programFolder, QStringLiteral("INST.INI")),
                                      QStringLiteral("Online Radio"), QStringLiteral("taal")));
    Timer1->start();
    show();

    const QUrl url = pageUrl(m_directoryBase);
    WebBrowser1 = m_pageView ? m_pageView(this, url) : new QTextBrowser(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    const int top = SkinnedDialog::kTitleHeight + 12 + 58 + 8;
    WebBrowser1->setGeometry(20, top, kWidth - 40, kHeight - 50 - 12 - top);
    WebBrowser1->show();
}

void Form6::bringForward()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
    // A dialog open over the window (settings, upgrade) stays on top of it.
    if (QWidget *dialog = QApplication::activeModalWidget(); dialog && dialog != this) {
        dialog->raise();
        dialog->activateWindow();
    }
}

void Form6::resizeEvent(QResizeEvent *)
{
    Image1->setGeometry(rect());
    Image2->setGeometry(0, 0, width(), SkinnedDialog::kTitleHeight);
    Label1->setGeometry(0, 0, width(), SkinnedDialog::kTitleHeight);
    Image1->lower();
    Image2->stackUnder(Label1);
}

void Form6::applyTexts()
{
    Label1->setText(m_texts.TaalTekst(QStringLiteral("f6label1")));
    Label2->setText(m_texts.TaalTekst(QStringLiteral("f6label2")));
    setWindowTitle(QStringLiteral("Norvale - ") + Label1->text());
    Command1->setText(m_texts.TaalTekst(QStringLiteral("f6command1")));
    Command2->setText(m_texts.TaalTekst(QStringLiteral("f6command2")));
    Command3->setText(m_texts.TaalTekst(QStringLiteral("f6command3")));
    Timer1->stop();
}

void Form6::Command1_Click()
{
    m_exit = FirstRunExit::Start;
    close();
}

void Form6::Command2_Click()
{
    // Preparing the search fails silently: without its picture the search is not shown.
    const DialogSkinPictures pictures = loadDialogPictures(m_programFolder, false);
    if (!pictures.ok())
        return;
    auto *form7 = new Form7(m_programFolder, m_texts, m_registry, m_programPath, this);
    form7->setSkinPictures(pictures);
    form7->setAttribute(Qt::WA_DeleteOnClose);
    connect(form7, &QDialog::finished, this, [this] {
        Command1->setEnabled(true);
        Command2->setEnabled(false);
    });
    form7->open();
}

void Form6::Command3_Click()
{
    auto *form4 = new Form4(m_programFolder, m_texts, m_registry, m_programPath, this);
    connect(form4, &Form4::languageStored, gESelecteerdland, &QLabel::setText);
    connect(form4, &QDialog::finished, this, [this] {
        m_exit = FirstRunExit::Settings;
        close();
    });
    openSkinnedDialog(form4, m_programFolder, m_texts, this);
}

void Form6::markDone()
{
    if (m_done)
        return;
    m_done = true;
    WriteINI(programFilePath(m_programFolder, QStringLiteral("INST.INI")), QStringLiteral("Onthouden"),
             QStringLiteral("firstrun"), QStringLiteral("1"));
}

void Form6::closeEvent(QCloseEvent *event)
{
    markDone();
    event->accept();
    QWidget::closeEvent(event);
    if (!m_finishedSent) {
        m_finishedSent = true;
        Q_EMIT finished(m_exit);
    }
}
