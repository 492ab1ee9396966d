#pragma once

#include "firstrun/Form6.h"

class Registry;
class SingleInstance;
class Transfer;

// Shows the first-run window and returns, with the way it was left, once it has closed.
// Main calls it before the main window exists; meanwhile a second start of the program
// (instance's activation request) brings the first-run window forward.
FirstRunExit runFirstRun(const QString &programFolder, const QUrl &directoryBase, const Registry &registry,
                         const QString &programPath, Form6::PageViewFactory pageView,
                         SingleInstance *instance = nullptr);

// A plain page view: a read-only text view filled with the page that transfer fetches,
// its links opened outside the program. Pages are the directory server's; they are
// bounded and shown without loading anything they refer to.
Form6::PageViewFactory textPageView(Transfer *transfer);
