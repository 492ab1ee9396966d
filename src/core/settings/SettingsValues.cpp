#include "settings/SettingsValues.h"

namespace {

int flag(const QString &ini, const char *section, const char *key)
{
    // 16-bit numbers as the dialog has always read them; "1" ticks a box, anything
    // else leaves it clear.
    bool ok = false;
    const short value = ReadINI(ini, QLatin1String(section), QLatin1String(key)).trimmed().toShort(&ok);
    return ok && value == 1 ? 1 : 0;
}

} // namespace

QStringList languageNames()
{
    return {QStringLiteral("Nederlands"), QStringLiteral("english")};
}

QString SettingsValues::taal() const
{
    return languageNames().value(combotaal, languageNames().constFirst());
}

SettingsValues loadSettings(const QString &instIni)
{
    SettingsValues values;
    values.laden = flag(instIni, "Windows", "laden");
    values.afspelen = flag(instIni, "Online Radio", "afspelen");
    values.grootscherm = flag(instIni, "Online Radio", "grootscherm");
    values.xsluiten = flag(instIni, "Online Radio", "xsluiten");
    values.visual = flag(instIni, "Online Radio", "visual");

    const QStringList names = languageNames();
    bool ok = false;
    const int position = ReadINI(instIni, QStringLiteral("Online Radio"), QStringLiteral("combotaal")).toShort(&ok);
    if (ok && position >= 0 && position < names.size()) {
        values.combotaal = position;
    } else {
        const QString taal = ReadINI(instIni, QStringLiteral("Online Radio"), QStringLiteral("taal"));
        values.combotaal = std::max<qsizetype>(0, names.indexOf(taal));
    }
    return values;
}

IniWriteResult storeSettings(const QString &instIni, const SettingsValues &values)
{
    const QString online = QStringLiteral("Online Radio");
    const struct
    {
        QString section;
        const char *key;
        QString value;
    } writes[] = {
        {QStringLiteral("Windows"), "laden", QString::number(values.laden)},
        {online, "afspelen", QString::number(values.afspelen)},
        {online, "grootscherm", QString::number(values.grootscherm)},
        {online, "xsluiten", QString::number(values.xsluiten)},
        {online, "combotaal", QString::number(values.combotaal)},
        {online, "taal", values.taal()},
        {online, "visual", QString::number(values.visual)},
    };
    for (const auto &w : writes) {
        const IniWriteResult result = WriteINI(instIni, w.section, QLatin1String(w.key), w.value);
        if (result != IniWriteResult::Ok)
            return result;
    }
    return IniWriteResult::Ok;
}
