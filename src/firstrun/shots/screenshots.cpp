// Draws every skinned window of this library, in each shipped skin and language,
// offscreen into PNG files, so that the art can be judged on the windows it is for.
// The main window is stood in for by a sketch with its header, frame and main controls.

#include "Form4.h"
#include "Form5.h"
#include "Form6.h"
#include "Form7.h"
#include "IniFile.h"
#include "Registry.h"
#include "SkinImage.h"
#include "SkinLoader.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QThread>
#include <cstdio>

namespace {

void save(QWidget *window, const QString &path)
{
    window->show();
    QApplication::processEvents();
    window->grab().save(path);
}

void sketchMainWindow(const QString &folder, const QString &language, const QString &path)
{
    QWidget window;
    window.setFixedSize(676, 564);
    SkinLoader loader(folder);
    const MainSkinResult skin = loader.loadMain();
    auto *frame = new SkinImage(&window);
    frame->setGeometry(window.rect());
    frame->setPicture(skin.pictures.frame);
    auto *head = new SkinImage(&window, false);
    head->setGeometry(0, 0, 676, 144);
    head->setPicture(skin.pictures.head);
    if (isDarkPicture(skin.pictures.frame)) {
        QPalette colours = window.palette();
        colours.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
        window.setPalette(colours);
    }
    const bool dutch = language == QLatin1String("Nederlands");
    const auto label = [&](const QString &text, QRect r, bool bold = false) {
        auto *l = new QLabel(text, &window);
        l->setGeometry(r);
        QFont f = l->font();
        f.setBold(bold);
        l->setFont(f);
    };
    label(dutch ? "- Zenders -" : "- Stations -", {16, 156, 310, 20}, true);
    auto *list = new QListWidget(&window);
    list->setGeometry(16, 180, 310, 300);
    list->addItems({"NPO Radio 1", "NPO Radio 2", "Radio 538", "Qmusic", "Sky Radio", "Radio Veronica",
                    "BNR Nieuwsradio", "Classic FM", "Radio 10", "100% NL"});
    list->setCurrentRow(1);
    label(dutch ? "- Informatie -" : "- Information -", {346, 156, 314, 20}, true);
    label(dutch ? "Land:  Holland" : "Country:  Holland", {346, 184, 314, 20});
    label(dutch ? "Ander land kiezen" : "Choose another country", {346, 206, 314, 20});
    label(dutch ? "Zender:  NPO Radio 2" : "Station:  NPO Radio 2", {346, 236, 314, 20});
    auto *page = new QTextBrowser(&window);
    page->setGeometry(346, 264, 314, 216);
    page->setHtml(dutch ? "<h3>Welkom</h3><p>Populaire zenders van vandaag.</p>"
                        : "<h3>Welcome</h3><p>Popular stations today.</p>");
    auto *play = new QPushButton(dutch ? "Afspelen" : "Play", &window);
    play->setGeometry(346, 492, 100, 30);
    label("Volume:", {460, 497, 60, 20});
    auto *volume = new QSlider(Qt::Horizontal, &window);
    volume->setGeometry(520, 497, 110, 20);
    volume->setValue(50);
    label(dutch ? "Speelt: NPO Radio 2" : "Playing: NPO Radio 2", {16, 492, 310, 20});
    save(&window, path);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: norvale_screenshots <program folder> <output folder>\n");
        return 2;
    }
    const QString shipped = QString::fromLocal8Bit(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);
    QTemporaryDir work;
    const QString folder = work.path();
    for (const QString &name : {QStringLiteral("lang.ini"), QStringLiteral("old.version")})
        QFile::copy(shipped + QLatin1Char('/') + name, folder + QLatin1Char('/') + name);
    QDir().mkpath(folder + QStringLiteral("/skins"));
    for (const QString &name : QDir(shipped + QStringLiteral("/skins")).entryList(QDir::Files))
        QFile::copy(shipped + QStringLiteral("/skins/") + name, folder + QStringLiteral("/skins/") + name);
    // Sketch pictures for the slider, which the main window needs to count as skinned.
    QDir().mkpath(folder + QStringLiteral("/data3.0"));
    for (const char *name : {"scroll.jpg", "scroll2.jpg", "scroll3.jpg", "bg.jpg", "bg2.jpg"}) {
        QImage image(10, 10, QImage::Format_RGB32);
        image.fill(Qt::gray);
        image.save(folder + QStringLiteral("/data3.0/") + QLatin1String(name), "JPEG");
    }
    const Registry registry({folder + QStringLiteral("/user"), folder + QStringLiteral("/machine")});
    const QString ini = programFilePath(folder, QStringLiteral("INST.INI"));

    for (const QString &skin : {QStringLiteral("Standaard"), QStringLiteral("Nacht")}) {
        for (const QString &language : {QStringLiteral("Nederlands"), QStringLiteral("english")}) {
            WriteINI(ini, QStringLiteral("Online Radio"), QStringLiteral("skin"), skin);
            WriteINI(ini, QStringLiteral("Online Radio"), QStringLiteral("taal"), language);
            WriteINI(ini, QStringLiteral("Online Radio"), QStringLiteral("afspelen"), QStringLiteral("1"));
            WriteINI(ini, QStringLiteral("Online Radio"), QStringLiteral("grootscherm"), QStringLiteral("1"));
            const QString tag =
                skin.toLower() + QLatin1Char('-') + (language == QLatin1String("english") ? "en" : "nl");
            const LanguageTexts texts(folder, [language] { return language; });
            const DialogSkinPictures pictures = loadDialogPictures(folder);
            const DialogSkinPictures frameOnly = loadDialogPictures(folder, false);

            sketchMainWindow(folder, language, out + QStringLiteral("/main-") + tag + QStringLiteral(".png"));

            Form4 form4(folder, texts, registry, QStringLiteral("/usr/bin/norvale"));
            form4.setSkinPictures(pictures);
            save(&form4, out + QStringLiteral("/form4-") + tag + QStringLiteral(".png"));

            Form5 form5(folder, texts);
            form5.setSkinPictures(pictures);
            form5.List1_Click(skin == QLatin1String("Nacht") ? 0 : 1);
            WriteINI(ini, QStringLiteral("Online Radio"), QStringLiteral("skin"), skin);
            save(&form5, out + QStringLiteral("/form5-") + tag + QStringLiteral(".png"));

            Form6 form6(folder, QUrl(QStringLiteral("http://127.0.0.1:1/")), registry,
                        QStringLiteral("/usr/bin/norvale"), [language](QWidget *parent, const QUrl &) -> QWidget * {
                            auto *view = new QTextBrowser(parent);
                            view->setHtml(language == QLatin1String("english")
                                              ? "<h2>Welcome to Norvale</h2><p>Thousands of stations from all "
                                                "over the world, one click away.</p>"
                                              : "<h2>Welkom bij Norvale</h2><p>Duizenden zenders uit de hele "
                                                "wereld, met één klik.</p>");
                            return view;
                        });
            form6.load();
            QApplication::processEvents();
            QThread::msleep(30);
            QApplication::processEvents();
            save(&form6, out + QStringLiteral("/form6-") + tag + QStringLiteral(".png"));
            form6.hide();

            Form7 form7(folder, texts, registry, QStringLiteral("/usr/bin/norvale"));
            form7.setSkinPictures(frameOnly);
            save(&form7, out + QStringLiteral("/form7-") + tag + QStringLiteral(".png"));
            for (QMessageBox *box : form7.findChildren<QMessageBox *>())
                box->close();
        }
    }
    return 0;
}
