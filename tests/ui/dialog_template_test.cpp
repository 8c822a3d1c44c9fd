// The two dialog templates as built into the program.
#include "ui/dialog_template.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace m4410 {
namespace {

using ::testing::ElementsAre;

TEST(DialogTemplateTest, MainTemplateListsEveryControlInTabOrder) {
  const DialogTemplate t = LoadDialogTemplate(102);
  EXPECT_EQ(t.caption, "Marlovine 4410 software transmission");
  EXPECT_EQ(t.width, 323);
  EXPECT_EQ(t.height, 212);
  EXPECT_EQ(t.font_face, "MS Sans Serif");
  EXPECT_EQ(t.font_points, 8);
  std::vector<int> ids;
  for (const ControlTemplate& c : t.controls) ids.push_back(c.id);
  // The template's seventeen, then the run note and its OK, ours and hidden.
  EXPECT_THAT(ids, ElementsAre(1000, 1002, 1017, 1018, 1019, 1020, 1045, 1048, 1049, 1050, 1021,
                               1022, 1023, 1051, 1052, 1053, 1054, 1070, 1071));
  EXPECT_FALSE(t.Control(1070)->visible || t.Control(1071)->visible);
  EXPECT_EQ(t.Control(1002)->rect, (DialogRect{81, 169, 58, 20}));
  EXPECT_EQ(t.Control(1020)->text, "Orvik Marlovine 4410 software transmission");
  EXPECT_FALSE(t.Control(1049)->visible);
  EXPECT_TRUE(t.Control(1002)->HasStyle("BS_DEFPUSHBUTTON") || t.Control(1002)->kind == "defpushbutton");
}

TEST(DialogTemplateTest, StatusTemplateCarriesTheStageCaptionsAsTheyStand) {
  const DialogTemplate t = LoadDialogTemplate(103);
  EXPECT_EQ(t.caption, "File Transfer Status");
  EXPECT_EQ(t.width, 258);
  EXPECT_EQ(t.height, 252);
  EXPECT_EQ(t.controls.size(), 18u);
  std::vector<std::string> captions;
  for (int id = 1028; id <= 1034; ++id) captions.push_back(t.Control(id)->text);
  EXPECT_THAT(captions, ElementsAre("File validated:", "Driver initialized:",
                                    "Datalink established:", "Box informaition received:",
                                    "New software transmitted:", "Box updated:",
                                    "Software updating completed:"));
  EXPECT_TRUE(t.Control(1003)->HasStyle("PBS_VERTICAL"));
}

TEST(DialogTemplateTest, GarbledTemplateIsEmptyNotHalfBuilt) {
  for (const char* text : {"{ not json", "[]", R"({"size":[1,2],"controls":[{"kind":"static"}]})",
                           R"({"size":[1],"controls":[]})",
                           R"({"size":[1,2],"controls":[{"kind":"static","rect":[1,2,"3",4]}]})"}) {
    EXPECT_TRUE(ParseDialogTemplate(text).IsEmpty()) << text;
  }
  EXPECT_TRUE(LoadDialogTemplate(999).IsEmpty());
}

}  // namespace
}  // namespace m4410
