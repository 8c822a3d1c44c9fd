// The controls of the main dialog (template 102) by ID, as every window finds them.
#pragma once

namespace m4410 {

inline constexpr int kMainDialogTemplate = 102;

enum MainDialogControl : int {
  kPicture = 1000,
  kStart = 1002,
  kQuit = 1017,
  kCompleteEdit = 1018,
  kBrowseComplete = 1019,
  kBrowseTable = 1021,
  kBrowseMenu = 1022,
  kBrowseProgram = 1023,
  kHelp = 1045,
  kTableEdit = 1048,
  kProgramEdit = 1049,
  kMenuEdit = 1050,
  kProgramCheck = 1051,
  kTableCheck = 1052,
  kMenuCheck = 1053,
  kCompleteCheck = 1054,
  // Ours, hidden in the template: where the window shows a run whose status window was
  // closed before the run's end, and the button that says its result has been read.
  kRunNote = 1070,
  kRunNoteOk = 1071,
};

}  // namespace m4410
