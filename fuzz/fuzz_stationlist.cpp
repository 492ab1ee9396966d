// The station-list loader's whole path from the bytes of a reply to the three lists.

#include "app/TextCodec.h"
#include "app/Transfer.h"
#include "directory/StationListLoader.h"
#include "directory/TagParser.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Answers every request at once with the bytes, decoded as the network transfer does.
class BytesTransfer final : public Transfer
{
public:
    QByteArray bytes;

    quint64 openUrl(const QUrl &url, QObject *, Callback done) override
    {
        TransferResult result;
        result.url = url;
        result.httpStatus = 200;
        result.body = decodeUtf8OrWindows1252(bytes);
        done(result);
        return 1;
    }
    void abort(quint64) override { }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    BytesTransfer transfer;
    transfer.bytes = QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
    StationListLoader loader(
        &transfer, [] { return QUrl(QStringLiteral("http://127.0.0.1/")); },
        [] { return QStringLiteral("holland.txt"); });
    int outcomes = 0;
    QObject::connect(&loader, &StationListLoader::loaded, &loader,
                     [&](const QStringList &naam, const QStringList &url, const QStringList &homepage) {
                         ++outcomes;
                         const StationListText expected = parseStationList(decodeUtf8OrWindows1252(transfer.bytes));
                         if (naam != expected.naam || url != expected.url || homepage != expected.homepage)
                             std::abort();
                     });
    QObject::connect(&loader, &StationListLoader::failureCountChanged, &loader, [&] { ++outcomes; });
    loader.start();
    loader.onTimer1();
    // Exactly one outcome: the lists, or a counted failure.
    if (outcomes != 1)
        std::abort();
    return 0;
}
