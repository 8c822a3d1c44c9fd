#include <windows.h>

#include <string>

#include "os/files.h"
#include "ui/profile_store.h"

namespace m4410 {

namespace {

// A bare name means a file in the Windows directory, as the private-profile functions take it.
std::string FullPath(const std::string& path) {
  if (path.find_first_of("\\/:") != std::string::npos) return path;
  char folder[MAX_PATH];
  const UINT length = ::GetWindowsDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return path;
  return std::string(folder, length) + "\\" + path;
}

// Where Windows itself keeps a program's changes to a file its user cannot write, when the
// program runs without a manifest: the user's VirtualStore copy. Ours runs asInvoker, which
// turns that off, so the store keeps to the same place by hand. Empty when there is none.
std::string VirtualStoreCopy(const std::string& path) {
  const std::string full = FullPath(path);
  char local[MAX_PATH];
  const DWORD length = ::GetEnvironmentVariableA("LOCALAPPDATA", local, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || full.size() < 3 || full[1] != ':') return {};
  return std::string(local, length) + "\\VirtualStore" + full.substr(2);
}

bool Exists(const std::string& path) {
  return !path.empty() && ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Every folder on the way to file, made where missing.
void MakeFoldersFor(const std::string& file) {
  for (std::size_t at = file.find_first_of("\\/", 3); at != std::string::npos;
       at = file.find_first_of("\\/", at + 1)) {
    ::CreateDirectoryA(file.substr(0, at).c_str(), nullptr);
  }
}

bool Write(const std::string& file, std::string_view section, std::string_view item,
           std::string_view value) {
  return ::WritePrivateProfileStringA(std::string(section).c_str(), std::string(item).c_str(),
                                      std::string(value).c_str(), file.c_str()) != 0;
}

}  // namespace

ProfileStore::ProfileStore(std::string path) : path_(std::move(path)) {}

// The user's copy, once there, holds the newer choices.
std::string ProfileStore::GetString(std::string_view section, std::string_view item) const {
  const std::string copy = VirtualStoreCopy(path_);
  const std::string& file = Exists(copy) ? copy : path_;
  char value[kMaxValueLength + 1] = {};
  const DWORD length = ::GetPrivateProfileStringA(std::string(section).c_str(),
                                                  std::string(item).c_str(), "", value,
                                                  sizeof value, file.c_str());
  return std::string(value, length);
}

// The file itself while it can be written; else the user's copy, begun from the file so that
// nothing else in it is lost.
bool ProfileStore::WriteString(std::string_view section, std::string_view item,
                               std::string_view value) {
  why_.clear();
  const std::string copy = VirtualStoreCopy(path_);
  const bool has_copy = Exists(copy);
  if (!has_copy && Write(path_, section, item, value)) return true;
  const DWORD file_error = ::GetLastError();
  if (copy.empty()) {
    why_ = "cannot write '" + FullPath(path_) + "': " + SystemErrorText(file_error);
    return false;
  }
  if (!has_copy) {
    MakeFoldersFor(copy);
    ::CopyFileA(FullPath(path_).c_str(), copy.c_str(), TRUE);
  }
  if (Write(copy, section, item, value)) return true;
  why_ = "cannot write '" + FullPath(path_) + "' nor your copy of it, '" + copy +
         "': " + SystemErrorText(::GetLastError());
  return false;
}

}  // namespace m4410
