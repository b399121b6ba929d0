// Outputs under temporary names beside their targets: moved into place on
// commit, gone on discard, and refused where the target cannot be written.
#include "run/staged_output.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "run/run_test_support.h"

namespace texloom_run {
namespace {

using run_test::Exists;
using run_test::ListFolder;
using run_test::ReadText;
using run_test::Scratch;
using run_test::WriteText;

TEST(StagedOutputTest, VideoFileStagedBesideAndRenamed) {
  Scratch scratch;
  const std::string target = scratch / "out.mp4";
  WriteText(target, "old");
  std::string error;
  int files = -1;
  {
    StagedOutput output;
    ASSERT_TRUE(output.Prepare({OutputKind::video, target}, &error)) << error;
    const std::string staged = output.staging_name();
    EXPECT_EQ(scratch.path(), FolderOf(staged));
    // The container is still told by the end of the name.
    EXPECT_EQ("-out.mp4", staged.substr(staged.size() - 8));
    EXPECT_EQ('.', BaseNameOf(staged)[0]);
    EXPECT_TRUE(Exists(staged));
    EXPECT_EQ("old", ReadText(target)) << "the target is untouched before commit";
    WriteText(staged, "new");
    ASSERT_TRUE(output.Commit(&error, &files)) << error;
    EXPECT_EQ(1, files);
  }
  EXPECT_EQ("new", ReadText(target));
  EXPECT_EQ(std::vector<std::string>{"out.mp4"}, ListFolder(scratch.path()));
  struct stat info;
  ASSERT_EQ(0, stat(target.c_str(), &info));
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(0666 & ~mask, info.st_mode & 0777) << "the usual mode, not the temporary's 0600";
}

TEST(StagedOutputTest, DiscardedOrDestroyedUncommittedLeavesNothing) {
  Scratch scratch;
  WriteText(scratch / "keep.mp4", "old");
  std::string error;
  {
    StagedOutput output;
    ASSERT_TRUE(output.Prepare({OutputKind::video, scratch / "keep.mp4"}, &error)) << error;
    WriteText(output.staging_name(), "half");
    output.Discard();
  }
  {
    StagedOutput output;
    ASSERT_TRUE(output.Prepare({OutputKind::png_pattern, scratch / "f_%03d.png"}, &error));
    WriteText(scratch / "marker", "");
  }
  {
    StagedOutput output;
    ASSERT_TRUE(output.Prepare({OutputKind::png_folder, scratch / "made"}, &error)) << error;
    EXPECT_TRUE(Exists(scratch / "made"));
  }
  EXPECT_EQ((std::vector<std::string>{"keep.mp4", "marker"}), ListFolder(scratch.path()));
  EXPECT_EQ("old", ReadText(scratch / "keep.mp4"));
}

TEST(StagedOutputTest, PngPatternFramesMovedIntoTheFolder) {
  Scratch scratch;
  std::string error;
  StagedOutput output;
  ASSERT_TRUE(output.Prepare({OutputKind::png_pattern, scratch / "shot_%04d.png"}, &error));
  const std::string pattern = output.staging_name();
  EXPECT_EQ("shot_%04d.png", BaseNameOf(pattern));
  const std::string staging = FolderOf(pattern);
  EXPECT_EQ(scratch.path(), FolderOf(staging));
  WriteText(staging + "/shot_0003.png", "3");
  WriteText(staging + "/shot_0004.png", "4");
  int files = 0;
  ASSERT_TRUE(output.Commit(&error, &files)) << error;
  EXPECT_EQ(2, files);
  EXPECT_EQ((std::vector<std::string>{"shot_0003.png", "shot_0004.png"}),
            ListFolder(scratch.path()));
  EXPECT_EQ("4", ReadText(scratch / "shot_0004.png"));
}

TEST(StagedOutputTest, FolderOutputIsMadeAndFilled) {
  Scratch scratch;
  std::string error;
  StagedOutput output;
  ASSERT_TRUE(output.Prepare({OutputKind::png_folder, scratch / "frames"}, &error)) << error;
  EXPECT_EQ("frame_%06d.png", BaseNameOf(output.staging_name()));
  WriteText(FolderOf(output.staging_name()) + "/frame_000000.png", "0");
  int files = 0;
  ASSERT_TRUE(output.Commit(&error, &files)) << error;
  EXPECT_EQ(1, files);
  EXPECT_EQ(std::vector<std::string>{"frame_000000.png"}, ListFolder(scratch / "frames"));
}

TEST(StagedOutputTest, PercentInAFolderNameIsLiteralForFfmpeg) {
  Scratch scratch;
  ASSERT_EQ(0, mkdir((scratch / "100%").c_str(), 0777));
  std::string error;
  StagedOutput output;
  ASSERT_TRUE(output.Prepare({OutputKind::png_folder, scratch / "100%"}, &error)) << error;
  EXPECT_NE(std::string::npos, output.staging_name().find("/100%%/.texloom-run-"));
}

TEST(StagedOutputTest, TargetsThatCannotBeWritten) {
  Scratch scratch;
  WriteText(scratch / "file", "");
  struct Case {
    OutputTarget target;
    const char* message;
  };
  const Case cases[] = {
      {{OutputKind::video, scratch / "missing/out.mp4"}, "does not exist"},
      {{OutputKind::video, scratch / "file/out.mp4"}, "does not exist"},
      {{OutputKind::png_single, scratch / "missing/one.png"}, "does not exist"},
      {{OutputKind::png_pattern, scratch / "missing/f_%02d.png"}, "does not exist"},
      {{OutputKind::png_folder, scratch / "missing/deeper"}, "cannot make the folder"},
      // Not even root may make files in /proc.
      {{OutputKind::video, "/proc/texloom-run-test.mp4"}, "cannot write '/proc/"},
      {{OutputKind::png_pattern, "/proc/f_%03d.png"}, "cannot write into '/proc'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target.path);
    StagedOutput output;
    std::string error;
    EXPECT_FALSE(output.Prepare(c.target, &error));
    EXPECT_NE(std::string::npos, error.find(c.message)) << error;
  }
  EXPECT_EQ(std::vector<std::string>{"file"}, ListFolder(scratch.path()));
}

TEST(StagedOutputTest, TempDirIsRemovedWithItsContents) {
  Scratch scratch;
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old != nullptr ? old : "";
  setenv("TMPDIR", scratch.path().c_str(), 1);
  std::string path;
  {
    TempDir temp;
    std::string error;
    ASSERT_TRUE(temp.Create("texloom-run", &error)) << error;
    path = temp.path();
    EXPECT_EQ(scratch.path(), FolderOf(path));
    ASSERT_EQ(0, mkdir((path + "/sub").c_str(), 0777));
    WriteText(path + "/sub/input.raw", "x");
  }
  EXPECT_FALSE(Exists(path));
  if (old != nullptr) {
    setenv("TMPDIR", saved.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}

TEST(StagedOutputTest, PathHelpers) {
  EXPECT_EQ(".", FolderOf("out.mp4"));
  EXPECT_EQ("/", FolderOf("/out.mp4"));
  EXPECT_EQ("a/b", FolderOf("a/b/c.png"));
  EXPECT_EQ("c.png", BaseNameOf("a/b/c.png"));
  EXPECT_EQ("/abs/x", AbsolutePath("/abs/x"));
  char cwd[4096];
  ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
  EXPECT_EQ(std::string(cwd) + "/rel/x", AbsolutePath("./rel/x"));
}

}  // namespace
}  // namespace texloom_run
