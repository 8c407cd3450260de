#include "backup/MainWindowLink.h"

#include <QCoreApplication>

namespace {
MainWindowLink* g_link = nullptr;
}  // namespace

void MainWindowLink::ProcessMessages() { QCoreApplication::processEvents(); }

MainWindowLink* CurrentMainWindowLink() { return g_link; }

void SetMainWindowLink(MainWindowLink* link) { g_link = link; }

void ProcessPendingMessages() {
    if (g_link != nullptr)
        g_link->ProcessMessages();
    else
        QCoreApplication::processEvents();
}
