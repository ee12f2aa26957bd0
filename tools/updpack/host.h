// The little that updpack needs from the system it runs on beyond the
// standard library: exact file times, whether stderr is a terminal, where
// the tool itself lies, running another program, and threads.
#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// The file's last-write time as a FILETIME; throws ToolError.
uint64_t FileLastWriteTime(const std::filesystem::path& path);

// Sets the file's times to the FILETIME (its last-write and last-access time,
// and its creation time where the system keeps one); throws ToolError.
void SetFileTimes(const std::filesystem::path& path, uint64_t fileTime);

bool StderrIsTerminal();

// The folder that holds the running updpack, where the updater stub ships;
// empty when the system does not say.
std::filesystem::path ToolFolder();

// Runs `program`, found on the search path, with `arguments`; `input` is all
// it reads on its stdin, and what it writes to stdout and stderr is collected
// in `output`. Returns its exit status, or -1 when it cannot be started
// because there is no such program; throws ToolError on other failures.
int RunProgram(const std::string& program,
               const std::vector<std::string>& arguments,
               const std::string& input, std::string* output);

// The file name under which a program started by RunProgram reads its stdin.
extern const char* const kStdinFileName;

// The processors this machine has, at least 1.
unsigned ProcessorCount();

// Calls `work` on `threads` new threads at once and, meanwhile, `tick` on the
// calling thread about ten times a second; returns once every call of `work`
// has returned. `work` must not throw, and shares state only through what
// its callers make safe for threads (atomics, slots of its own).
void RunOnThreads(unsigned threads, const std::function<void()>& work,
                  const std::function<void()>& tick);
