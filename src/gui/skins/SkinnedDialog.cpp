#include "skins/SkinnedDialog.h"

#include "app/ProgramIdentity.h"
#include "controls/MessageBox.h"
#include "skins/SkinImage.h"

#include <QLabel>

SkinnedDialog::SkinnedDialog(QWidget *parent, bool titleBar)
    : QDialog(parent)
    , m_titleBar(titleBar)
{
    Image1 = new SkinImage(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image2 = new SkinImage(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    setWindowTitle(QLatin1String(kApplicationTitle));
    Label1 = dialogTitle(this);
    if (m_titleBar)
        applyTitleColour(Label1, titleColour({}));
    else
        Image2->hide();
    Image1->lower();
    stretchPictures();
}

void SkinnedDialog::setSkin(const SkinLook &look)
{
    Image1->setPicture(look.frame);
    Image2->setPicture(look.bar);
    Image2->setAutoFillBackground(m_titleBar && look.bar.isNull());
    Image2->setBackgroundRole(QPalette::Highlight);
    setPalette(look.palette);
    if (m_titleBar)
        applyTitleColour(Label1, look.titleColour);
}

void SkinnedDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    stretchPictures();
}

void SkinnedDialog::stretchPictures()
{
    Image1->setGeometry(rect());
    if (!m_titleBar)
        return;
    Image2->setGeometry(0, 0, width(), kTitleHeight);
    Label1->setGeometry(0, 0, width(), kTitleHeight);
    Image2->stackUnder(Label1);
}

QLabel *dialogTitle(QWidget *window)
{
    auto *title = new QLabel(window);
    title->setObjectName(QStringLiteral("Label1"));
    title->setTextFormat(Qt::PlainText);
    title->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    title->setIndent(16);
    QFont font = title->font();
    font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    font.setPointSizeF(font.pointSizeF() * 1.35);
    font.setBold(true);
    title->setFont(font);
    return title;
}

void applySkinPalette(QWidget *window, const QImage &frame)
{
    window->setPalette(skinPalette(frame));
}

void applyTitleColour(QLabel *title, const QColor &colour)
{
    QPalette colours = title->palette();
    colours.setColor(QPalette::WindowText, colour);
    title->setPalette(colours);
}

bool openSkinnedDialog(SkinnedDialog *dialog, const QString &programFolder, const LanguageTexts &texts,
                       QWidget *boxParent, bool withBar)
{
    const SkinLook look =
        readSkin(programFolder, withBar ? SkinPart::Frame | SkinPart::Bar : SkinParts(SkinPart::Frame));
    if (!look.ok()) {
        delete dialog;
        showMessage(boxParent, texts, QStringLiteral("error12"), MessageCode::Critical, true);
        return false;
    }
    dialog->setSkin(look);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    return true;
}

void showSkinMessages(QWidget *parent, const LanguageTexts &texts, QStringList keys, std::function<void()> done)
{
    if (keys.isEmpty()) {
        if (done)
            done();
        return;
    }
    const QString key = keys.takeFirst();
    showMessage(parent, texts, key, MessageCode::Critical, true,
                [parent, &texts, keys, done = std::move(done)](bool) mutable {
                    showSkinMessages(parent, texts, std::move(keys), std::move(done));
                });
}
