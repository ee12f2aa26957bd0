// The seam between the updater and the operating system.
//
// Everything above this header is portable C++ that never includes a system
// header for files, windows or the registry. Each platform folder provides
// every function declared here; the build links exactly one of them.
// Paths are 8-bit ANSI (Shift-JIS) text using '\' between folders, as the
// updater builds them; a platform translates them to its own form.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/text_sizes.h"

// Opaque window handle: the dialog, a message box, a game window.
typedef struct PlatWindowTag* PlatWindow;

// ---- Process ----------------------------------------------------------------

// Hardening and COM set-up; called first by the updater's entry point.
void PlatInitialize();

// The package bytes carried by the running executable, valid for the whole
// run. Returns false when there is no package (or it is empty).
bool PlatLocatePackage(const uint8_t** image, uint32_t* size);

// Says that these package bytes will not be read again soon: the platform
// may drop them from the process's resident memory, to be read again from
// the executable on demand. The bytes stay valid.
void PlatReleasePackageBytes(const uint8_t* bytes, uint32_t size);

// The integrity record carried beside the package, valid for the whole run.
// False when the executable carries none; true with a null image and size 0
// when one is there but cannot be read, which counts as a damaged record.
bool PlatLocateIntegrityRecord(const uint8_t** image, uint32_t* size);

// Threads, for decoding ahead of the writes: `work(argument)` runs on a new
// thread, below the caller's priority, so that the caller gets a processor
// first whenever it has work. Null when none could be started.
typedef struct PlatThreadTag* PlatThread;
PlatThread PlatStartThread(void (*work)(void*), void* argument);

// Waits until the thread's work has returned, then lets the thread go.
void PlatJoinThread(PlatThread thread);

// One lock for what the threads share, held briefly and never while waiting
// for a thread.
void PlatLock();
void PlatUnlock();

// The processors this process may run on, at least 1.
unsigned PlatProcessorCount();

// The temporary folder, with its trailing separator. False on failure or
// when it does not fit `capacity` bytes with its NUL.
bool PlatTempFolder(char* buffer, size_t capacity);

// ---- The updater's own temporary folder --------------------------------------
//
// UPDATE.INI tells the updater, which runs with the administrator's rights,
// what to write where: it is kept where no other program can change it.

// Makes a new folder in the temporary folder, with a name no one can guess,
// that only this user may open, or, when the process runs elevated, only
// administrators and the system; writes its path with its trailing
// separator. False when it cannot be made or its path does not fit
// `capacity` bytes with its NUL.
bool PlatMakePrivateFolder(char* buffer, size_t capacity);

// Removes an empty folder. False on failure.
bool PlatRemoveFolder(const char* path);

// Keeps the file open, so that until PlatReleaseFile no other process can
// write, rename or delete it; reading it stays possible. Null when it
// cannot be opened so.
typedef struct PlatHeldFileTag* PlatHeldFile;
PlatHeldFile PlatHoldFile(const char* path);
void PlatReleaseFile(PlatHeldFile file);

// ---- Files and folders ------------------------------------------------------

enum : unsigned {
  kPlatAttrFolder = 1u,    // a folder (directory)
  kPlatAttrReadOnly = 2u,  // a read-only file
};

// Reads the attributes of a file system object. False when it does not exist
// or cannot be queried.
bool PlatGetAttributes(const char* path, unsigned* attributes);

// Clears read-only, hidden, system and archive. False on failure.
bool PlatSetNormalAttributes(const char* path);

// Creates one folder (not its parents). False on failure, also when it exists.
bool PlatCreateFolder(const char* path);

// Deletes one file. False on failure.
bool PlatDeleteFile(const char* path);

// Opens the file for reading and reads its last-write time as a FILETIME
// (100 ns ticks since 1601-01-01 UTC). False when either step fails.
bool PlatReadLastWriteTime(const char* path, uint64_t* fileTime);

// A file written in pieces that takes its target's place only once it is
// whole: until PlatCommitFile succeeds the target is left as it was, and a
// file that is abandoned, or fails, leaves nothing behind.
typedef struct PlatNewFileTag* PlatNewFile;

// Begins a file that will replace (or create) `path`. Null when it cannot
// be made, or when `path` is a folder or a read-only file, which the system
// would not replace either.
PlatNewFile PlatBeginFile(const char* path);

// Appends bytes to the new file. False on failure; the file must then be
// abandoned.
bool PlatAppendFile(PlatNewFile file, const void* data, uint32_t size);

// Gives the file its times (when `fileTime` is given it becomes the
// creation, last-access and last-write time), makes it last, and puts it in
// its target's place. Either way the new file is finished with.
bool PlatCommitFile(PlatNewFile file, const uint64_t* fileTime);

// Drops the new file; the target stays as it was.
void PlatAbandonFile(PlatNewFile file);

// Reads the whole file into a buffer from std::malloc (the caller frees it).
// Null on failure; `size` is written only on success.
uint8_t* PlatReadWholeFile(const char* path, uint32_t* size);

// A file read where its reader needs it, without holding it whole.
typedef struct PlatFileReaderTag* PlatFileReader;

// Opens `path` for reading and gives its size. Null when it is missing, a
// folder, unreadable, or 4 GiB or more.
PlatFileReader PlatOpenFileReader(const char* path, uint32_t* size);

// Reads exactly `size` bytes at `offset`. False on a read error or a file
// that ends sooner.
bool PlatReadFileAt(PlatFileReader file, uint32_t offset, void* dest, uint32_t size);

void PlatCloseFileReader(PlatFileReader file);

// ---- Volumes ----------------------------------------------------------------

// Free bytes available to the caller, total bytes and total free bytes of the
// volume that holds `root` (a drive root "D:" or any folder on the volume).
// `totalFree` may be null. False when the query fails.
bool PlatQueryDiskSpace(const char* root, uint64_t* freeForCaller,
                        uint64_t* total, uint64_t* totalFree);

// True when `root` ("E:") is a CD-ROM drive.
bool PlatIsCdromDrive(const char* root);

// ---- Profiles and the install record ----------------------------------------

// Reads `key` of `section` from the INI file at `path` into `dest`, with the
// rules of GetPrivateProfileStringA and an empty default: the value is cut
// at capacity - 1 bytes and NUL-terminated. Returns the count of bytes
// copied, 0 for a missing file, section or key or an empty value.
uint32_t PlatReadProfileString(const char* section, const char* key,
                               char* dest, uint32_t capacity,
                               const char* path);

// Values of the installer's record under HKEY_CURRENT_USER\<subKey>.
struct PlatInstallValues {
  bool keyOpened;
  bool hasInstPath;  // InstPath read (text, at most kPathSize bytes with NUL)
  bool hasDataPath;
  bool hasInstMode;  // InstMode read (4 bytes)
  bool hasInstAdd;
  char instPath[kPathSize];
  char dataPath[kPathSize];
  int32_t instMode;
  int32_t instAdd;
};

// Opens the key and queries InstPath, DataPath, InstMode and InstAdd in this
// order; a failed InstPath query ends the queries, a failed InstMode query
// leaves InstAdd unqueried. Fields not read are zero.
void PlatReadInstallValues(const char* subKey, PlatInstallValues* values);

// ---- Windows and message boxes ----------------------------------------------
//
// Texts the user reads (captions, message boxes, the dialog's controls) are
// Shift-JIS like every other text; a platform shows them right whatever the
// system's own code page is.

enum PlatButtons { kPlatButtonsOk, kPlatButtonsOkCancel };
enum PlatIcon { kPlatIconNone, kPlatIconError };
enum PlatAnswer { kPlatIdOk = 1, kPlatIdCancel = 2 };

// A modal message box with these buttons and icon; returns the button
// pressed (closing the box answers Cancel where there is one, else OK).
PlatAnswer PlatMessageBox(PlatWindow owner, const char* text,
                          const char* caption, PlatButtons buttons,
                          PlatIcon icon);

// Finds a top-level window by class and title. A null class means the
// system's dialog class (that of every dialog box and message box): one of
// this program's windows, its title matched as shown. A named class is
// another program's window, its title matched as the system's ANSI bytes.
PlatWindow PlatFindWindow(const char* className, const char* title);

// Shows the window and brings it to the foreground.
void PlatBringToFront(PlatWindow window);

// ---- The wizard dialog --------------------------------------------------------

// Neutral messages the dialog host feeds to the dialog procedure.
enum PlatDialogMessage {
  kPlatMsgInit = 1,       // the dialog was created
  kPlatMsgCommand = 2,    // a control sent `command`
  kPlatMsgSetCursor = 3,  // the cursor is over the dialog
};
// What a control sent: its id and its notification code (0 for a click).
struct PlatCommand {
  int id;
  int code;
};
// Returns nonzero when it handled the message (for set-cursor: when it set
// the cursor itself). `command` is {0, 0} but for kPlatMsgCommand.
typedef int (*PlatDialogProc)(PlatWindow dialog, PlatDialogMessage message,
                              PlatCommand command);

// Runs the modal wizard dialog (template 101) with `proc`. Returns the value
// passed to PlatEndDialog, or -1 when the dialog could not be created.
intptr_t PlatRunDialog(PlatDialogProc proc);

void PlatEndDialog(PlatWindow dialog, intptr_t result);
void PlatSetWindowText(PlatWindow dialog, const char* text);
void PlatSetControlText(PlatWindow dialog, int controlId, const char* text);
void PlatEnableControl(PlatWindow dialog, int controlId, bool enable);
void PlatFocusControl(PlatWindow dialog, int controlId);

enum PlatCursor { kPlatCursorArrow, kPlatCursorWait };
void PlatSetCursor(PlatCursor cursor);

// The progress bar under the info text: hidden for a negative value,
// otherwise shown and filled to `permille` thousandths.
void PlatSetProgress(PlatWindow dialog, int permille);

// Runs `work(argument)` on another thread while this one keeps the dialog
// answering; returns once the work has returned. What the user does
// meanwhile reaches the dialog procedure as it always does (which ignores
// it while busy). Message boxes the work shows are shown by this thread,
// owned by the dialog, and their answers handed back. `tick(argument)` is
// called on this thread every so often while the work runs, and once after.
void PlatRunAside(PlatWindow dialog, void (*work)(void*), void (*tick)(void*),
                  void* argument);

// ---- Shell copy ---------------------------------------------------------------

enum PlatCopyResult { kPlatCopyDone, kPlatCopyFailed, kPlatCopyStopped };

// Copies `from` (a file or a folder, double-NUL terminated) into `to`
// (double-NUL terminated) the way the shell does: existing files replaced
// and missing folders created without asking, with a progress display, and
// with the shell's own error display when `showErrors`. Stopped when the
// user stopped it, whatever else went wrong.
PlatCopyResult PlatShellCopy(PlatWindow owner, const char* from,
                             const char* to, bool showErrors);
