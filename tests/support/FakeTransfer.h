#pragma once

#include "Transfer.h"

#include <QList>

// Keeps every request until the test answers it, like a slow server would; answers even
// an aborted request, as a careless transfer might, so that callers must drop stale
// replies themselves.
class FakeTransfer final : public Transfer
{
public:
    struct Request
    {
        QUrl url;
        Callback done;
    };

    QList<Request> requests;

    quint64 openUrl(const QUrl &url, QObject *, Callback done) override
    {
        requests.append({url, std::move(done)});
        return requests.size();
    }
    void abort(quint64) override { }

    void answer(qsizetype index, const QString &body, TransferError error = TransferError::None)
    {
        TransferResult result;
        result.error = error;
        result.httpStatus = error == TransferError::None ? 200 : 0;
        result.body = body;
        result.url = requests.at(index).url;
        const Callback done = requests.at(index).done; // a copy: it may open the next request
        done(result);
    }
    void answerLast(const QString &body) { answer(requests.size() - 1, body); }
};
