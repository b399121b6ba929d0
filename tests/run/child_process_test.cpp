// Child processes: start failures, captured output, exit statuses, and
// termination of a whole tree (a shell and what it started).
#include "run/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "run/run_test_support.h"

namespace texloom_run {
namespace {

TEST(ChildProcessTest, MissingProgramIsReportedNotStarted) {
  ChildProcess child;
  std::string error;
  EXPECT_FALSE(child.Start({"texloom-no-such-program"}, Stdio::Null(), Stdio::Null(), Stdio::Null(),
                           &error));
  EXPECT_EQ("texloom-no-such-program was not found", error);
  EXPECT_FALSE(child.running());
}

TEST(ChildProcessTest, CapturesBothStreamsAndTheStatus) {
  std::string out, err, error;
  int status = -1;
  ASSERT_TRUE(RunAndCapture({"sh", "-c", "printf 'a\\nb'; printf 'oops' >&2; exit 3"}, &out, &err,
                            &status, &error))
      << error;
  EXPECT_EQ("a\nb", out);
  EXPECT_EQ("oops", err);
  EXPECT_EQ(3, status);
}

TEST(ChildProcessTest, SignalledChildGivesOneHundredTwentyEightPlusSignal) {
  ChildProcess child;
  std::string error;
  ASSERT_TRUE(child.Start({"sh", "-c", "kill -KILL $$"}, Stdio::Null(), Stdio::Null(),
                          Stdio::Null(), &error));
  EXPECT_EQ(128 + SIGKILL, child.Wait());
}

TEST(ChildProcessTest, PipesInAndOut) {
  ChildProcess child;
  std::string error;
  ASSERT_TRUE(
      child.Start({"tr", "a-z", "A-Z"}, Stdio::Pipe(), Stdio::Pipe(), Stdio::Null(), &error));
  ASSERT_TRUE(WriteAll(child.stdin_fd(), "frame", 5));
  child.CloseStdin();
  char text[6] = {};
  EXPECT_EQ(1, ReadExactly(child.stdout_fd(), text, 5));
  EXPECT_STREQ("FRAME", text);
  EXPECT_EQ(0, ReadExactly(child.stdout_fd(), text, 5)) << "end of stream";
  EXPECT_EQ(0, child.Wait());
}

TEST(ChildProcessTest, ShortReadIsAnError) {
  ChildProcess child;
  std::string error;
  ASSERT_TRUE(child.Start({"printf", "abc"}, Stdio::Null(), Stdio::Pipe(), Stdio::Null(), &error));
  char text[8];
  EXPECT_EQ(-1, ReadExactly(child.stdout_fd(), text, 8));
  child.Wait();
}

TEST(ChildProcessTest, FileStreams) {
  run_test::Scratch scratch;
  ChildProcess child;
  std::string error;
  ASSERT_TRUE(child.Start({"sh", "-c", "echo to-out; echo to-err >&2"}, Stdio::Null(),
                          Stdio::File(scratch / "out"), Stdio::File(scratch / "err"), &error));
  EXPECT_EQ(0, child.Wait());
  EXPECT_EQ("to-out\n", run_test::ReadText(scratch / "out"));
  EXPECT_EQ("to-err\n", run_test::ReadText(scratch / "err"));
  ChildProcess unopenable;
  EXPECT_FALSE(unopenable.Start({"true"}, Stdio::Null(), Stdio::File(scratch / "no/such/file"),
                                Stdio::Null(), &error));
  EXPECT_NE(std::string::npos, error.find("cannot open")) << error;
}

// A shell that waits for a long sleep, as tools/run_wine.sh waits for Wine:
// terminating the shell alone would leave the sleep running.
TEST(ChildProcessTest, TerminateEndsTheWholeTree) {
  run_test::Scratch scratch;
  const std::string pid_file = scratch / "sleep.pid";
  ChildProcess child;
  std::string error;
  ASSERT_TRUE(child.Start({"sh", "-c",
                           "trap 'echo cleaned > " + scratch / "trap" +
                               "; exit 143' TERM; sleep 300 & echo $! > " + pid_file + "; wait"},
                          Stdio::Null(), Stdio::Null(), Stdio::Null(), &error));
  std::string pid_text;
  for (int i = 0; i < 200 && pid_text.empty(); ++i) {
    usleep(20000);
    pid_text = run_test::ReadText(pid_file);
  }
  ASSERT_FALSE(pid_text.empty());
  const pid_t sleeper = static_cast<pid_t>(std::stol(pid_text));
  const std::vector<pid_t> tree = DescendantsOf(child.pid());
  EXPECT_NE(tree.end(), std::find(tree.begin(), tree.end(), sleeper));
  EXPECT_EQ(143, child.Terminate(10.0));
  EXPECT_EQ("cleaned\n", run_test::ReadText(scratch / "trap")) << "the shell ran its trap";
  // The sleep was the shell's child; once the shell is gone it is reaped by
  // init, so it either does not exist or is a zombie about to go.
  bool gone = false;
  for (int i = 0; i < 100 && !gone; ++i) {
    const std::string stat =
        run_test::ReadText("/proc/" + pid_text.substr(0, pid_text.find('\n')) + "/stat");
    gone = stat.empty() || stat.find(") Z ") != std::string::npos;
    if (!gone) usleep(20000);
  }
  EXPECT_TRUE(gone) << "sleep " << sleeper << " still runs";
}

}  // namespace
}  // namespace texloom_run
