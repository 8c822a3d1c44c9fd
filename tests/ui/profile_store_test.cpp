// The settings store against files as the original program and administrators leave them.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "ui/profile_store.h"

namespace m4410 {
namespace {

constexpr char kSection[] = "Software Update Section";

std::string ReadAll(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return "<missing>";
  return file.readAll().toStdString();
}

void WriteAll(const QString& path, const std::string& text) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(text.data(), static_cast<qint64>(text.size()));
}

std::string Fixture(const char* name) {
  return ReadAll(QStringLiteral(M4410_FIXTURE_DIR "/") + QString::fromLatin1(name));
}

}  // namespace

class ProfileStoreTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  QString Path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }
  std::string PathStd(const char* name) const { return Path(name).toStdString(); }

 private slots:
  void missingFileSectionOrItemReadsEmpty() {
    ProfileStore missing(PathStd("none.ini"));
    QCOMPARE(missing.GetString(kSection, "Software Update String Item"), std::string());

    WriteAll(Path("other.ini"), "[Other]\nSoftware Update String Item=x\n");
    ProfileStore other(PathStd("other.ini"));
    QCOMPARE(other.GetString(kSection, "Software Update String Item"), std::string());
    QCOMPARE(other.GetString("Other", "Missing"), std::string());
  }

  void windowsFileReadsBackUnchanged() {
    WriteAll(Path("win.ini"), Fixture("settings-written-on-windows.ini"));
    ProfileStore store(PathStd("win.ini"));
    QCOMPARE(store.GetString(kSection, "Software Update String Item"),
             std::string(R"(C:\Updates\4410\release 2.07\complete.bin)"));
    QCOMPARE(store.GetString(kSection, "Software Update Filename Item"),
             std::string(R"(C:\Updates\4410\release 2.07\complete.bin)"));
    QCOMPARE(store.GetString(kSection, "Software Update ProgramFilename Item"), std::string());
    QCOMPARE(store.GetString(kSection, "Software Update MenuFilename Item"),
             std::string(R"(D:\menus\menu_fr.bin)"));
    // Names match whatever their case.
    QCOMPARE(store.GetString("software update section", "SOFTWARE UPDATE MENUFILENAME ITEM"),
             std::string(R"(D:\menus\menu_fr.bin)"));
  }

  void rewritingTheSameValuesKeepsTheFileByteForByte() {
    const std::string original = Fixture("settings-written-on-windows.ini");
    WriteAll(Path("same.ini"), original);
    ProfileStore store(PathStd("same.ini"));
    for (const char* item : {"Software Update String Item", "Software Update Filename Item",
                             "Software Update ProgramFilename Item",
                             "Software Update MenuFilename Item",
                             "Software Update TableFilename Item"}) {
      QVERIFY(store.WriteString(kSection, item, store.GetString(kSection, item)));
    }
    QCOMPARE(ReadAll(Path("same.ini")), original);
  }

  void sharedFileKeepsEveryOtherLine() {
    WriteAll(Path("shared.ini"), Fixture("settings-shared-with-other-sections.ini"));
    ProfileStore store(PathStd("shared.ini"));
    QVERIFY(store.WriteString(kSection, "Software Update String Item", "/srv/new.bin"));
    QVERIFY(store.WriteString(kSection, "Software Update Filename Item", "/srv/new.bin"));
    QVERIFY(store.WriteString(kSection, "Software Update ProgramFilename Item", ""));
    QVERIFY(store.WriteString(kSection, "Software Update MenuFilename Item", "/srv/menu 2.bin"));
    QVERIFY(store.WriteString(kSection, "Software Update TableFilename Item", ""));
    QCOMPARE(ReadAll(Path("shared.ini")),
             std::string("; kept by the site administrator\r\n"
                         "[Site]\r\n"
                         "Operator=Bench 3\r\n"
                         "\r\n"
                         "[Software Update Section]\r\n"
                         "Software Update Filename Item=/srv/new.bin\r\n"
                         "Software Update String Item=/srv/new.bin\r\n"
                         "Software Update ProgramFilename Item=\r\n"
                         "Software Update MenuFilename Item=/srv/menu 2.bin\r\n"
                         "Software Update TableFilename Item=\r\n"
                         "\r\n"
                         "[Other Tool]\r\n"
                         "Key=Value with = sign\r\n"));
    QCOMPARE(store.GetString("Other Tool", "Key"), std::string("Value with = sign"));
  }

  void newFileListsItemsInTheOrderFirstWritten() {
    ProfileStore store(PathStd("sub/dir/new.ini"));  // folders are made as needed
    QVERIFY(store.WriteString(kSection, "B item", R"(C:\a b\c.bin)"));
    QVERIFY(store.WriteString(kSection, "A item", ""));
    QVERIFY(store.WriteString(kSection, "B item", "/x"));
    QVERIFY(store.WriteString("Later", "k", "v"));
    QCOMPARE(ReadAll(Path("sub/dir/new.ini")),
             std::string("[Software Update Section]\nB item=/x\nA item=\n\n[Later]\nk=v\n"));
  }

  void lineEndsFollowTheFile() {
    WriteAll(Path("lf.ini"), "[S]\na=1");  // LF, and no line end after the last item
    ProfileStore lf(PathStd("lf.ini"));
    QVERIFY(lf.WriteString("S", "b", "2"));
    QCOMPARE(ReadAll(Path("lf.ini")), std::string("[S]\na=1\nb=2\n"));

    WriteAll(Path("crlf.ini"), "[T]\r\nx=1\r\n");
    ProfileStore crlf(PathStd("crlf.ini"));
    QVERIFY(crlf.WriteString("S", "b", "2"));
    QCOMPARE(ReadAll(Path("crlf.ini")), std::string("[T]\r\nx=1\r\n\r\n[S]\r\nb=2\r\n"));
  }

  void valuesAreTrimmedOnReadAndStoredExactly() {
    WriteAll(Path("spaces.ini"), "[S]\n  name with spaces  =  C:\\dir\\f.bin  \n");
    ProfileStore store(PathStd("spaces.ini"));
    QCOMPARE(store.GetString("S", "name with spaces"), std::string("C:\\dir\\f.bin"));
    QVERIFY(store.WriteString("S", "name with spaces", "\\\\server\\share\\%20.bin"));
    QCOMPARE(ReadAll(Path("spaces.ini")),
             std::string("[S]\nname with spaces=\\\\server\\share\\%20.bin\n"));
  }

  // Whatever padding a name carries when written or read, it is the same item.
  void namesAreTrimmedAlikeOnWriteAndRead() {
    ProfileStore store(PathStd("padded.ini"));
    const std::string pads[] = {"", " ", "\t", " \t "};
    int n = 0;
    for (const std::string& a : pads) {
      for (const std::string& b : pads) {
        const std::string value = "v" + std::to_string(n++);
        QVERIFY(store.WriteString(a + "S" + b, b + "k" + a, value));
        for (const std::string& c : pads) QCOMPARE(store.GetString(c + "S", "k" + c), value);
      }
    }
    QCOMPARE(ReadAll(Path("padded.ini")), std::string("[S]\nk=v15\n"));
    QCOMPARE(store.GetString(" ", "k"), std::string());
    QCOMPARE(store.GetString("S", "\t"), std::string());
  }

  void longValueIsCutTo4095() {
    ProfileStore store(PathStd("long.ini"));
    QVERIFY(store.WriteString("S", "k", std::string(5000, 'x')));
    QCOMPARE(store.GetString("S", "k"), std::string(4095, 'x'));
    // A cut never splits a character.
    QVERIFY(store.WriteString("S", "k", std::string(4094, 'x') + "\xc3\xa9" + "tail"));
    QCOMPARE(store.GetString("S", "k"), std::string(4094, 'x'));
  }

  void firstSectionAndFirstItemOfANameCount() {
    WriteAll(Path("dup.ini"), "[S]\nk=1\nk=2\n[S]\nk=3\nj=4\n");
    ProfileStore store(PathStd("dup.ini"));
    QCOMPARE(store.GetString("S", "k"), std::string("1"));
    QCOMPARE(store.GetString("S", "j"), std::string());
    QVERIFY(store.WriteString("S", "k", "9"));
    QVERIFY(store.WriteString("S", "j", "8"));
    QCOMPARE(ReadAll(Path("dup.ini")), std::string("[S]\nk=9\nk=2\nj=8\n[S]\nk=3\nj=4\n"));
  }

  void garbledFileReadsEmptyWithoutFault() {
    std::string junk;
    for (int i = 0; i < 4096; ++i) junk.push_back(static_cast<char>((i * 131 + 7) % 256));
    junk += "\n[Software Update Section\n=\n==\n[]\n;[x]\n[\n";
    WriteAll(Path("junk.ini"), junk);
    ProfileStore store(PathStd("junk.ini"));
    QCOMPARE(store.GetString(kSection, "Software Update String Item"), std::string());
    // A write keeps the junk and adds what it writes.
    QVERIFY(store.WriteString(kSection, "Software Update String Item", "/a.bin"));
    QCOMPARE(store.GetString(kSection, "Software Update String Item"), std::string("/a.bin"));
    QVERIFY(ReadAll(Path("junk.ini")).starts_with(junk.substr(0, 100)));
  }

  void unreadableFileReadsEmptyAndIsNotOverwritten() {
    if (::geteuid() == 0) QSKIP("root reads every file");
    WriteAll(Path("locked.ini"), "[S]\nk=v\n");
    QVERIFY(::chmod(Path("locked.ini").toLocal8Bit().constData(), 0) == 0);
    ProfileStore store(PathStd("locked.ini"));
    QCOMPARE(store.GetString("S", "k"), std::string());
    QVERIFY(!store.WriteString("S", "k", "new"));
    ::chmod(Path("locked.ini").toLocal8Bit().constData(), 0600);
    QCOMPARE(ReadAll(Path("locked.ini")), std::string("[S]\nk=v\n"));
  }

  void aFolderInPlaceOfTheFileReadsEmpty() {
    QVERIFY(QDir(dir_.path()).mkdir(QStringLiteral("folder.ini")));
    ProfileStore store(PathStd("folder.ini"));
    QCOMPARE(store.GetString("S", "k"), std::string());
    QVERIFY(!store.WriteString("S", "k", "v"));
  }

  void namesAndValuesThatWouldBreakTheLayoutAreRefused() {
    WriteAll(Path("safe.ini"), "[S]\nk=v\n");
    ProfileStore store(PathStd("safe.ini"));
    QVERIFY(!store.WriteString("S", "k", "two\nlines"));
    QVERIFY(!store.WriteString("S", "k", "cr\rhere"));
    QVERIFY(!store.WriteString("S", "a=b", "v"));
    QVERIFY(!store.WriteString("S]x", "k", "v"));
    QVERIFY(!store.WriteString("", "k", "v"));
    QVERIFY(!store.WriteString("S", "", "v"));
    QCOMPARE(ReadAll(Path("safe.ini")), std::string("[S]\nk=v\n"));
  }

  void writeReplacesTheFileAndLeavesNoTemporaryBehind() {
    WriteAll(Path("perm.ini"), "[S]\nk=v\n");
    QVERIFY(::chmod(Path("perm.ini").toLocal8Bit().constData(), 0640) == 0);
    QVERIFY(QFile::link(Path("perm.ini"), Path("link.ini")));
    ProfileStore store(PathStd("link.ini"));
    QVERIFY(store.WriteString("S", "k", "w"));
    // Written through the link: the link stays a link, the file keeps its permissions.
    QVERIFY(QFileInfo(Path("link.ini")).isSymLink());
    QCOMPARE(ReadAll(Path("perm.ini")), std::string("[S]\nk=w\n"));
    struct stat st {};
    QVERIFY(::stat(Path("perm.ini").toLocal8Bit().constData(), &st) == 0);
    QCOMPARE(st.st_mode & 07777, 0640u);
    const QStringList left = QDir(dir_.path()).entryList({QStringLiteral("perm.ini.*")});
    QVERIFY2(left.isEmpty(), qPrintable(left.join(' ')));
  }
};

}  // namespace m4410

QTEST_APPLESS_MAIN(m4410::ProfileStoreTest)
#include "profile_store_test.moc"
