// A Qt platform plugin as any local user could plant one: loading it runs its code inside the
// program. It writes the capability lines of the process it finds itself in to the file named
// by M4410_PLANTED_REPORT and ends the process, so the test sees what planted code could do.
#include <QObject>
#include <QtPlugin>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

__attribute__((constructor)) void ReportWhatThePlantedCodeHolds() {
  const char* report = std::getenv("M4410_PLANTED_REPORT");
  if (report == nullptr) return;
  std::FILE* status = std::fopen("/proc/self/status", "r");
  std::FILE* out = std::fopen(report, "w");
  if (status != nullptr && out != nullptr) {
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
      if (std::strncmp(line, "Cap", 3) == 0 || std::strncmp(line, "NoNewPrivs", 10) == 0) {
        std::fputs(line, out);
      }
    }
  }
  if (out != nullptr) std::fclose(out);
  if (status != nullptr) std::fclose(status);
  _exit(0);
}

}  // namespace

class PlantedPlatform : public QObject {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QPA.QPlatformIntegrationFactoryInterface.5.3" FILE
                        "planted_platform.json")
};

#include "planted_platform.moc"
