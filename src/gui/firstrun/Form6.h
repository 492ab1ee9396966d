#pragma once

#include "app/LanguageTexts.h"

#include <QUrl>
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;
class QTimer;
class Registry;
class SkinImage;

// How the first-run window was left; Main decides from it what follows.
enum class FirstRunExit {
    Start, // "Start": the main window opens and sends the first-run report
    Settings, // the settings dialog was closed: the main window opens
    Closed, // the close box: the program ends
};

// The first-run window. Whichever way it closes, "firstrun" becomes 1, so start-up opens
// the main window from then on.
class Form6 final : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kWidth = 600;
    static constexpr int kHeight = 500;

    // Makes the view that shows the first-run page at url, as a child of parent. The
    // program passes its web view; without a factory a plain text view is used.
    using PageViewFactory = std::function<QWidget *(QWidget *parent, const QUrl &url)>;

    Form6(QString programFolder, QUrl directoryBase, const Registry &registry, QString programPath,
          PageViewFactory pageView = {}, QWidget *parent = nullptr);
    ~Form6() override;

    // The load step: skin pictures, language, shows the window, opens the page.
    void load();

    void Command1_Click(); // Start
    void Command2_Click(); // look for an older installation
    void Command3_Click(); // new settings
    // Another start of the program shows this window, restored and on top.
    void bringForward();

    FirstRunExit exitPath() const { return m_exit; }
    const LanguageTexts &texts() const { return m_texts; }
    static QUrl pageUrl(const QUrl &directoryBase);

Q_SIGNALS:
    // Emitted once, when the window has closed.
    void finished(FirstRunExit how);

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void applyTexts(); // the Timer1 pass
    void markDone();

    QString m_programFolder;
    QUrl m_directoryBase;
    const Registry &m_registry;
    QString m_programPath;
    PageViewFactory m_pageView;
    LanguageTexts m_texts;
    FirstRunExit m_exit = FirstRunExit::Closed;
    bool m_done = false;
    bool m_finishedSent = false;

    SkinImage *Image1 = nullptr;
    SkinImage *Image2 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *gESelecteerdland = nullptr;
    QWidget *WebBrowser1 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command3 = nullptr;
    QTimer *Timer1 = nullptr;
};
