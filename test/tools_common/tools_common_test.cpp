// What korvel-init and korvel-sweep share in tools/common, tested on its
// own: whole numbers, reals and lists in option values, the command line's
// conventions, the exit statuses of a tool, and safe whole-file writes.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "command_line.h"
#include "support/scratch_folder.h"
#include "whole_file.h"

namespace {

namespace fs = std::filesystem;
using korvel::testing::READ_FILE;
using korvel::testing::ScratchFolder;
using korvel::testing::WRITE_FILE;
using namespace korvel::tools;

// The message of the UsageError `call` throws, or "" when it throws none.
template <typename Call>
std::string usage_fault(Call call) {
  try {
    call();
  } catch (const UsageError& error) {
    return error.what();
  }
  return "";
}

TEST(ToolsWholeNumbers, DecimalDigitsWithinTheRangeOnly) {
  EXPECT_EQ(PARSE_WHOLE("010", "--runs", 1, 100), 10);  // decimal, never octal
  EXPECT_EQ(PARSE_WHOLE("1", "--runs", 1, 100), 1);
  EXPECT_EQ(PARSE_WHOLE("100", "--runs", 1, 100), 100);
  EXPECT_EQ(usage_fault([] { PARSE_WHOLE("101", "--runs", 1, 100); }),
            "--runs takes a whole number from 1 to 100, not \"101\"");
  for (const char* bad : {"", "0", "-1", "+5", " 5", "5 ", "1e3", "0x10", "5.0", "99999999999999999999"})
    EXPECT_NE(usage_fault([&] { PARSE_WHOLE(bad, "--runs", 1, 100); }), "") << bad;
}

TEST(ToolsWholeNumbers, RealsAreFiniteDecimalNumbers) {
  EXPECT_EQ(PARSE_REAL("0.25", "--fst"), 0.25L);
  EXPECT_EQ(PARSE_REAL("1e-3", "--fst"), 0.001L);
  EXPECT_EQ(usage_fault([] { PARSE_REAL("0.5x", "--fst"); }), "--fst takes a number, not \"0.5x\"");
  for (const char* bad : {"", "nan", "inf", "1e99999", "x"})
    EXPECT_NE(usage_fault([&] { PARSE_REAL(bad, "--fst"); }), "") << bad;
}

TEST(ToolsLists, ItemsTrimmedAndNoneEmpty) {
  EXPECT_EQ(SPLIT_LIST(" 10 , 20,30 ", "--sample-sizes"), (std::vector<std::string>{"10", "20", "30"}));
  EXPECT_EQ(SPLIT_LIST("7", "--loci"), std::vector<std::string>{"7"});
  EXPECT_EQ(usage_fault([] { SPLIT_LIST("1,,2", "--loci"); }), "--loci has an empty item in \"1,,2\"");
  for (const char* bad : {"", ",", "1,", ",1", "1, ,2"})
    EXPECT_NE(usage_fault([&] { SPLIT_LIST(bad, "--loci"); }), "") << bad;
}

const ToolText TOOL{"korvel-test", "usage: korvel-test [--runs R] [--fast] FILE\n", "help\n"};

struct Parsed {
  std::optional<int> runs;
  std::string title;
  std::string sizes;
  std::string seed;
  bool fast = false;
  std::vector<std::string> operands;
};

// A small tool's command line with the shared conventions; the fault it
// reports, or "".
std::string parse(const std::vector<std::string>& args, Parsed& parsed) {
  CommandLine line(TOOL);
  line.once(ADD_WHOLE(line.app(), "--runs", parsed.runs, 1, 1000));
  line.app().add_option("--title", parsed.title);
  line.app().add_option("--sizes", parsed.sizes)->check(EACH(WHOLE_NUMBER(1, 50)));
  line.app().add_option("--seed", parsed.seed)->check(SEED());
  line.app().add_flag("--fast", parsed.fast);
  const std::string fault = usage_fault([&] { line.parse(args); });
  parsed.operands = line.operands();
  return fault;
}

TEST(ToolsCommandLine, ValuesFlagsAndOperands) {
  Parsed p;
  ASSERT_EQ(parse({"--runs", "010", "--title", "-x-", "--sizes=5, 7", "--fast", "T.IN"}, p), "");
  EXPECT_EQ(p.runs, 10);
  EXPECT_EQ(p.title, "-x-");  // the next argument, whatever it looks like
  EXPECT_EQ(p.sizes, "5, 7");
  EXPECT_TRUE(p.fast);
  EXPECT_EQ(p.operands, std::vector<std::string>{"T.IN"});
  Parsed last;
  ASSERT_EQ(parse({"--title", "a", "--title", "b"}, last), "");
  EXPECT_EQ(last.title, "b");
}

TEST(ToolsCommandLine, EveryMistakeNamesTheOptionAndTheValue) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> mistakes = {
      {{"--runs", "1", "--runs", "2"}, "--runs is given twice"},
      {{"--runs", "0"}, "--runs takes a whole number from 1 to 1000, not \"0\""},
      {{"--runs"}, "--runs needs a value"},
      {{"--runs="}, "--runs needs a value"},
      {{"--fast=yes"}, "--fast takes no value"},
      {{"--sizes", "5,51"}, "takes a whole number from 1 to 50, not \"51\" in \"5,51\""},
      {{"--sizes", "5,"}, "has an empty item in \"5,\""},
      {{"--seed", "4294967296"}, "takes a whole number from 0 to 4294967295, not \"4294967296\""},
      {{"--colour", "red"}, "unknown option --colour"},
  };
  for (const auto& [args, says] : mistakes) {
    Parsed p;
    const std::string fault = parse(args, p);
    EXPECT_NE(fault.find(says), std::string::npos) << testing::PrintToString(args) << ": " << fault;
  }
}

TEST(ToolsCommandLine, RunToolTurnsFaultsIntoExitStatuses) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(RUN_TOOL(TOOL, {}, [](const auto&) -> int { throw UsageError("--runs needs a value"); }), 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "korvel-test: --runs needs a value\nusage: korvel-test [--runs R] [--fast] FILE\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(RUN_TOOL(TOOL, {}, [](const auto&) -> int { throw std::runtime_error("cannot read x"); }), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "korvel-test: cannot read x\n");
  EXPECT_EQ(RUN_TOOL(TOOL, {"a"}, [](const auto& args) { return static_cast<int>(args.size()) + 2; }), 3);
}

// The names in the folder beside the files written: no scratch file left.
std::vector<std::string> names_in(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Writes a megabyte over `path` in a child process allowed files of 4 KiB
// only: the write stops half-way with EFBIG, or with `killed` the kernel's
// SIGXFSZ ends the child there. Returns the child's exit status (10: the
// write failed with a FileError) or the signal that ended it, negated.
int cut_write(const std::string& path, bool killed) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (!killed) std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    try {
      WRITE_WHOLE_FILE(path, std::string(1 << 20, 'x'));
    } catch (const FileError&) {
      _exit(10);
    }
    _exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

TEST(ToolsSafeWrite, ReplacesWholeOrNotAtAll) {
  ScratchFolder scratch;
  WRITE_WHOLE_FILE("design.csv", "old\r\n");
  EXPECT_EQ(READ_FILE("design.csv"), "old\r\n");
  WRITE_WHOLE_FILE("design.csv", "new\n");
  EXPECT_EQ(READ_FILE("design.csv"), "new\n");
  EXPECT_EQ(names_in("."), std::vector<std::string>{"design.csv"});

  // Failed half-way (a full disk, a file-size limit): the old file stays,
  // the scratch file goes, and the fault names the file.
  EXPECT_EQ(cut_write("design.csv", false), 10);
  EXPECT_EQ(READ_FILE("design.csv"), "new\n");
  EXPECT_EQ(names_in("."), std::vector<std::string>{"design.csv"});
  EXPECT_EQ(cut_write("fresh.csv", false), 10);
  EXPECT_FALSE(fs::exists("fresh.csv"));
  // Killed half-way: the old file or none, never a cut one (the cut
  // scratch file keeps a name of its own).
  EXPECT_EQ(cut_write("design.csv", true), -SIGXFSZ);
  EXPECT_EQ(READ_FILE("design.csv"), "new\n");
  EXPECT_EQ(cut_write("fresh.csv", true), -SIGXFSZ);
  EXPECT_FALSE(fs::exists("fresh.csv"));

  try {
    WRITE_WHOLE_FILE("missing/design.csv", "x");
    ADD_FAILURE() << "a file in a missing folder was written";
  } catch (const FileError& error) {
    EXPECT_NE(std::string(error.what()).find("missing/design.csv: No such file"), std::string::npos)
        << error.what();
  }
}

TEST(ToolsSafeWrite, WithoutReplaceAnExistingFileIsLeftAlone) {
  ScratchFolder scratch;
  WRITE_FILE("KORVEL.IN", "mine\n");
  {
    ScratchFile file("KORVEL.IN");
    file.write("made\n");
    EXPECT_EQ(READ_FILE(file.path()), "made\n");  // readable before it is placed
    EXPECT_FALSE(file.place(false));
  }
  EXPECT_EQ(READ_FILE("KORVEL.IN"), "mine\n");
  EXPECT_EQ(names_in("."), std::vector<std::string>{"KORVEL.IN"});
  {
    ScratchFile file("other.IN");
    file.write("made\n");
    EXPECT_TRUE(file.place(false));
  }
  EXPECT_EQ(READ_FILE("other.IN"), "made\n");
  EXPECT_EQ(names_in("."), (std::vector<std::string>{"KORVEL.IN", "other.IN"}));
}

// A writer killed half-way leaves its scratch file; a folder taken up again
// is cleared of such files, in subfolders too, and of nothing else.
TEST(ToolsSafeWrite, ScratchFilesLeftByAKilledWriterAreRemoved) {
  ScratchFolder scratch;
  std::filesystem::create_directories("probes/p1");
  WRITE_FILE(".KORVEL.IN.partial-123-0", "cut");
  WRITE_FILE("probes/p1/.seed.txt.partial-77-1", "cut");
  WRITE_FILE("probes/p1/KORVEL.IN", "whole\n");
  WRITE_FILE(".hidden", "mine\n");
  REMOVE_LEFT_SCRATCH_FILES(".");
  EXPECT_EQ(names_in("."), (std::vector<std::string>{".hidden", "probes"}));
  EXPECT_EQ(names_in("probes/p1"), std::vector<std::string>{"KORVEL.IN"});
}

}  // namespace
