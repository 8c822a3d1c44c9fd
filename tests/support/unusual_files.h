// Things at a path that are not plain files, and files that misbehave, as each system has
// them: the cases every "only a plain file" check must refuse without waiting.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace m4410 {

struct UnusualFile {
  std::string path;
  std::string kind;  // as the programs name it: "a named pipe", "a character device", ...
};

// Linux: a named pipe with no writer, a socket and /dev/zero, made in dir; Windows: the NUL
// device. They stay until the object ends.
class UnusualFiles {
 public:
  explicit UnusualFiles(const std::filesystem::path& dir);
  ~UnusualFiles();
  const std::vector<UnusualFile>& all() const { return files_; }

 private:
  std::vector<UnusualFile> files_;
  int socket_ = -1;
};

// What the system says of a name with nothing behind it.
std::string MissingFileReason();

// A plain file whose every read fails; empty where the system has none.
std::string UnreadablePlainFile();

// A file of the given length that takes no space; false where the file system cannot.
bool MakeSparseFile(const std::filesystem::path& path, std::int64_t length);

}  // namespace m4410
