#pragma once
// The popover and the tray menu as assistive technology sees them.
//
// Qt leaves popup windows out of the application's accessible children, so a
// screen reader could meet the popover only through focus events and never
// walk it. Here the application lists every open popup beside its other
// windows, and the popover's window is a dialog named after the application.
//
// Must run before the QApplication exists: Qt keeps the first interface it
// makes for the application for the life of the process.

namespace duskwarden {

void installAccessiblePopups();

}  // namespace duskwarden
