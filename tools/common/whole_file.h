// Whole files as korvel-sweep and korvel-init read and write them: bytes as
// they are, no line-end translation. Every file the tools write is first
// written under a scratch name in its own folder and then renamed into
// place, so that a crash, a kill or a full disk half-way leaves the old
// file (or none), never a cut one.
#pragma once

#include <stdexcept>
#include <string>

namespace korvel::tools {

// A file the tools could not write: the message names the file and the
// cause.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The whole file; false when it cannot be opened or read (errno says why).
bool READ_WHOLE_FILE(const std::string& path, std::string& content);

// Replaces (or creates) the file with `content` through a ScratchFile;
// throws FileError when it cannot.
void WRITE_WHOLE_FILE(const std::string& path, const std::string& content);

// Removes the scratch files a killed writer left in `folder` and below
// (a SIGKILL gives a ScratchFile no chance to remove its own); for a folder
// taken up again, where no other writer works.
void REMOVE_LEFT_SCRATCH_FILES(const std::string& folder);

// A file being written beside `destination` (".NAME.partial-PID-N" in the
// same folder, so that the rename stays within one file system). It is
// removed unless it has been put in place.
class ScratchFile {
 public:
  explicit ScratchFile(const std::string& destination);
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  // The whole text, flushed to the disk and closed; FileError naming the
  // destination when it cannot be.
  void write(const std::string& text);
  // Puts the file in place by a rename. Without `replace` an existing file
  // is never touched, even one that appeared while the tool was working:
  // then it returns false and the scratch file goes.
  bool place(bool replace = true);

  const std::string& path() const { return path_; }

 private:
  std::string destination_;
  std::string path_;
  int descriptor_ = -1;
  bool placed_ = false;
};

}  // namespace korvel::tools
