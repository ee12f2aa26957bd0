// The little that updpack needs from the system it runs on beyond the
// standard library: exact file times, whether stderr is a terminal and
// where the tool itself lies.
#pragma once
#include <cstdint>
#include <filesystem>

// The file's last-write time as a FILETIME; throws ToolError.
uint64_t FileLastWriteTime(const std::filesystem::path& path);

// Sets the file's times to the FILETIME (its last-write and last-access time,
// and its creation time where the system keeps one); throws ToolError.
void SetFileTimes(const std::filesystem::path& path, uint64_t fileTime);

bool StderrIsTerminal();

// The folder that holds the running updpack, where the updater stub ships;
// empty when the system does not say.
std::filesystem::path ToolFolder();
