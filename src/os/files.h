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

struct WriteOpening {
  bool follow_links = true;  // false: a link at path is refused, never written through
  bool nonblocking = false;  // a named pipe with no reader refuses rather than waits
};

// Opens path to write, creating it when missing (*created then true) and never emptying it:
// the caller judges *facts first, then calls EmptyFile.
std::FILE* OpenFileToWrite(const std::string& path, const WriteOpening& how, FileFacts* facts,
                           bool* created, std::string* error);

bool EmptyFile(std::FILE* file);
void RemoveFile(const std::string& path);

// Appends text in one write to a file only the user may read, creating it and the folders
// above it as needed; a link at path is refused. Two programs' lines never interleave.
bool AppendToPrivateFile(const std::string& path, const std::string& text, std::string* error);

// Where per-user state is kept: $XDG_STATE_HOME or ~/.local/state on Linux, the local
// application data folder on Windows. Empty when there is none.
std::string UserStateFolder();

bool IsTerminal(std::FILE* stream);
std::tm UtcTime(std::time_t when);

}  // namespace m4410
