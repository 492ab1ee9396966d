#include "MessageBox.h"

#include "LanguageTexts.h"

#include <QMessageBox>

void showMessage(QWidget *parent, const LanguageTexts &texts, const QString &key, int code, bool titled,
                 std::function<void(bool)> answered, const QString &detail)
{
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
