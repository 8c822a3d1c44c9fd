// The main dialog's four file rows without a window: which check boxes and edits change when
// a box is clicked. The complete file excludes the three part files and each part file the
// complete file; the part files do not exclude one another. An edit is editable exactly when
// its box is checked.
#pragma once

namespace m4410 {

enum class FileRow { Complete, Program, Menu, Table };

// What the rules need of a dialog: its check boxes and edits, by row.
class FileRowControls {
 public:
  virtual ~FileRowControls() = default;
  virtual bool IsChecked(FileRow row) const = 0;
  virtual void SetChecked(FileRow row, bool checked) = 0;  // as the program sets it: no click
  virtual void SetReadOnly(FileRow row, bool read_only) = 0;
};

// As the dialog opens: the complete file checked and editable, the part files unchecked and
// read-only.
void SetInitialRowStates(FileRowControls& controls);

// The click handler of row's check box, which has already toggled.
void OnRowCheck(FileRowControls& controls, FileRow row);

}  // namespace m4410
