#pragma once
// What the child windows need of the main window, without knowing it: who is
// logged in, and the refresh chain that follows every change.

#include "data/statements/Records.h"

class QWidget;

class AppShell {
public:
    virtual ~AppShell() = default;

    virtual const Member &member() const = 0;
    // Reloads the member's projects and tasks. Throws when the server fails.
    virtual void reloadLists() = 0;
    // Re-reads the notice panel. Throws when the server fails.
    virtual void refreshNotices() = 0;
    // The window to disable while a child is open over it.
    virtual QWidget *mainWidget() = 0;
};
