#include "controls/MessageBox.h"

#include "app/LanguageTexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>

void followInterfaceLanguage(const QString &language)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (app == nullptr)
        return;
    const QString wanted =
        language.compare(QLatin1String("Nederlands"), Qt::CaseInsensitive) == 0 ? QStringLiteral("nl") : QString();
    // The translator is the application's child, so a switch finds and replaces it.
    const QString name = QStringLiteral("norvale_qt_translations");
    auto *installed = app->findChild<QTranslator *>(name, Qt::FindDirectChildrenOnly);
    if (installed != nullptr && installed->property("language").toString() == wanted)
        return;
    delete installed; // a translator removes itself from the application
    if (wanted.isEmpty())
        return;
    auto *translator = new QTranslator(app);
    translator->setObjectName(name);
    translator->setProperty("language", wanted);
    // A missing translation leaves Qt's English texts; the empty translator stays so
    // that the file is not looked for again before every box.
    if (translator->load(QStringLiteral("qtbase_") + wanted, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

void showMessage(QWidget *parent, const LanguageTexts &texts, const QString &key, int code, bool titled,
                 std::function<void(bool)> answered, const QString &detail)
{
    followInterfaceLanguage(texts.language());
    auto *box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("message_") + key);
    box->setText(texts.TaalTekst(key));
    if (!detail.isEmpty()) {
        box->setTextFormat(Qt::PlainText);
        box->setInformativeText(detail);
    }
    box->setWindowTitle(titled ? texts.TaalTekst(QStringLiteral("error0")) : QStringLiteral("Norvale Internet Radio"));
    switch (code) {
    case MessageCode::YesNo:
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::No);
        break;
    case MessageCode::Critical:
        box->setIcon(QMessageBox::Critical);
        box->setStandardButtons(QMessageBox::Ok);
        break;
    case MessageCode::Information:
        box->setIcon(QMessageBox::Information);
        box->setStandardButtons(QMessageBox::Ok);
        break;
    default:
        box->setStandardButtons(QMessageBox::Ok);
        break;
    }
    QObject::connect(box, &QMessageBox::finished, box, [box, answered = std::move(answered)] {
        if (answered) {
            const auto button = box->standardButton(box->clickedButton());
            answered(button == QMessageBox::Ok || button == QMessageBox::Yes);
        }
    });
    box->open();
}
