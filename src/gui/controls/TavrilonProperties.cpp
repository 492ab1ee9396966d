#include "controls/Tavrilon.h"
#include "controls/TavrilonEdit.h"

// The control's entries in the property store, each with the default a missing entry
// reads as.

void Tavrilon::ReadProperties(const TavrilonPropertyBag &bag)
{
    const auto flag = [&](const char *name, bool fallback) {
        return bag.ReadProperty(QLatin1String(name), fallback).toBool();
    };
    m_autoColorize = flag("AutoColorize", true);
    setAutoVerbMenu(flag("AutoVerbMenu", false));
    if (const QVariant back = bag.ReadProperty(QStringLiteral("BackColor"));
        back.canConvert<QColor>() && back.value<QColor>().isValid())
        setBackColor(back.value<QColor>());
    m_style[comment].bold = flag("CommentBold", false);
    m_style[comment].italic = flag("CommentItalic", true);
    setEnabled(flag("Enabled", true));
    bool ok = false;
    const int entities = bag.ReadProperty(QStringLiteral("Entities"), 62).toInt(&ok);
    m_entities = ok && entities >= 0 && entities <= 63 ? entities : 62;
    m_style[entity].bold = flag("EntityBold", false);
    m_style[entity].italic = flag("EntityItalic", false);
    if (const QString file = bag.ReadProperty(QStringLiteral("FileName")).toString(); !file.isEmpty())
        setFileName(file);
    if (const QVariant font = bag.ReadProperty(QStringLiteral("Font")); font.canConvert<QFont>())
        setFont(font.value<QFont>());
    setHideSelection(flag("HideSelection", false));
    setLocked(flag("Locked", false));
    setMaxLength(bag.ReadProperty(QStringLiteral("MaxLength"), 0).toInt());
    setMouseIcon(bag.ReadProperty(QStringLiteral("MouseIcon")).value<QPixmap>());
    if (setMousePointer(bag.ReadProperty(QStringLiteral("MousePointer"), 0).toInt()) != TavrilonError::None)
        setMousePointer(0);
    m_style[propName].bold = flag("PropNameBold", false);
    m_style[propName].italic = flag("PropNameItalic", false);
    m_style[propVal].bold = flag("PropValBold", false);
    m_style[propVal].italic = flag("PropValItalic", false);
    m_silent = flag("Silent", true);
    setRightMargin(bag.ReadProperty(QStringLiteral("RightMargin"), 0).toFloat());
    m_style[tag].bold = flag("TagBold", true);
    m_style[tag].italic = flag("TagItalic", false);
    // A text loaded from FileName stays unless the store holds a text of its own.
    if (bag.contains(QStringLiteral("Text")))
        setText(bag.ReadProperty(QStringLiteral("Text")).toString());
}

void Tavrilon::WriteProperties(TavrilonPropertyBag &bag) const
{
    bag.WriteProperty(QStringLiteral("AutoColorize"), m_autoColorize, true);
    bag.WriteProperty(QStringLiteral("AutoVerbMenu"), m_autoVerbMenu, false);
    if (m_backColor)
        bag.WriteProperty(QStringLiteral("BackColor"), *m_backColor);
    bag.WriteProperty(QStringLiteral("CommentBold"), m_style[comment].bold, false);
    bag.WriteProperty(QStringLiteral("CommentItalic"), m_style[comment].italic, true);
    bag.WriteProperty(QStringLiteral("Enabled"), isEnabled(), true);
    bag.WriteProperty(QStringLiteral("Entities"), m_entities, 62);
    bag.WriteProperty(QStringLiteral("EntityBold"), m_style[entity].bold, false);
    bag.WriteProperty(QStringLiteral("EntityItalic"), m_style[entity].italic, false);
    bag.WriteProperty(QStringLiteral("FileName"), m_fileName, QString());
    bag.WriteProperty(QStringLiteral("Font"), m_edit->font());
    bag.WriteProperty(QStringLiteral("HideSelection"), m_hideSelection, false);
    bag.WriteProperty(QStringLiteral("Locked"), m_locked, false);
    bag.WriteProperty(QStringLiteral("MaxLength"), m_maxLength, 0);
    if (!m_mouseIcon.isNull())
        bag.WriteProperty(QStringLiteral("MouseIcon"), m_mouseIcon);
    bag.WriteProperty(QStringLiteral("MousePointer"), m_mousePointer, 0);
    bag.WriteProperty(QStringLiteral("PropNameBold"), m_style[propName].bold, false);
    bag.WriteProperty(QStringLiteral("PropNameItalic"), m_style[propName].italic, false);
    bag.WriteProperty(QStringLiteral("PropValBold"), m_style[propVal].bold, false);
    bag.WriteProperty(QStringLiteral("PropValItalic"), m_style[propVal].italic, false);
    bag.WriteProperty(QStringLiteral("Silent"), m_silent, true);
    bag.WriteProperty(QStringLiteral("RightMargin"), int(m_rightMargin), 0);
    bag.WriteProperty(QStringLiteral("TagBold"), m_style[tag].bold, true);
    bag.WriteProperty(QStringLiteral("TagItalic"), m_style[tag].italic, false);
    bag.WriteProperty(QStringLiteral("Text"), Text(), QString());
}
