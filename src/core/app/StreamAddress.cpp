#include "app/StreamAddress.h"

#include <QUrl>

bool isStreamAddress(const QString &url)
{
    // The engine picks its protocol from the text before "://", so the text itself must
    // start with it; what QUrl makes of the rest only adds the host check.
    const QString text = url.trimmed();
    const bool network = text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
        || text.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    return network && !QUrl(text).host().isEmpty();
}
