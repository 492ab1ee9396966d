#pragma once

#include "app/IniFile.h"
#include "app/NetTransfer.h"
#include "directory/StationListLoader.h"
#include "player/Form1.h"
#include "settings/Registry.h"
#include "support/FakeMediaPlayer.h"
#include "support/LocalHttpServer.h"

#include <QListWidget>
#include <QNetworkAccessManager>
#include <QtTest>
#include <filesystem>
#include <memory>

namespace {

const QByteArray kHolland = "<naam>Radio Een</naam><url>http://one.example/stream</url>"
                            "<homepage>http://one.example/</homepage>\n"
                            "<naam>Caf\xc3\xa9 FM</naam><url>http://two.example/live?x=1&y=2</url>"
                            "<homepage>http://two.example/</homepage>\n"
                            "<naam>Zonder stream</naam>";

inline LocalHttpReply serveHolland(const QByteArray &target)
{
    if (target == "/radio/inter/zenders/holland.txt")
        return {200, kHolland};
    if (target == "/radio/inter/keuze.txt")
        return {200, "<naam>Belgi\xc3\xab</naam><bestand>belgie.txt</bestand>"};
    return {404, "not here"};
}

// The directory server with another country list in place of kHolland.
inline LocalHttpServer::Handler serveList(const QByteArray &list)
{
    return [list](const QByteArray &target) {
        return target == "/radio/inter/zenders/holland.txt" ? LocalHttpReply {200, list} : serveHolland(target);
    };
}

// One loaded main window: a fresh program folder, a loopback directory server, real transfers, the scripted player.
struct Rig
{
    QTemporaryDir folder;
    LocalHttpServer server;
    QNetworkAccessManager network;
    NetTransfer inet1 {&network}, inet2 {&network}, inet3 {&network};
    FakeMediaPlayer player;
    const Registry registry {AutostartFolders {folder.filePath("user"), folder.filePath("machine")}};
    std::unique_ptr<Form1> form;
    StationListLoader *loader = nullptr;

    // ask: the transfer the address questions go through, when a test answers them itself.
    explicit Rig(const QString &language = QStringLiteral("Nederlands"),
                 LocalHttpServer::Handler handler = serveHolland, Transfer *ask = nullptr,
                 const QString &skin = QStringLiteral("Standaard"))
        : server(std::move(handler))
    {
        // A fresh program folder as an installation seeds it: texts, skins, slider pictures.
        std::filesystem::copy(NORVALE_BINARY_DIR "/share/norvale", folder.path().toStdString(),
                              std::filesystem::copy_options::recursive);
        WriteINI(ini(), QStringLiteral("Online Radio"), QStringLiteral("taal"), language);
        WriteINI(ini(), QStringLiteral("Online Radio"), QStringLiteral("skin"), skin);
        form = std::make_unique<Form1>(AppServices {folder.path(), QUrl(server.baseUrl()), &inet1, &inet2,
                                                    ask ? ask : &inet3, &player, &inet1, &registry});
        form->load();
        player.clearCalls(); // the restore's volume; the tests count what they cause
        loader = form->findChild<StationListLoader *>();
    }

    // One Timer1 tick driven at once, rather than waiting two seconds for it.
    bool fetch()
    {
        loader->onTimer1();
        return QTest::qWaitFor([this] { return !loader->isFetching(); });
    }
    // A station of the list started as a click does; play() fetches the list first.
    void pick(int row)
    {
        child<QListWidget>("List1")->setCurrentRow(row);
        form->List1_Click();
    }
    bool play(int row) { return fetch() && (pick(row), true); }
    QString ini() const { return folder.filePath(QStringLiteral("INST.INI")); }
    QString remembered(const char *key) const { return ReadINI(ini(), QStringLiteral("Onthouden"), key); }
    template<typename T>
    T *child(const char *name) const
    {
        return form->findChild<T *>(QLatin1String(name));
    }
    QString text(const QString &key) const { return form->texts().TaalTekst(key); }
    QStringList entries(const char *name) const
    {
        const auto *list = child<QListWidget>(name);
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }
};

} // namespace
