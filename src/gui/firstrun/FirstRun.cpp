#include "firstrun/FirstRun.h"

#include "app/SingleInstance.h"
#include "app/Transfer.h"

#include <QEventLoop>
#include <QTextBrowser>

namespace {
constexpr qsizetype kMaxPageChars = 512 * 1024;
}

FirstRunExit runFirstRun(const QString &programFolder, const QUrl &directoryBase, const Registry &registry,
                         const QString &programPath, Form6::PageViewFactory pageView, SingleInstance *instance)
{
    Form6 form(programFolder, directoryBase, registry, programPath, std::move(pageView));
    if (instance)
        QObject::connect(instance, &SingleInstance::activationRequested, &form, &Form6::bringForward);
    QEventLoop wait;
    QObject::connect(&form, &Form6::finished, &wait, &QEventLoop::quit);
    form.load();
    wait.exec();
    return form.exitPath();
}

Form6::PageViewFactory textPageView(Transfer *transfer)
{
    return [transfer](QWidget *parent, const QUrl &url) -> QWidget * {
        auto *view = new QTextBrowser(parent);
        view->setOpenLinks(false);
        view->setOpenExternalLinks(false);
        if (transfer) {
            transfer->openUrl(url, view, [view](const TransferResult &result) {
                if (result.ok() && result.body.size() <= kMaxPageChars)
                    view->setHtml(result.body);
            });
        }
        return view;
    };
}
