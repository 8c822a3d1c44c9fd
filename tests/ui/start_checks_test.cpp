// The Start command's choice of file, its file check and the texts of its reports.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>

#include <cerrno>
#include <string>

#include "run/port_environment.h"
#include "ui/start_checks.h"

namespace m4410 {

class StartCommandTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  static UpdateFileCheck Check(const std::string& path) {
    return CheckUpdateFile(path, UpdateFileAccess::ReadWrite);
  }
  std::string Path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)).toStdString(); }
  std::string MakeFile(const char* name, mode_t mode) {
    const std::string path = Path(name);
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write("image");
    file.close();
    ::chmod(path.c_str(), mode);
    return path;
  }

 private slots:
  void completeWinsAndPartFilesGoInOrder() {
    QCOMPARE(ChooseUpdateFile(true, true, true, true), FileChoice::Complete);
    QCOMPARE(ChooseUpdateFile(true, false, false, false), FileChoice::Complete);
    QCOMPARE(ChooseUpdateFile(false, true, false, false), FileChoice::Menu);
    QCOMPARE(ChooseUpdateFile(false, false, true, false), FileChoice::Program);
    QCOMPARE(ChooseUpdateFile(false, false, false, true), FileChoice::Table);
    QCOMPARE(ChooseUpdateFile(false, true, true, false), FileChoice::NotYet);
    QCOMPARE(ChooseUpdateFile(false, false, true, true), FileChoice::NotYet);
    QCOMPARE(ChooseUpdateFile(false, true, true, true), FileChoice::NotYet);
    QCOMPARE(ChooseUpdateFile(false, false, false, false), FileChoice::Nothing);
  }

  void writableFilePassesAndStaysUnchanged() {
    const std::string path = MakeFile("ok.bin", 0644);
    QVERIFY(Check(path).ok);
    QFile file(QString::fromStdString(path));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("image"));
  }

  void missingFileIsNotFoundAndNotCreated() {
    const UpdateFileCheck r = Check(Path("missing.bin"));
    QVERIFY(!r.ok);
    QCOMPARE(r.cause, FileErrorCause::FileNotFound);
    QVERIFY(!QFile::exists(QString::fromStdString(Path("missing.bin"))));
  }

  void emptyAndBadPathsAreInvalid() {
    QCOMPARE(Check("").cause, FileErrorCause::BadPath);
    const std::string file = MakeFile("plain.bin", 0644);
    QCOMPARE(Check(file + "/inside.bin").cause, FileErrorCause::BadPath);
    QCOMPARE(Check(Path("") + std::string(5000, 'n')).cause, FileErrorCause::BadPath);
  }

  void fileWithoutWriteBitsIsDeniedEvenForRoot() {
    const std::string path = MakeFile("ro.bin", 0444);
    const UpdateFileCheck r = Check(path);
    QVERIFY(!r.ok);
    QCOMPARE(r.cause, FileErrorCause::AccessDenied);
  }

  // The worker would block on any of these for ever; the check must refuse them at once.
  void onlyPlainFilesPass() {
    const std::string fifo = Path("pipe.bin");
    QCOMPARE(::mkfifo(fifo.c_str(), 0666), 0);
    const std::string socket_path = Path("socket.bin");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket_path.c_str());
    QCOMPARE(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    for (const std::string& path : {fifo, socket_path, std::string("/dev/null")}) {
      const UpdateFileCheck r = Check(path);
      QVERIFY2(!r.ok, path.c_str());
      QCOMPARE(r.cause, FileErrorCause::NotPlainFile);
      QVERIFY(r.named);
      QVERIFY(FileErrorText(r.cause, path).rfind(path + " is not a plain file.", 0) == 0);
    }
    ::close(sock);
  }

  void theTraceBeingWrittenIsNoUpdateFile() {
    const std::string trace = MakeFile("trace.txt", 0644);
    const std::string alias = Path("alias.txt");
    QCOMPARE(::symlink(trace.c_str(), alias.c_str()), 0);
    std::string error;
    {
      const auto environment = PortEnvironment::Install({"sim", "", trace}, &error);
      QVERIFY2(environment != nullptr, error.c_str());
      for (const std::string& path : {trace, alias}) {
        const UpdateFileCheck r = Check(path);
        QVERIFY(!r.ok);
        QCOMPARE(r.cause, FileErrorCause::TraceFile);
      }
    }
    // Once nothing traces into it, it is a file like any other.
    QVERIFY(Check(trace).cause != FileErrorCause::TraceFile);
  }

  // A file another program is still writing is refused by both programs' checks, as on
  // Windows; one held open for reading only passes.
  void fileHeldOpenForWritingIsRefused() {
    const std::string path = MakeFile("arriving.bin", 0644);
    for (const bool writing : {true, false}) {
      const int held = ::open(path.c_str(), writing ? O_WRONLY : O_RDONLY);
      QVERIFY(held >= 0);
      for (const UpdateFileAccess access : {UpdateFileAccess::Read, UpdateFileAccess::ReadWrite}) {
        const UpdateFileCheck check = CheckUpdateFile(path, access);
        QCOMPARE(check.ok, !writing);
        if (writing) {
          QCOMPARE(check.cause, FileErrorCause::SharingViolation);
          QCOMPARE(check.why, std::string("another program has it open for writing"));
        }
      }
      ::close(held);
    }
  }

  void folderIsRefused() { QVERIFY(!Check(dir_.path().toStdString()).ok); }

  void errnoMapsOntoCauses() {
    QCOMPARE(FileErrorCauseFromErrno(ENOENT), FileErrorCause::FileNotFound);
    QCOMPARE(FileErrorCauseFromErrno(ENOTDIR), FileErrorCause::BadPath);
    QCOMPARE(FileErrorCauseFromErrno(ENAMETOOLONG), FileErrorCause::BadPath);
    QCOMPARE(FileErrorCauseFromErrno(EMFILE), FileErrorCause::TooManyOpenFiles);
    QCOMPARE(FileErrorCauseFromErrno(ENFILE), FileErrorCause::TooManyOpenFiles);
    QCOMPARE(FileErrorCauseFromErrno(EACCES), FileErrorCause::AccessDenied);
    QCOMPARE(FileErrorCauseFromErrno(EPERM), FileErrorCause::AccessDenied);
    QCOMPARE(FileErrorCauseFromErrno(EROFS), FileErrorCause::AccessDenied);
    QCOMPARE(FileErrorCauseFromErrno(EBUSY), FileErrorCause::SharingViolation);
    QCOMPARE(FileErrorCauseFromErrno(ETXTBSY), FileErrorCause::SharingViolation);
    QCOMPARE(FileErrorCauseFromErrno(EIO), FileErrorCause::Generic);
    QCOMPARE(FileErrorCauseFromErrno(EISDIR), FileErrorCause::Generic);
  }

  void textsNameThePath() {
    QCOMPARE(FileErrorText(FileErrorCause::FileNotFound, "/u/a.bin"), std::string("/u/a.bin was not found."));
    QCOMPARE(FileErrorText(FileErrorCause::BadPath, ""), std::string("an unnamed file contains an invalid path."));
    QCOMPARE(FileErrorText(FileErrorCause::AccessDenied, "/r.bin"), std::string("Access to /r.bin was denied."));
    QCOMPARE(FileErrorText(FileErrorCause::SharingViolation, "x"), std::string("A sharing violation occurred while accessing x."));
    QCOMPARE(FileErrorText(FileErrorCause::TooManyOpenFiles, "x"), std::string("x could not be opened because there are too many open files."));
    QCOMPARE(FileErrorText(FileErrorCause::Generic, "x"), std::string("An unknown error occurred while accessing x."));
    QCOMPARE(FileErrorText(FileErrorCause::None, "x"), std::string("No error occurred."));
    // A path is put in as it is, even when it looks like a placeholder.
    QCOMPARE(FileErrorText(FileErrorCause::FileNotFound, "/tmp/%2 %1.bin"), std::string("/tmp/%2 %1.bin was not found."));
  }
};

}  // namespace m4410

QTEST_APPLESS_MAIN(m4410::StartCommandTest)
#include "start_checks_test.moc"
