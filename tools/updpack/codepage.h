// Shift-JIS (code page 932), the text of the package and of UPDATE.INI, and
// the tool's own text: UTF-8 for display and arguments, file names in the
// system's form.
#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Shift-JIS as UTF-8 for display; bytes that are not Shift-JIS show as U+FFFD.
std::string Cp932ToUtf8(std::string_view text);

// A file name (a path's last part) as a Shift-JIS entry name, or nothing when
// one of its characters has no Shift-JIS form.
std::optional<std::string> FileNameToCp932(const std::filesystem::path& name);

// An entry name as a file name of this system, or nothing when it is not
// valid Shift-JIS.
std::optional<std::filesystem::path> Cp932ToFileName(std::string_view name);

// A path in the 8-bit form that the system's ANSI calls take, or nothing when
// it has none.
std::optional<std::string> NarrowPath(const std::filesystem::path& path);

// UTF-8 text as Shift-JIS, or nothing when it has no such form.
std::optional<std::string> Utf8ToCp932(std::string_view text);

// The command line as UTF-8, whatever the system passed to main.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Makes the console show the UTF-8 that the tool prints.
void PrepareConsole();
