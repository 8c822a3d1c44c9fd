#include "qt/help_viewer.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <vector>

namespace m4410 {
namespace {

// A machine laid out like an installation: <root>/bin holds the executable, the user's cache
// lives in <root>/cache.
class HelpViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.isValid());
    ASSERT_TRUE(QDir(root_.path()).mkpath("bin"));
    saved_cache_ = qgetenv("XDG_CACHE_HOME");
    had_cache_ = qEnvironmentVariableIsSet("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", Path("cache").toUtf8());
  }
  void TearDown() override {
    if (had_cache_) {
      qputenv("XDG_CACHE_HOME", saved_cache_);
    } else {
      qunsetenv("XDG_CACHE_HOME");
    }
  }

  QString Path(const QString& relative) const { return root_.filePath(relative); }
  QString BinDir() const { return Path("bin"); }

  void WriteFile(const QString& relative, const QByteArray& content) {
    const QString path = Path(relative);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(content), content.size());
  }

  static QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  // An opener that records each URL and answers with `result`.
  HelpViewerLoader MakeLoader(bool result = true) {
    return HelpViewerLoader(
        [this, result](const QUrl& url, const std::function<void()>& failed) {
          opened_.push_back(url);
          if (!result) failed();
        },
        BinDir());
  }

  QTemporaryDir root_;
  QByteArray saved_cache_;
  bool had_cache_ = false;
  std::vector<QUrl> opened_;
};

TEST_F(HelpViewerTest, OpensTheHelpFileBesideTheExecutableWhenPresent) {
  WriteFile("bin/Help2QRB.chm", "chm");
  WriteFile("share/marlovine-updater/help/index.html", "<html></html>");
  HelpViewerLoader loader = MakeLoader();

  EXPECT_TRUE(loader.ShowHelp());
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0], QUrl::fromLocalFile(QDir(BinDir()).absoluteFilePath("Help2QRB.chm")));
  EXPECT_TRUE(opened_[0].isLocalFile());
  EXPECT_FALSE(loader.failed());
}

TEST_F(HelpViewerTest, OpensInstalledPagesWhenNoHelpFile) {
  // A folder that merely carries the help file's name is not the help file.
  ASSERT_TRUE(QDir(BinDir()).mkdir("Help2QRB.chm"));
  WriteFile("share/marlovine-updater/help/index.html", "<html></html>");
  HelpViewerLoader loader = MakeLoader();

  EXPECT_TRUE(loader.ShowHelp());
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(QFileInfo(opened_[0].toLocalFile()).canonicalFilePath(),
            QFileInfo(Path("share/marlovine-updater/help/index.html")).canonicalFilePath());
}

TEST_F(HelpViewerTest, FindsPagesInstalledUnderTheDocFolder) {
  WriteFile("share/doc/marlovine-updater/help/index.html", "<html></html>");
  HelpViewerLoader loader = MakeLoader();

  EXPECT_TRUE(loader.ShowHelp());
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(QFileInfo(opened_[0].toLocalFile()).canonicalFilePath(),
            QFileInfo(Path("share/doc/marlovine-updater/help/index.html")).canonicalFilePath());
}

TEST_F(HelpViewerTest, ThePortCopyFindsTheInstalledPagesFromItsDeeperFolder) {
  WriteFile("share/marlovine-updater/help/index.html", "<html></html>");
  ASSERT_TRUE(QDir(root_.path()).mkpath("libexec/marlovine-updater"));
  HelpViewerLoader loader(
      [this](const QUrl& url, const std::function<void()>&) { opened_.push_back(url); },
      Path("libexec/marlovine-updater"));

  EXPECT_TRUE(loader.ShowHelp());
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(QFileInfo(opened_[0].toLocalFile()).canonicalFilePath(),
            QFileInfo(Path("share/marlovine-updater/help/index.html")).canonicalFilePath());
}

TEST_F(HelpViewerTest, FallsBackOnTheBuiltInPagesWrittenToTheCache) {
  // A page left over from an older version must be replaced.
  WriteFile("cache/marlovine-updater/help/stages.html", "stale");
  HelpViewerLoader loader = MakeLoader();

  EXPECT_TRUE(loader.ShowHelp());
  ASSERT_EQ(opened_.size(), 1u);
  const QString index = opened_[0].toLocalFile();
  EXPECT_EQ(QFileInfo(index).canonicalFilePath(),
            QFileInfo(Path("cache/marlovine-updater/help/index.html")).canonicalFilePath());

  // Every built-in page reaches the disk unchanged, so the links between pages work.
  const QDir built_in(":/m4410/help");
  const QStringList pages = built_in.entryList(QDir::Files);
  EXPECT_TRUE(pages.contains("index.html"));
  EXPECT_TRUE(pages.contains("style.css"));
  EXPECT_TRUE(pages.contains("stages.html"));
  for (const QString& page : pages) {
    const QByteArray expected = Read(built_in.filePath(page));
    EXPECT_FALSE(expected.isEmpty()) << page.toStdString();
    EXPECT_EQ(Read(Path("cache/marlovine-updater/help/" + page)), expected) << page.toStdString();
  }
  EXPECT_TRUE(Read(index).contains("Marlovine 4410"));
}

TEST_F(HelpViewerTest, ASuccessLeavesTheLoaderReadyForMore) {
  HelpViewerLoader loader = MakeLoader();

  EXPECT_TRUE(loader.ShowHelp());
  EXPECT_FALSE(loader.failed());
  WriteFile("bin/Help2QRB.chm", "chm");
  EXPECT_TRUE(loader.ShowHelp());
  ASSERT_EQ(opened_.size(), 2u);
  EXPECT_EQ(QFileInfo(opened_[1].toLocalFile()).fileName(), "Help2QRB.chm");
}

TEST_F(HelpViewerTest, AFailedOpenIsFinal) {
  WriteFile("bin/Help2QRB.chm", "chm");
  HelpViewerLoader loader = MakeLoader(false);

  EXPECT_FALSE(loader.ShowHelp());
  EXPECT_TRUE(loader.failed());
  EXPECT_FALSE(loader.ShowHelp());
  EXPECT_FALSE(loader.ShowHelp());
  EXPECT_EQ(opened_.size(), 1u);
  EXPECT_TRUE(loader.failed());
}

TEST_F(HelpViewerTest, NoPagesToShowIsAFailureWithoutCallingTheOpener) {
  // The cache folder cannot be made: its parent is a plain file.
  WriteFile("cache-file", "not a folder");
  qputenv("XDG_CACHE_HOME", Path("cache-file").toUtf8());
  HelpViewerLoader loader = MakeLoader();

  EXPECT_FALSE(loader.ShowHelp());
  EXPECT_TRUE(loader.failed());
  EXPECT_TRUE(opened_.empty());

  // Failure is final even once help could be found.
  WriteFile("bin/Help2QRB.chm", "chm");
  EXPECT_FALSE(loader.ShowHelp());
  EXPECT_TRUE(opened_.empty());
}

TEST(AppHelpViewerTest, IsOneInstanceForTheProcess) {
  EXPECT_EQ(&AppHelpViewer(), &AppHelpViewer());
  EXPECT_FALSE(AppHelpViewer().failed());
}

}  // namespace
}  // namespace m4410
