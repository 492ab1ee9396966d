#include "player/FavouritesList.h"

#include "app/LanguageTexts.h"
#include "controls/MessageBox.h"

#include <QContextMenuEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>

namespace {
constexpr int kFileNameRole = Qt::UserRole;
}

FavouritesList::FavouritesList(const LanguageTexts &texts, StationSource currentStation, QWidget *parent)
    : QListWidget(parent)
    , m_texts(texts)
    , m_currentStation(std::move(currentStation))
{
    setObjectName(QStringLiteral("File1"));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // A click plays. Not itemActivated: a double click would deliver it after the
    // click and start the station twice.
    connect(this, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { File1_Click(item->data(kFileNameRole).toString()); });
}

bool FavouritesList::setPath(const QString &programFolder)
{
    Favourites store(programFolder);
    if (!store.ensureFolder())
        return false;
    m_store.emplace(std::move(store));
    refresh();
    return true;
}

void FavouritesList::refresh()
{
    const QString selected = selectedFileName();
    clear();
    if (!m_store)
        return;
    // One batch with updates off: a thousand rows appear in one paint.
    setUpdatesEnabled(false);
    for (const Favourite &f : m_store->list()) {
        auto *item = new QListWidgetItem(f.naam, this);
        item->setData(kFileNameRole, f.fileName);
        if (f.fileName == selected)
            setCurrentItem(item);
    }
    setUpdatesEnabled(true);
}

QString FavouritesList::selectedFileName() const
{
    const QList<QListWidgetItem *> items = selectedItems();
    return items.isEmpty() ? QString() : items.first()->data(kFileNameRole).toString();
}

void FavouritesList::Command1_Click()
{
    const Station station = m_currentStation ? m_currentStation() : Station {};
    if (station.naam.isEmpty()) {
        showMessage(window(), m_texts, QStringLiteral("error11"), MessageCode::Information, true);
        return;
    }
    if (!m_store || m_store->add(station.naam, station.url, station.website) != FavouriteError::None) {
        showMessage(window(), m_texts, QStringLiteral("error12"), MessageCode::Critical, true);
        return;
    }
    refresh();
}

void FavouritesList::Command2_Click()
{
    const QString fileName = selectedFileName();
    if (fileName.isEmpty()) {
        showMessage(window(), m_texts, QStringLiteral("error13"), MessageCode::Ok, false);
        return;
    }
    if (m_store && m_store->remove(fileName) == FavouriteError::None)
        refresh();
}

void FavouritesList::File1_Click(const QString &fileName)
{
    FavouriteError error = FavouriteError::NotFound;
    const Favourite f = m_store ? m_store->load(fileName, &error) : Favourite {};
    if (error != FavouriteError::None) {
        showMessage(window(), m_texts, QStringLiteral("error12"), MessageCode::Critical, true);
        refresh(); // the file went away behind the list's back
        return;
    }
    Q_EMIT playFavourite(f.naam, f.url, f.website);
}

void FavouritesList::exportPlaylist()
{
    if (!m_store)
        return;
    auto *dialog = new QFileDialog(window(), m_texts.TaalTekst(QStringLiteral("favexport")));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilters({QStringLiteral("M3U (*.m3u)"), QStringLiteral("PLS (*.pls)")});
    dialog->selectFile(QStringLiteral("favorieten.m3u"));
    connect(dialog, &QFileDialog::fileSelected, this, [this, dialog](QString path) {
        // The chosen filter decides the format when the name carries no extension.
        if (!path.endsWith(QLatin1String(".m3u"), Qt::CaseInsensitive)
            && !path.endsWith(QLatin1String(".pls"), Qt::CaseInsensitive))
            path += dialog->selectedNameFilter().startsWith(QLatin1String("PLS")) ? QStringLiteral(".pls")
                                                                                  : QStringLiteral(".m3u");
        if (m_store->exportPlaylist(path, playlistFormatForFileName(path)) != FavouriteError::None)
            showMessage(window(), m_texts, QStringLiteral("error12"), MessageCode::Critical, true);
    });
    dialog->open();
}

void FavouritesList::importPlaylist()
{
    if (!m_store)
        return;
    auto *dialog = new QFileDialog(window(), m_texts.TaalTekst(QStringLiteral("favimport")));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters({QStringLiteral("M3U, PLS (*.m3u *.m3u8 *.pls)"), QStringLiteral("* (*)")});
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &path) {
        const PlaylistImportResult result = m_store->importPlaylist(path);
        refresh();
        if (result.error == FavouriteError::CannotRead) {
            showMessage(window(), m_texts, QStringLiteral("error12"), MessageCode::Critical, true);
            return;
        }
        auto *box =
            new QMessageBox(QMessageBox::Information, m_texts.TaalTekst(QStringLiteral("error0")),
                            m_texts.TaalTekst(QStringLiteral("favimportklaar")).arg(result.added).arg(result.refused),
                            QMessageBox::Ok, window());
        box->setObjectName(QStringLiteral("message_favimportklaar"));
        box->setTextFormat(Qt::PlainText);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
    dialog->open();
}

void FavouritesList::contextMenuEvent(QContextMenuEvent *event)
{
    // The row under the pointer is the one "remove" acts on, as a left click would pick it.
    if (QListWidgetItem *item = itemAt(event->pos()))
        setCurrentItem(item);
    QMenu menu(this);
    menu.addAction(m_texts.TaalTekst(QStringLiteral("favtoevoegen")), this, &FavouritesList::Command1_Click);
    QAction *remove =
        menu.addAction(m_texts.TaalTekst(QStringLiteral("favverwijderen")), this, &FavouritesList::Command2_Click);
    remove->setEnabled(!selectedFileName().isEmpty());
    menu.addSeparator();
    menu.addAction(m_texts.TaalTekst(QStringLiteral("favexport")), this, &FavouritesList::exportPlaylist);
    menu.addAction(m_texts.TaalTekst(QStringLiteral("favimport")), this, &FavouritesList::importPlaylist);
    menu.exec(event->globalPos());
}

void FavouritesList::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        File1_Click(currentItem()->data(kFileNameRole).toString());
        return;
    }
    QListWidget::keyPressEvent(event);
}
