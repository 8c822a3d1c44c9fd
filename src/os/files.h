// Files as the programs use them, alike on Linux and Windows: opened without waiting on a
// pipe or a device, judged by what actually opened, and compared by identity, not by name.
// Each function sets *error to the system's reason when it fails.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

namespace m4410 {

enum class FileKind { Plain, Directory, NamedPipe, CharacterDevice, BlockDevice, Socket, Link, Other };

struct FileFacts {
  FileKind kind = FileKind::Other;
  std::uint64_t volume = 0;  // the device or volume holding it
  std::uint64_t index = 0;   // its number there (inode, file index)
  std::int64_t size = 0;
};

// The same file under two names, or by name and once opened.
bool SameFile(const FileFacts& a, const FileFacts& b);

// "a directory", "a named pipe" and so on, for refusals.
const char* FileKindText(FileKind kind);

// What path names, links followed, looked at without opening it for reading or writing.
bool LookAtPath(const std::string& path, FileFacts* facts, std::string* error);

// Opens path to read, without blocking on it or taking it as a terminal, and only if what
// opened is a plain file (otherwise null, with the kind in *error).
std::FILE* OpenPlainFileToRead(const std::string& path, FileFacts* facts, std::string* error);

// Creates path to write in one step (never through a link at its name, never waiting on a
// pipe), the trace and the box data being written where other users may have been first. On
// the way, only folders of root or of the user are passed, and only their links followed. A
// file already at path is opened only if it is a plain file of the user the program runs as,
// with no other name; anything else is refused with the reason in *error. It is not emptied: the caller
// judges *facts first, then calls EmptyFile. owner_only: a new file only its user may read.
std::FILE* OpenOwnFileToWrite(const std::string& path, bool owner_only, FileFacts* facts,
                              bool* created, std::string* error);

bool EmptyFile(std::FILE* file);
void RemoveFile(const std::string& path);

// Appends text in one write to a file only the user may read, creating it and the folders
// above it as needed. Reached as OpenOwnFileToWrite reaches its file, so a name handed in by
// someone else leads nowhere but to a refusal. Two programs' lines never interleave.
bool AppendToPrivateFile(const std::string& path, const std::string& text, std::string* error);

// Opens such a file to read, reached the same way; null with the reason when it is not there
// or not the user's own plain file.
std::FILE* OpenPrivateFileToRead(const std::string& path, std::string* error);

// Where per-user state is kept: $XDG_STATE_HOME or ~/.local/state on Linux, the local
// application data folder on Windows. Empty when there is none. As root, the home comes from
// the password database: a HOME kept by sudo names another user's folder, and so does an
// $XDG_STATE_HOME not wholly root's own.
std::string UserStateFolder();

// The system's own words for an error code (errno on Linux, GetLastError on Windows).
std::string SystemErrorText(unsigned long code);

// The name with every byte below 0x20, and 0x7f, written as \xNN, so that a file name cannot
// move the cursor, retitle or reprogram the terminal that shows it.
std::string PrintableName(const std::string& name);

bool IsTerminal(std::FILE* stream);
std::tm UtcTime(std::time_t when);

}  // namespace m4410
