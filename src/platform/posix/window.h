// Windows of the POSIX layer and the window table that lets other processes
// find them. The table is a folder (UPDATER_WINDOWS, by default
// $TMPDIR/updater-windows-<uid>) with one file per open window: its class on
// the first line, its title after it. Tests add files there to stand for a
// running game.
#pragma once
#include "platform/platform.h"
#include "platform/posix/paths.h"

// The class of every dialog box and message box.
constexpr char kDialogClass[] = "#32770";

enum WindowKind { kWindowDialog, kWindowMessageBox, kWindowFound };

// What a PlatWindow points to.
struct PlatWindowTag {
  WindowKind kind;
  char className[64];
  char title[1024];
  char entry[kPosixPathSize];  // its file in the window table, "" if none
};

// Fills in a window of this process.
void InitWindow(PlatWindowTag* window, WindowKind kind, const char* className, const char* title);

// Writes the window's entry into the table, or rewrites it after a change
// of title. A table that cannot be written only makes the window
// unfindable, so it is reported on stderr and not otherwise.
void ListWindow(PlatWindowTag* window);

// Removes the window's entry.
void UnlistWindow(PlatWindowTag* window);
