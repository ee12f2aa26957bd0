// The updater program: start-up and clean-up, the wizard dialog, the run.
#pragma once
#include <cstdint>

#include "platform/platform.h"

// The program after the runtime's start-up; returns the exit code: 1 after a
// finished update, 0 on every other way out.
int UpdaterMain();

// Frees the directory and deletes the temporary UPDATE.INI.
void ShutdownCleanup();

// The wizard dialog procedure and its initialisation.
int UpdateDialogProc(PlatWindow dialog, unsigned message, uintptr_t wParam,
                     intptr_t lParam);
void InitUpdateDialog(PlatWindow dialog);

// The update itself, called from the confirmation page.
void RunUpdate(PlatWindow dialog);

extern int32_t DialogPage;
extern int32_t DialogBusy;
