#pragma once

#include "app/Transfer.h"

#include <QList>
#include <optional>

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
        bool aborted = false;
    };

    QList<Request> requests;
    std::optional<TransferResult> answerAtOnce; // when set, openUrl answers before it returns

    quint64 openUrl(const QUrl &url, QObject *, Callback done) override
    {
        requests.append({url, std::move(done)});
        if (answerAtOnce)
            answer(requests.size() - 1, *answerAtOnce);
        return requests.size();
    }
    void abort(quint64 id) override { requests[id - 1].aborted = true; }

    static TransferResult reply(const QString &body, TransferError error = TransferError::None, int status = -1)
    {
        TransferResult result;
        result.error = error;
        result.httpStatus = status >= 0 ? status : error == TransferError::None ? 200 : 0;
        result.body = body;
        return result;
    }
    void answer(qsizetype index, TransferResult result)
    {
        result.url = requests.at(index).url;
        const Callback done = requests.at(index).done; // a copy: it may open the next request
        done(result);
    }
    void answer(qsizetype index, const QString &body, TransferError error = TransferError::None)
    {
        answer(index, reply(body, error));
    }
    void answerLast(const TransferResult &result) { answer(requests.size() - 1, result); }
    void answerLast(const QString &body) { answer(requests.size() - 1, reply(body)); }
};
