#include "tests/conttab_handoff.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/failure.h"
#include "tests/locus_tests.h"

namespace korvel {

namespace {

// The descriptor of the CONTTAB.XYZ written last, kept open so that the
// next locus can rewrite it; -1 before the first.
int CONTTAB_DESCRIPTOR = -1;
const std::string* LENT_TEXT = nullptr;

// Whether the name CONTTAB.XYZ (in the current working directory) still
// denotes the file behind the descriptor: it may have been deleted, replaced
// or the program may have moved to another folder since.
bool STILL_OUR_FILE() {
  if (CONTTAB_DESCRIPTOR < 0) return false;
  struct stat by_name {};
  struct stat ours {};
  if (::stat(CONTTAB_FILE_NAME, &by_name) != 0) return false;
  if (::fstat(CONTTAB_DESCRIPTOR, &ours) != 0) return false;
  return by_name.st_dev == ours.st_dev && by_name.st_ino == ours.st_ino && S_ISREG(ours.st_mode);
}

void CREATE_ANEW() {
  if (CONTTAB_DESCRIPTOR >= 0) ::close(CONTTAB_DESCRIPTOR);
  errno = 0;
  CONTTAB_DESCRIPTOR = ::open(CONTTAB_FILE_NAME, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (CONTTAB_DESCRIPTOR < 0) FILE_ERROR(CONTTAB_FILE_NAME, "create", errno);
}

[[noreturn]] void WRITE_FAILED(int error_number) {
  FILE_ERROR(CONTTAB_FILE_NAME, "write to", error_number != 0 ? error_number : EIO);
}

}  // namespace

void WRITE_CONTTAB(const std::string& text) {
  if (!STILL_OUR_FILE()) CREATE_ANEW();
  std::size_t done = 0;
  while (done < text.size()) {
    errno = 0;
    const ssize_t n = ::pwrite(CONTTAB_DESCRIPTOR, text.data() + done, text.size() - done,
                               static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) WRITE_FAILED(errno);
    done += static_cast<std::size_t>(n);
  }
  // Cuts off what a longer table left behind. Never to length 0: a file
  // cut to nothing and written again is flushed on close by some file
  // systems, the very cost this avoids.
  errno = 0;
  if (::ftruncate(CONTTAB_DESCRIPTOR, static_cast<off_t>(text.size())) != 0) WRITE_FAILED(errno);
}

void OPEN_CONTTAB(TextIn& in) {
  if (LENT_TEXT != nullptr) {
    in.OPEN_TEXT(CONTTAB_FILE_NAME, *LENT_TEXT);
  } else {
    in.OPEN(CONTTAB_FILE_NAME);
  }
}

CONTTAB_LOAN::CONTTAB_LOAN(const std::string& text) : previous_(LENT_TEXT) { LENT_TEXT = &text; }
CONTTAB_LOAN::~CONTTAB_LOAN() { LENT_TEXT = previous_; }

}  // namespace korvel
