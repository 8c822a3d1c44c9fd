// Both generated help page sets: every page a run's cause points to is there with its section,
// every link between pages lands, and neither system's set tells the other system's steps.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "run/update_file_check.h"
#include "ui/run_notes.h"

namespace m4410 {
namespace {

struct PageSet {
  const char* system;
  std::filesystem::path dir;
  std::vector<const char*> foreign;  // the other system's words, never in this set
};

// Linux-only steps; Windows-only places and tools.
const std::vector<const char*> kLinuxWords = {
    "setcap", "\\blp\\b", "rmmod", "Secure Boot", "lockdown", "~/\\.config", "chmod",
    "\\bterminal\\b", "sudo", "CAP_SYS_RAWIO"};
const std::vector<const char*> kWindowsWords = {
    "Device Manager", "WinDriver", "Command Prompt", "LOCALAPPDATA", "driverquery"};

std::vector<PageSet> Sets() {
  return {{"linux", M4410_HELP_LINUX_DIR, kWindowsWords},
          {"windows", M4410_HELP_WINDOWS_DIR, kLinuxWords}};
}

std::string Read(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string VisibleText(const std::string& html) {
  return std::regex_replace(std::regex_replace(html, std::regex("<[^>]*>"), " "),
                            std::regex("\\s+"), " ");
}

// The text a reader sent to page ("file" or "file#anchor") finds there: from the anchor's
// element to the next heading, or the whole page's main part. Empty when either is missing.
std::string Section(const std::filesystem::path& dir, const std::string& page) {
  const auto hash = page.find('#');
  const std::string html = Read(dir / page.substr(0, hash));
  if (hash == std::string::npos) {
    const auto main = html.find("<main>");
    return main == std::string::npos ? "" : VisibleText(html.substr(main));
  }
  const auto at = html.find("id=\"" + page.substr(hash + 1) + "\"");
  if (at == std::string::npos) return "";
  const auto heading_end = html.find("</h", at);
  const auto next = html.find("<h", heading_end == std::string::npos ? at : heading_end);
  const auto end = next == std::string::npos ? html.size() : next;
  const auto body = heading_end == std::string::npos ? at : html.find('>', heading_end);
  return body < end ? VisibleText(html.substr(body + 1, end - body - 1)) : "";
}

TEST(HelpPagesTest, EveryCauseNamesAPageWithItsSectionInBothSets) {
  for (const PageSet& set : Sets()) {
    for (int stage = 1; stage <= 7; ++stage) {
      const HelpPage help = CauseHelpPage(stage);
      SCOPED_TRACE(std::string(set.system) + " stage " + std::to_string(stage) + " " +
                   help.page);
      if (help.page.empty()) {
        // Only a stage that never shows a cause may go without a page.
        EXPECT_EQ(CauseLine(stage, "a cause"), "");
        continue;
      }
      EXPECT_FALSE(help.title.empty());
      // A section worth opening: more than its heading's words.
      EXPECT_GT(Section(set.dir, help.page).size(), 80u);
    }
  }
}

TEST(HelpPagesTest, EveryLinkBetweenPagesLands) {
  const std::regex link("href=\"([^\":]*)\"");
  for (const PageSet& set : Sets()) {
    for (const auto& entry : std::filesystem::directory_iterator(set.dir)) {
      if (entry.path().extension() != ".html") continue;
      const std::string html = Read(entry.path());
      for (std::sregex_iterator it(html.begin(), html.end(), link), end; it != end; ++it) {
        std::string target = (*it)[1];
        if (target.empty() || target.find(".css") != std::string::npos) continue;
        if (target[0] == '#') target = entry.path().filename().string() + target;
        SCOPED_TRACE(std::string(set.system) + " " + entry.path().filename().string() +
                     " -> " + target);
        EXPECT_FALSE(Section(set.dir, target).empty());
      }
    }
  }
}

// The refusal of a file still being written, with the remedy the programs give, stands in the
// Windows set's table of what Start may refuse.
TEST(HelpPagesTest, TheWindowsSetTellsTheSharingViolationsRemedy) {
  const std::string running =
      VisibleText(Read(std::filesystem::path(M4410_HELP_WINDOWS_DIR) / "running.html"));
  const std::string remedy = FileRefusalRemedy(FileErrorCause::SharingViolation);
  ASSERT_FALSE(remedy.empty());
  const auto at = running.find("A sharing violation occurred while accessing");
  ASSERT_NE(at, std::string::npos);
  EXPECT_NE(running.find(remedy, at), std::string::npos) << remedy;
}

TEST(HelpPagesTest, NeitherSetCarriesTheOtherSystemsSteps) {
  std::vector<std::set<std::string>> names;
  for (const PageSet& set : Sets()) {
    names.emplace_back();
    for (const auto& entry : std::filesystem::directory_iterator(set.dir)) {
      names.back().insert(entry.path().filename().string());
      if (entry.path().extension() != ".html") continue;
      const std::string html = Read(entry.path());
      EXPECT_EQ(html.find("<!--"), std::string::npos) << entry.path() << " keeps a mark";
      for (const char* word : set.foreign) {
        EXPECT_FALSE(std::regex_search(html, std::regex(word, std::regex::icase)))
            << set.system << " " << entry.path().filename() << " holds " << word;
      }
    }
  }
  EXPECT_EQ(names[0], names[1]) << "both systems have the same pages";
}

}  // namespace
}  // namespace m4410
