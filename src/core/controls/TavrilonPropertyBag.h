#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <utility>

// A control's design-time settings as named entries, kept in the order they were
// written. An entry equal to its default is left out, and a missing entry reads as the
// default the reader asks for. Names are matched without regard to case.
class TavrilonPropertyBag final
{
public:
    QVariant ReadProperty(const QString &name, const QVariant &defaultValue = {}) const;
    void WriteProperty(const QString &name, const QVariant &value, const QVariant &defaultValue = {});

    QStringList names() const;
    bool contains(const QString &name) const { return indexOf(name) >= 0; }

private:
    qsizetype indexOf(const QString &name) const;

    QList<std::pair<QString, QVariant>> m_entries;
};
