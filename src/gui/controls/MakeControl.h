#pragma once

#include <QLatin1String>
#include <QRect>
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
