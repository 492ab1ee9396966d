#include "firstrun/Form7.h"

#include "app/IniFile.h"
#include "controls/MessageBox.h"
#include "firstrun/Upgrade.h"
#include "settings/Registry.h"
#include "skins/SkinImage.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

Form7::Form7(QString programFolder, LanguageTexts texts, const Registry &registry, QString programPath, QWidget *parent)
    : SkinnedDialog(parent, false)
    , m_programFolder(std::move(programFolder))
    , m_texts(std::move(texts))
    , m_registry(registry)
    , m_programPath(std::move(programPath))
{
    setObjectName(QStringLiteral("Form7"));
    setFixedSize(kWidth, kHeight);
    setWindowTitle(QStringLiteral("Norvale Internet Radio"));
    // This window has no title bar picture: Label1 is its status line.
    Label1->setGeometry(24, 36, kWidth - 48, 70);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setWordWrap(true);

    Command1 = new QPushButton(this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry((kWidth - 120) / 2, kHeight - 56, 120, 30);
    connect(Command1, &QPushButton::clicked, this, &Form7::Command1_Click);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(kDelayMs);
    connect(Timer1, &QTimer::timeout, this, &Form7::Timer1_Timer);

    Label1->setText(m_texts.TaalTekst(QStringLiteral("f7label1")));
    Command1->setText(m_texts.TaalTekst(QStringLiteral("f7command1")));
    showMessage(this, m_texts, QStringLiteral("f6label3"), MessageCode::Ok, false);
    Timer1->start();
}

QString Form7::iniPath() const
{
    return programFilePath(m_programFolder, QStringLiteral("INST.INI"));
}

void Form7::Command1_Click()
{
    Timer1->stop();
    close();
}

void Form7::Timer1_Timer()
{
    Timer1->stop();
    Command1->setEnabled(false); // the take-over has begun; it is not cut off half-way
    const std::optional<OldInstallation> old = findOldInstallation(m_registry, m_programPath);
    if (!old) {
        showMessage(this, m_texts, QStringLiteral("error21"), MessageCode::Information, true,
                    [this](bool) { close(); });
        return;
    }
    // The user sees which folder is about to be taken over and turned into a forwarder.
    showMessage(
        this, m_texts, QStringLiteral("error22"), MessageCode::YesNo, false,
        [this, found = *old](bool yes) {
            if (yes)
                takeOver(found);
            else
                close();
        },
        QDir::toNativeSeparators(old->folder));
}

void Form7::takeOver(const OldInstallation &old)
{
    // Checked again: the folder may have changed while the question was open.
    if (!oldInstallationFolder(old.path, m_programPath))
        return fail();
    const QString newIni = iniPath();
    for (const IniKey &k : kSettingsBeforeAutostart)
        UpdateInstelling(old.folder, newIni, QLatin1String(k.section), QLatin1String(k.key));

    const std::optional<int> laden = ladenNumber(ReadINI(newIni, QStringLiteral("Windows"), QStringLiteral("laden")));
    if (!laden)
        return fail();
    writeAutostart(m_registry, *laden == 1, m_programPath);

    for (const IniKey &k : kSettingsAfterAutostart)
        UpdateInstelling(old.folder, newIni, QLatin1String(k.section), QLatin1String(k.key));
    showMessage(this, m_texts, QStringLiteral("melding1"), MessageCode::Information, true,
                [this, old](bool) { copyFavourites(old); });
}

void Form7::copyFavourites(const OldInstallation &old)
{
    const CopyFolderError copied =
        copyFolder(QFile::encodeName(programFilePath(old.folder, QStringLiteral("favo"))).toStdString(),
                   QFile::encodeName(programFilePath(m_programFolder, QStringLiteral("favo"))).toStdString());
    // An older installation without favourites has nothing to copy; that is no failure.
    // After a failed copy its favourites exist only there, so it stays as it was, still
    // able to start, rather than becoming a forwarder.
    if (copied != CopyFolderError::None && copied != CopyFolderError::SourceMissing)
        return fail();
    const ForwarderError error = installForwarder(old.folder, old.path, m_programPath,
                                                  programFilePath(m_programFolder, QStringLiteral("old.version")));
    if (error != ForwarderError::None)
        return fail();
    close();
}

void Form7::fail()
{
    showMessage(this, m_texts, QStringLiteral("error20"), MessageCode::Critical, true, [this](bool) { close(); });
}
