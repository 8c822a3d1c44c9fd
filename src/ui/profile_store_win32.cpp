#include <windows.h>

#include <string>

#include "ui/profile_store.h"

namespace m4410 {

// Windows keeps these files itself: the private-profile functions read and write them, and a
// bare name means a file in the Windows directory.
ProfileStore::ProfileStore(std::string path) : path_(std::move(path)) {}

std::string ProfileStore::GetString(std::string_view section, std::string_view item) const {
  char value[kMaxValueLength + 1] = {};
  const DWORD length = ::GetPrivateProfileStringA(std::string(section).c_str(),
                                                  std::string(item).c_str(), "", value,
                                                  sizeof value, path_.c_str());
  return std::string(value, length);
}

bool ProfileStore::WriteString(std::string_view section, std::string_view item,
                               std::string_view value) {
  return ::WritePrivateProfileStringA(std::string(section).c_str(), std::string(item).c_str(),
                                      std::string(value).c_str(), path_.c_str()) != 0;
}

}  // namespace m4410
