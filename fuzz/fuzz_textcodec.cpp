// Bytes from a directory reply or an INI file another program wrote.

#include "app/TextCodec.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = decodeUtf8OrWindows1252(bytes);
    // Every byte gives at most one UTF-16 unit (four UTF-8 bytes give two).
    if (text.size() > bytes.size())
        std::abort();
    // Valid UTF-8 is taken as it is.
    const QString utf8 = QString::fromUtf8(bytes);
    if (utf8.toUtf8() == bytes && !utf8.contains(QChar::ReplacementCharacter) && text != utf8)
        std::abort();
    return 0;
}
