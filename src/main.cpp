#include "app/DirectoryUrl.h"
#include "app/IniFile.h"
#include "app/LanguageTexts.h"
#include "app/NetTransfer.h"
#include "app/ProgramFolder.h"
#include "app/SingleInstance.h"
#include "app/Startup.h"
#include "app/TerminationSignals.h"
#include "engine/MpvPlayer.h"
#include "firstrun/FirstRun.h"
#include "player/AppServices.h"
#include "player/CommandLine.h"
#include "player/Form1.h"
#include "player/ListenerFeatures.h"
#include "player/WebView.h"
#include "recorder/RecordCommand.h"
#include "settings/Registry.h"

#include <QApplication>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QSessionManager>
#include <clocale>
#include <malloc.h>
#include <optional>

namespace {

// Window-modal and not waited for: the program goes on starting behind it.
void showWarning(QWidget *parent, const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QLatin1String(kApplicationTitle), text, QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace

// Main: decides from INST.INI which window loads first. Everything kept between runs
// is created here once and handed to the windows.
int main(int argc, char **argv)
{
    // Recording without a window needs no display and leaves a running player alone.
    if (isRecordCommand(argc, argv))
        return runRecordCommand(argc, argv);
    if (const std::optional<int> done = runCommandLine(argc, argv, kApplicationTitle))
        return *done;
    WebView::prepareApplication();
    QApplication app(argc, argv);
    if (argc > 1) // Qt has removed the options it knows
        return rejectArgument(argv[1]);
    QApplication::setApplicationName(QStringLiteral("norvale"));
    QApplication::setApplicationDisplayName(QLatin1String(kApplicationTitle));
    QApplication::setApplicationVersion(QStringLiteral("3.0"));
    // libmpv refuses to start under a locale whose decimal point is not ".". QApplication
    // has just set the locale from the environment, so this comes after it.
    std::setlocale(LC_NUMERIC, "C");
    // Every (re)connection allocates the engine's stream buffers afresh, several MiB. Past
    // glibc's adaptive threshold they come from the heap, where they stay after the
    // stream ends: a source that drops out every half minute grew the player by 20 MiB in
    // ten minutes. A fixed threshold keeps them in mappings that go back to the system.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);

    SingleInstance instance(SingleInstance::defaultServerName(QLatin1String(kApplicationTitle)));
    if (instance.claim() == SingleInstance::Role::Secondary)
        return 0; // the running copy comes forward; this one touches nothing

    const ProgramFolderResult folder = resolveProgramFolder(ProgramFolderInputs::fromEnvironment());
    if (!folder.ok()) {
        QMessageBox::critical(nullptr, QLatin1String(kApplicationTitle), folder.errorText);
        return 1;
    }

    const QString inst = programFilePath(folder.path, QStringLiteral("INST.INI"));
    const bool mainWindowFirst =
        opensMainWindow(ReadINI(inst, QStringLiteral("Onthouden"), QStringLiteral("firstrun")));

    QNetworkAccessManager network;
    NetTransfer inet1(&network);
    NetTransfer inet2(&network);
    NetTransfer inet3(&network);
    NetTransfer web(&network); // the embedded browser bounds what it fetches on its own transfer
    inet1.setMaxBodyBytes(TransferLimit::kList);
    inet2.setMaxBodyBytes(TransferLimit::kShortReply);
    inet3.setMaxBodyBytes(TransferLimit::kShortReply);
    MpvPlayer player(qEnvironmentVariable("NORVALE_MPV_OPTIONS"));
    // Status texts in the stored language, before anything can play.
    const LanguageTexts startTexts(
        folder.path, [&inst] { return ReadINI(inst, QStringLiteral("Online Radio"), QStringLiteral("taal")); });
    const auto text = [&](const char *key, const QString &fallback) {
        const QString value = startTexts.TaalTekst(QLatin1String(key));
        return value.isEmpty() ? fallback : value;
    };
    MpvPlayer::Texts status;
    status.ready = text("statusklaar", status.ready);
    status.stopped = text("statusgestopt", status.stopped);
    status.paused = text("statuspauze", status.paused);
    status.connecting = text("statusverbinden", status.connecting);
    status.reconnecting = text("statusopnieuw", status.reconnecting);
    status.buffering = text("statusbuffer", status.buffering);
    status.bufferingPercent = text("statusbufferprocent", status.bufferingPercent);
    status.playing = text("statusspeelt", status.playing);
    status.playingTitle = text("statusspeelttitel", status.playingTitle);
    status.failed = text("statusmislukt", status.failed);
    player.setTexts(status);
    const Registry registry(AutostartFolders::fromEnvironment());

    AppServices services;
    services.programFolder = folder.path;
    services.directoryBase =
        directoryBaseUrl(ReadINI(inst, QStringLiteral("Online Radio"), QStringLiteral("directory")),
                         qEnvironmentVariable("NORVALE_DIRECTORY_URL"));
    services.inet1 = &inet1;
    services.inet2 = &inet2;
    services.inet3 = &inet3;
    services.player = &player;
    services.firstRunPending = !mainWindowFirst;
    services.web = &web;
    services.registry = &registry;

    // Said once, before any window (the first-run window waits for the user): without an
    // engine every station would only show "not available" with no cause.
    bool engineFailureShown = false;
    const auto showEngineFailure = [&] {
        if (engineFailureShown || player.startError().isEmpty())
            return;
        engineFailureShown = true;
        qWarning().noquote() << player.startError();
        showWarning(nullptr, player.startError());
    };
    QObject::connect(&player, &MediaPlayer::engineFailed, &player, showEngineFailure);
    showEngineFailure();
    if (!folder.warnings.isEmpty()) {
        const QString text = QStringLiteral("Some files could not be placed in the program folder %1:\n%2")
                                 .arg(folder.path, folder.warnings.join(u'\n'));
        qWarning().noquote() << text;
        showWarning(nullptr, text);
    }

    // The first-run window comes before the main window; closing it with its close box
    // ends the program, as no other window is open.
    const std::optional<FirstRunExit> firstRun = mainWindowFirst
        ? std::nullopt
        : std::optional(runFirstRun(
            folder.path, services.directoryBase, registry, QCoreApplication::applicationFilePath(),
            [&web](QWidget *parent, const QUrl &url) -> QWidget * {
                auto *view = new WebView(&web, parent);
                view->Navigate(url.toString(QUrl::FullyEncoded));
                return view;
            },
            &instance));
    if (firstRun == FirstRunExit::Closed)
        return 0;

    Form1 form(services);
    QObject::connect(&instance, &SingleInstance::activationRequested, &form, &Form1::bringForward);
    QObject::connect(&instance, &SingleInstance::commandReceived, &form,
                     [&form](const QString &command) { form.listener()->runCommand(command); });
    // Every way out stores the last station: a desktop ending the session (it may not wait
    // for a clean quit after asking), kill and Ctrl+C, and the event loop's last moment.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &form, &Form1::endProgram);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form,
                     [&form](QSessionManager &) { form.rememberForExit(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &form, &Form1::rememberForExit);
    form.load();
    // A first start that went on to listen is counted by the directory, once.
    if (firstRun == FirstRunExit::Start)
        form.raiseReport(QStringLiteral("vfirst"));
    // Timer3's restore shows the window or puts the program in the notification area.

    return app.exec();
}
