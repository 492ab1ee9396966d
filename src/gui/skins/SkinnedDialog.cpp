#include "skins/SkinnedDialog.h"

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
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    Label1->setIndent(16);
    QFont title = Label1->font();
    title.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    title.setPointSizeF(title.pointSizeF() * 1.35);
    title.setBold(true);
    Label1->setFont(title);
    if (m_titleBar)
        applyTitleColour(Label1, {});
    else
        Image2->hide();
    Image1->lower();
    stretchPictures();
}

void SkinnedDialog::setSkinPictures(const DialogSkinPictures &pictures)
{
    Image1->setPicture(pictures.frame);
    Image2->setPicture(pictures.bar);
    Image2->setAutoFillBackground(m_titleBar && pictures.bar.isNull());
    Image2->setBackgroundRole(QPalette::Highlight);
    applySkinPalette(this, pictures.frame);
    if (m_titleBar)
        applyTitleColour(Label1, pictures.bar);
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

QPalette skinPalette(const QImage &frame, const QColor &plain)
{
    const bool dark = frame.isNull() ? plain.lightness() < 110 : isDarkPicture(frame);
    // The frame picture covers the window's own background. Styles draw the edges of
    // check boxes and fields a shade darker than Window, which on a dark frame would
    // vanish: there Window is a mid grey.
    const QColor window = dark ? QColor(0x6b, 0x75, 0x80) : frame.isNull() ? plain : averageColour(frame);
    const QColor text = dark ? QColor(0xee, 0xee, 0xee) : QColor(0x14, 0x14, 0x14);
    const QColor base = dark ? QColor(0x20, 0x24, 0x29) : QColor(Qt::white);
    const QColor button = dark ? QColor(0x3a, 0x40, 0x48) : QColor(0xe6, 0xe8, 0xeb);
    const QColor muted = dark ? QColor(0x8c, 0x92, 0x98) : QColor(0x7a, 0x7a, 0x7a);
    QPalette colours(button, window); // the bevel shades follow the button colour
    colours.setColor(QPalette::WindowText, text);
    colours.setColor(QPalette::Text, text);
    colours.setColor(QPalette::ButtonText, text);
    colours.setColor(QPalette::BrightText, dark ? QColor(Qt::white) : QColor(Qt::black));
    colours.setColor(QPalette::Base, base);
    colours.setColor(QPalette::AlternateBase, dark ? base.lighter(125) : QColor(0xf2, 0xf4, 0xf7));
    colours.setColor(QPalette::Link, dark ? QColor(0x8c, 0xc4, 0xff) : QColor(0x1d, 0x64, 0xa8));
    colours.setColor(QPalette::LinkVisited, dark ? QColor(0xc0, 0xa0, 0xff) : QColor(0x6a, 0x3d, 0x9a));
    colours.setColor(QPalette::Highlight, QColor(0x2b, 0x7b, 0xc0));
    colours.setColor(QPalette::HighlightedText, Qt::white);
    colours.setColor(QPalette::PlaceholderText, muted);
    colours.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xdc));
    colours.setColor(QPalette::ToolTipText, Qt::black);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        colours.setColor(QPalette::Disabled, role, muted);
    return colours;
}

void applySkinPalette(QWidget *window, const QImage &frame)
{
    window->setPalette(skinPalette(frame));
}

void applyTitleColour(QLabel *title, const QImage &bar)
{
    QPalette colours = title->palette();
    colours.setColor(QPalette::WindowText,
                     bar.isNull() || isDarkPicture(bar) ? QColor(Qt::white) : QColor(0x14, 0x14, 0x14));
    title->setPalette(colours);
}

bool isDarkSkinPalette(const QPalette &palette)
{
    return palette.color(QPalette::WindowText).lightness() > 128;
}

QColor warningColour(const QPalette &palette)
{
    return isDarkSkinPalette(palette) ? QColor(0xff, 0x6b, 0x6b) : QColor(Qt::red);
}

bool openSkinnedDialog(SkinnedDialog *dialog, const QString &programFolder, const LanguageTexts &texts,
                       QWidget *boxParent, bool withBar)
{
    const DialogSkinPictures pictures = loadDialogPictures(programFolder, withBar);
    if (!pictures.ok()) {
        delete dialog;
        showMessage(boxParent, texts, QStringLiteral("error12"), MessageCode::Critical, true);
        return false;
    }
    dialog->setSkinPictures(pictures);
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
