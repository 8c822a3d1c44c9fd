#include "ui/file_rows.h"

#include <initializer_list>

namespace m4410 {

void SetInitialRowStates(FileRowControls& controls) {
  controls.SetChecked(FileRow::Complete, true);
  controls.SetChecked(FileRow::Table, false);
  controls.SetChecked(FileRow::Menu, false);
  controls.SetChecked(FileRow::Program, false);

  controls.SetReadOnly(FileRow::Complete, false);
  controls.SetReadOnly(FileRow::Program, true);
  controls.SetReadOnly(FileRow::Menu, true);
  controls.SetReadOnly(FileRow::Table, true);
}

void OnRowCheck(FileRowControls& controls, FileRow row) {
  if (!controls.IsChecked(row)) {
    controls.SetReadOnly(row, true);
    return;
  }
  controls.SetReadOnly(row, false);
  if (row == FileRow::Complete) {
    for (const FileRow part : {FileRow::Menu, FileRow::Table, FileRow::Program}) {
      controls.SetChecked(part, false);
      controls.SetReadOnly(part, true);
    }
  } else {
    controls.SetChecked(FileRow::Complete, false);
    controls.SetReadOnly(FileRow::Complete, true);
  }
}

}  // namespace m4410
