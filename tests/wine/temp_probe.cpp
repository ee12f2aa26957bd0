// temp_probe: another program of the same user, while the updater shows its
// start page, goes for its UPDATE.INI. It looks in the temporary folder for
// folders that hold an UPDATE.INI and prints, for each, one line:
//
//   FOLDER write=denied delete=denied rename=denied remove=denied acl=...
//
// write and delete: opening the file for writing, and for deletion; rename
// and remove: MoveFileA and DeleteFileA on it; acl: the folder's access
// list, "protected" when it takes nothing from its parent, then each entry
// as SID:mask. A line for %TEMP%\UPDATE.INI itself says "plain" when such a
// file is there. Exit 0 when exactly one folder was found and every try on
// it was denied.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <string>

namespace {

const char* Outcome(bool allowed) { return allowed ? "allowed" : "denied"; }

bool OpenFor(const std::string& path, DWORD access) {
  HANDLE file = CreateFileA(path.c_str(), access,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

std::string AccessList(const std::string& folder) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PACL acl = nullptr;
  if (GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl,
                            nullptr, &descriptor) != ERROR_SUCCESS) {
    return "unreadable";
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  std::string text = (control & SE_DACL_PROTECTED) ? "protected" : "inherited";
  for (DWORD i = 0; acl && i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(acl, i, &ace)) continue;
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    char* sid = nullptr;
    char mask[16];
    std::snprintf(mask, sizeof mask, "%08lx", allowed->Mask);
    if (ConvertSidToStringSidA(const_cast<DWORD*>(&allowed->SidStart), &sid)) {
      text += std::string(",") +
              (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE ? "" : "deny:") +
              sid + ":" + mask;
      LocalFree(sid);
    }
  }
  LocalFree(descriptor);
  return text;
}

}  // namespace

int main() {
  char temp[MAX_PATH];
  if (!GetTempPathA(sizeof temp, temp)) return 2;
  int found = 0;
  bool allDenied = true;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((std::string(temp) + "*").c_str(), &entry);
  for (bool more = search != INVALID_HANDLE_VALUE; more;
       more = FindNextFileA(search, &entry)) {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      if (lstrcmpiA(name.c_str(), "UPDATE.INI") == 0) std::printf("%s plain\n", name.c_str());
      continue;
    }
    const std::string folder = temp + name;
    const std::string ini = folder + "\\UPDATE.INI";
    if (GetFileAttributesA(ini.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
    ++found;
    const bool write = OpenFor(ini, GENERIC_WRITE);
    const bool remove = OpenFor(ini, DELETE);
    const bool renamed = MoveFileA(ini.c_str(), (folder + "\\MOVED.INI").c_str());
    const bool deleted = DeleteFileA(ini.c_str());
    allDenied = allDenied && !write && !remove && !renamed && !deleted;
    std::printf("%s write=%s delete=%s rename=%s remove=%s acl=%s\n", name.c_str(),
                Outcome(write), Outcome(remove), Outcome(renamed), Outcome(deleted),
                AccessList(folder).c_str());
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  if (found == 0) std::printf("no folder with an UPDATE.INI\n");
  return found == 1 && allDenied ? 0 : 1;
}
