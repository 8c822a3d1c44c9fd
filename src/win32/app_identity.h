// The program's name as Windows knows it: the executable's file name without its extension.
// It captions the message boxes and names the settings file.
#pragma once

#include <string>

namespace m4410 {

std::string AppName();

// AppName() + ".INI": a bare name, which the private-profile functions keep in the Windows
// directory.
std::string SettingsFileName();

// The full path of a file in the executable's own folder, for the help file that lies beside it.
std::string BesideExecutable(const char* name);

// The HTML Help file, Help2QRB.chm, by its full path beside the executable: never a bare name,
// which the viewer would look for in the current folder.
std::string HelpFile();

// The executable's full path with its extension replaced, for the classic help file.
std::string ExecutablePathWithExtension(const char* extension);

}  // namespace m4410
