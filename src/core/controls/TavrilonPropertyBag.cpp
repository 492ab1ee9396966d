#include "controls/TavrilonPropertyBag.h"

QVariant TavrilonPropertyBag::ReadProperty(const QString &name, const QVariant &defaultValue) const
{
    const qsizetype index = indexOf(name);
    return index < 0 ? defaultValue : m_entries.at(index).second;
}

void TavrilonPropertyBag::WriteProperty(const QString &name, const QVariant &value, const QVariant &defaultValue)
{
    const qsizetype index = indexOf(name);
    if (defaultValue.isValid() && value == defaultValue) {
        if (index >= 0)
            m_entries.removeAt(index);
        return;
    }
    if (index >= 0)
        m_entries[index].second = value;
    else
        m_entries.append({name, value});
}

QStringList TavrilonPropertyBag::names() const
{
    QStringList out;
    out.reserve(m_entries.size());
    for (const auto &entry : m_entries)
        out.append(entry.first);
    return out;
}

qsizetype TavrilonPropertyBag::indexOf(const QString &name) const
{
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).first.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}
