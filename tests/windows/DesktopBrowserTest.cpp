#include "windows/DesktopBrowser.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QObject>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

namespace {

// A stand-in for the desktop's opener: it notes the address it was given and ends as told,
// as xdg-open ends with 3 when it finds no browser.
struct OpenerCase {
  const char* name;
  const char* ending;  // the script's last line
  bool failed;
};

class DesktopBrowserOpener : public ::testing::TestWithParam<OpenerCase> {};

TEST_P(DesktopBrowserOpener, ReportsAFailedOpenerOnceItEnds) {
  const OpenerCase& c = GetParam();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QFile script(dir.filePath("xdg-open"));
  ASSERT_TRUE(script.open(QIODevice::WriteOnly));
  script.write(QByteArray("#!/bin/sh\nprintf '%s' \"$1\" > \"$(dirname \"$0\")/asked\"\nsleep 0.2\n") + c.ending + "\n");
  script.close();
  script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", dir.path().toLocal8Bit() + ":" + path);
  QObject context;
  int failures = 0;
  levelbook::DesktopBrowser::Open(QUrl("https://www.example.com/a b"), &context, [&failures] { ++failures; });
  qputenv("PATH", path);
  EXPECT_EQ(failures, 0);  // not known before the opener ends
  ASSERT_TRUE(QTest::qWaitFor([&context] { return context.findChildren<QTimer*>().isEmpty(); }, 5000));
  EXPECT_EQ(failures, c.failed ? 1 : 0);
  QFile asked(dir.filePath("asked"));
  ASSERT_TRUE(asked.open(QIODevice::ReadOnly));
  EXPECT_EQ(asked.readAll(), "https://www.example.com/a%20b");
}

INSTANTIATE_TEST_SUITE_P(Endings, DesktopBrowserOpener,
                         ::testing::Values(OpenerCase{"Opened", "exit 0", false},
                                           OpenerCase{"NoBrowserFound", "exit 3", true},
                                           OpenerCase{"ActionFailed", "exit 4", true},
                                           OpenerCase{"Killed", "kill -9 $$", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
