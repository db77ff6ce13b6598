#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "workbook/SpreadsheetError.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"
#include "tests/xlsx/XlsxTestSupport.h"

namespace spreadsheet {
namespace {

using testing::ReadFile;
using testing::TempDir;

Workbook Small(double value) {
  Workbook wb;
  wb.AddSheet("数据输入").SetValue(CellAddress{0, 0}, value);
  return wb;
}

Workbook Large() {
  Workbook wb;
  Worksheet& ws = wb.AddSheet("水准表");
  for (int r = 0; r < 20000; ++r) {
    for (int c = 0; c < 9; ++c) ws.SetValue(CellAddress{r, c}, r * 0.001 + c / 7.0);
  }
  return wb;
}

std::size_t EntriesIn(const TempDir& dir) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++n;
  return n;
}

void ExpectSaveError(const Workbook& wb, const std::string& path, const std::string& expected) {
  try {
    XlsxExporter::Save(wb, path);
    ADD_FAILURE() << "saved without error";
  } catch (const SpreadsheetError& e) {
    EXPECT_EQ(e.Number(), 1004);
    EXPECT_NE(e.Description().find(path), std::string::npos) << e.Description();
    EXPECT_NE(e.Description().find(expected), std::string::npos) << e.Description();
  }
}

TEST(XlsxAtomicSave, AFailedWriteLeavesThePreviousFile) {
  TempDir dir;
  const std::string path = dir.File("水准.xlsx");
  XlsxExporter::Save(Small(1.5), path);
  const std::string before = ReadFile(path);
  const Workbook large = Large();

  // The disk fills up: a forked child may write only 64 KiB per file.
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{64 * 1024, 64 * 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    int code = 3;
    try {
      XlsxExporter::Save(large, path);
      code = 1;
    } catch (const SpreadsheetError& e) {
      code = e.Number() == 1004 && e.Description().find(path) != std::string::npos ? 0 : 2;
    }
    ::_exit(code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: saved, 2: error without path";
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_EQ(XlsxImporter::Load(path).SheetAt(0).Value(CellAddress{0, 0}), CellValue(1.5));
  EXPECT_EQ(EntriesIn(dir), 1u) << "temporary file left behind";
}

TEST(XlsxAtomicSave, ImpossibleTargetsAreErrorsAndLeaveNothing) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("folder.xlsx"));
  ExpectSaveError(Small(1), dir.File("folder.xlsx"), "目标是一个文件夹");
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("folder.xlsx")));
  ExpectSaveError(Small(1), dir.File("missing/x.xlsx"), "不存在");
  Workbook badName;
  badName.AddSheet("a[1]");
  ExpectSaveError(badName, dir.File("bad.xlsx"), "a[1]");
  ExpectSaveError(Workbook{}, dir.File("none.xlsx"), "没有工作表");
  EXPECT_EQ(EntriesIn(dir), 1u);
}

TEST(XlsxAtomicSave, ReplacesTheFileAndKeepsItsPermissions) {
  TempDir dir;
  const std::string path = dir.File("book.xlsx");
  XlsxExporter::Save(Small(1), path);
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  XlsxExporter::Save(Small(2), path);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(XlsxImporter::Load(path).SheetAt(0).Value(CellAddress{0, 0}), CellValue(2.0));
  EXPECT_EQ(EntriesIn(dir), 1u);
}


// The save ignores SIGXFSZ itself: under a file-size limit it ends in a clear error, the old
// file and no temporary file left, wherever the limit cuts (a local header, an entry's data,
// the directory, the end record).
TEST(XlsxAtomicSave, AFileSizeLimitIsAClearError) {
  TempDir dir;
  const std::string path = dir.File("limit.xlsx");
  const Workbook large = Large();
  XlsxExporter::Save(large, path);
  const auto full = static_cast<rlim_t>(std::filesystem::file_size(path));
  XlsxExporter::Save(Small(1.5), path);
  const std::string before = ReadFile(path);
  for (const rlim_t cut : {rlim_t{10}, rlim_t{64 * 1024}, full / 2, full - 300, full - 1}) {
    SCOPED_TRACE("limit " + std::to_string(cut) + " of " + std::to_string(full));
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      rlimit limit{cut, cut};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      int code = 3;
      try {
        XlsxExporter::Save(large, path);
        code = 1;
      } catch (const SpreadsheetError& e) {
        code = e.Description().find("文件大小超过了系统允许的上限") != std::string::npos ? 0 : 2;
      }
      ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: saved, 2: another message";
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(EntriesIn(dir), 1u) << "temporary file left behind";
  }
}

TEST(XlsxAtomicSave, FifosAreRefusedAndLinksWrittenThrough) {
  TempDir dir;
  const std::string fifo = dir.File("pipe.xlsx");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  ExpectSaveError(Small(1), fifo, "不是普通文件");
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  const std::string real = dir.File("real.xlsx");
  const std::string link = dir.File("link.xlsx");
  XlsxExporter::Save(Small(1), real);
  std::filesystem::create_symlink("real.xlsx", link);
  XlsxExporter::Save(Small(2), link);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(XlsxImporter::Load(real).SheetAt(0).Value(CellAddress{0, 0}), CellValue(2.0));
  EXPECT_EQ(EntriesIn(dir), 3u);
}

void ExpectNoTemporaryFile(const TempDir& dir, const std::string& what) {
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
    EXPECT_EQ(e.path().filename().string().find(".levelbook-save-"), std::string::npos) << what << " left " << e.path();
  }
}

// Killed by any ending signal at any moment of a save: no temporary file stays.
TEST(XlsxAtomicSave, EndingSignalsLeaveNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir.File("signal.xlsx");
  const Workbook large = Large();
  for (const int sig : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM}) {
    for (const int delayMs : {5, 60}) {
      const pid_t pid = ::fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        for (;;) XlsxExporter::Save(large, path);
      }
      ::usleep(static_cast<useconds_t>(delayMs) * 1000);
      ::kill(pid, sig);
      int status = 0;
      ASSERT_EQ(::waitpid(pid, &status, 0), pid);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig);
      ExpectNoTemporaryFile(dir, "signal " + std::to_string(sig) + " after " + std::to_string(delayMs) + " ms");
    }
  }
}

// Many more saves in flight than a fixed table would hold, all cleaned up by one signal, while
// the other threads go on making and writing their files as the handler runs.
TEST(XlsxAtomicSave, ManySavesAtOnceLeaveNoTemporaryFile) {
  TempDir dir;
  Workbook medium;
  Worksheet& ws = medium.AddSheet("水准表");
  for (int r = 0; r < 1500; ++r) {
    for (int c = 0; c < 9; ++c) ws.SetValue(CellAddress{r, c}, r * 0.001 + c / 7.0);
  }
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 80; ++t) {
      threads.emplace_back([&, t] {
        for (;;) XlsxExporter::Save(medium, dir.File("m" + std::to_string(t) + ".xlsx"));
      });
    }
    for (std::thread& t : threads) t.join();
  }
  ::usleep(400 * 1000);
  ::kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  ExpectNoTemporaryFile(dir, "80 saves");
}

// A signal the program ignores stays ignored while saving: a program that ignores SIGPIPE to
// learn of a closed pipe as EPIPE is not ended by one during a save.
TEST(XlsxAtomicSave, AnIgnoredSignalStaysIgnored) {
  TempDir dir;
  struct sigaction ignore {}, before {}, during {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGPIPE, &ignore, &before), 0);
  Workbook wb = Small(1);
  std::thread saver([&] {
    for (int k = 0; k < 20; ++k) XlsxExporter::Save(wb, dir.File("a.xlsx"));
  });
  for (int k = 0; k < 20; ++k) {
    ::sigaction(SIGPIPE, nullptr, &during);
    EXPECT_EQ(during.sa_handler, SIG_IGN);
  }
  saver.join();
  ::sigaction(SIGPIPE, &before, nullptr);
}

TEST(XlsxAtomicSave, NamesAsLongAsTheFolderTakes) {
  TempDir dir;
  std::string name;
  while (name.size() + 3 + 5 <= 255) name += "水";  // 3 bytes each, then ".xlsx"
  name += std::string(255 - 5 - name.size(), 'a') + ".xlsx";
  ASSERT_EQ(name.size(), 255u);
  const std::string path = dir.File(name);
  XlsxExporter::Save(Small(2.5), path);
  EXPECT_EQ(XlsxImporter::Load(path).SheetAt(0).Value(CellAddress{0, 0}), CellValue(2.5));
  EXPECT_EQ(EntriesIn(dir), 1u);
}

// A link whose file does not exist yet: the file is made where it points, the link stays.
TEST(XlsxAtomicSave, ADanglingLinkIsWrittenThrough) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("sub"));
  const std::string link = dir.File("link.xlsx");
  std::filesystem::create_symlink("sub/target.xlsx", link);
  XlsxExporter::Save(Small(3), link);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(XlsxImporter::Load(dir.File("sub/target.xlsx")).SheetAt(0).Value(CellAddress{0, 0}), CellValue(3.0));
}

// A batch saves on several threads: however their saves interleave, the signal dispositions are
// what they were once all have ended, and every file is there.
TEST(XlsxAtomicSave, ConcurrentSavesRestoreTheSignalDispositions) {
  TempDir dir;
  struct sigaction term {}, xfsz {};
  ::sigaction(SIGTERM, nullptr, &term);
  ::sigaction(SIGXFSZ, nullptr, &xfsz);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&dir, t] {
      for (int k = 0; k < 5; ++k) XlsxExporter::Save(Small(t + k / 10.0), dir.File("t" + std::to_string(t) + ".xlsx"));
    });
  }
  for (std::thread& t : threads) t.join();
  struct sigaction termAfter {}, xfszAfter {};
  ::sigaction(SIGTERM, nullptr, &termAfter);
  ::sigaction(SIGXFSZ, nullptr, &xfszAfter);
  EXPECT_EQ(termAfter.sa_handler, term.sa_handler);
  EXPECT_EQ(xfszAfter.sa_handler, xfsz.sa_handler);
  EXPECT_EQ(EntriesIn(dir), 4u);
  EXPECT_EQ(XlsxImporter::Load(dir.File("t3.xlsx")).SheetAt(0).Value(CellAddress{0, 0}), CellValue(3.4));
}

}  // namespace
}  // namespace spreadsheet
