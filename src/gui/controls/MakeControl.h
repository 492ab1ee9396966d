#pragma once

#include <QLatin1String>
#include <QRect>
#include <QString>
#include <QWidget>

// A child control with its design name (what tests and the accessibility tree find it
// by) at its design position.
template<typename T>
T *make(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *w = new T(parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(geometry);
    return w;
}

// A label that shows plain text whatever it holds: station names, country names and song
// titles come from outside and must never be read as markup.
template<typename T>
T *plainLabel(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *l = make<T>(parent, name, geometry);
    l->setTextFormat(Qt::PlainText);
    l->setText(text);
    return l;
}
