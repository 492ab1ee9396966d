#include "app/Startup.h"

bool opensMainWindow(const QString &firstrun)
{
    bool ok = false;
    const double number = firstrun.trimmed().toDouble(&ok);
    return ok && number == 1.0;
}
