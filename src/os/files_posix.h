// How the programs reach a name on Linux before they read or write it. One rule for every
// file they write (settings, box data, trace, update log): a program that may run as root
// (sudo -E keeps the user's HOME and XDG folders) must not be steered by another user's link
// or folder into replacing a file of its own elsewhere.
#pragma once

#include <sys/types.h>

#include <string>

namespace m4410 {

// A file or folder the running user may trust: its own, or root's.
bool TrustedOwner(uid_t owner);

// The folder holding path's last name, opened, and that name.
struct ReachedName {
  int folder = -1;  // the caller closes it
  std::string name;
};

// Walks path one name at a time from the root (a relative path from the current folder's
// full path), passing only folders of root or of the running user, and following a link only
// when the link is theirs too; its target is walked by the same rule. make_folders: missing
// folders are made, 0700. follow_last_link: a link at the last name is followed as well;
// otherwise the caller opens the last name without following it. False, with the reason;
// errno is then ENOENT where nothing but a missing folder stood in the way.
bool ReachName(const std::string& path, bool make_folders, bool follow_last_link,
               ReachedName* reached, std::string* error);

}  // namespace m4410
