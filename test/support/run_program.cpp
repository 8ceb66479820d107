#include "support/run_program.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include "support/scratch_folder.h"

namespace korvel::testing {

namespace {

void drain(int fd, std::string& into, bool& open) {
  char buffer[8192];
  const ssize_t got = ::read(fd, buffer, sizeof buffer);
  if (got > 0) into.append(buffer, static_cast<std::size_t>(got));
  else open = false;
}

}  // namespace

ProgramResult RUN_PROGRAM(const std::string& program, const std::vector<std::string>& arguments,
                          const std::filesystem::path& folder, const std::string& input, FileAccess access) {
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (::pipe(in_pipe) != 0 || ::pipe(out_pipe) != 0 || ::pipe(err_pipe) != 0)
    throw std::runtime_error("pipe failed");
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    ::dup2(in_pipe[0], STDIN_FILENO);
    ::dup2(out_pipe[1], STDOUT_FILENO);
    ::dup2(err_pipe[1], STDERR_FILENO);
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) ::close(fd);
    if (::chdir(folder.c_str()) != 0) ::_exit(127);
    // Root keeps its capabilities across exec unless they leave the
    // bounding set; an ordinary user has none to give up.
    if (access == FileAccess::PERMISSION_BITS_HOLD && ::geteuid() == 0 &&
        (::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0) != 0 ||
         ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0) != 0))
      ::_exit(CANNOT_DROP_OVERRIDE);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  if (!input.empty()) {
    const ssize_t ignored = ::write(in_pipe[1], input.data(), input.size());
    (void)ignored;
  }
  ::close(in_pipe[1]);
  ProgramResult result;
  bool out_open = true, err_open = true;
  while (out_open || err_open) {
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    ::poll(fds, 2, -1);
    if (out_open && (fds[0].revents & (POLLIN | POLLHUP))) drain(out_pipe[0], result.console, out_open);
    if (err_open && (fds[1].revents & (POLLIN | POLLHUP))) drain(err_pipe[0], result.errors, err_open);
  }
  ::close(out_pipe[0]);
  ::close(err_pipe[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

std::vector<std::pair<std::string, std::string>> FOLDER_CONTENTS(const std::filesystem::path& folder) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    files.emplace_back(entry.path().filename().string(), READ_FILE(entry.path()));
  std::sort(files.begin(), files.end());
  return files;
}

std::string WITHOUT_ELAPSED_TIME(const std::string& console) {
  std::istringstream lines(console);
  std::string line, kept;
  while (std::getline(lines, line))
    if (line.rfind(" Approximate CPU-time: ", 0) != 0) kept += line + "\n";
  return kept;
}

}  // namespace korvel::testing
