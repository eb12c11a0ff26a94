// The "确定" / "取消" row of the version manager's small dialogs.
#pragma once

class QDialog;
class QHBoxLayout;
class QPushButton;

namespace filever {

// Makes the two buttons of `dialog` and returns them in a right-aligned row for the
// dialog's layout: "确定" sets `resultCode` to 1 and accepts, "取消" sets it to 2 and rejects.
// `resultCode` must live as long as the dialog (it is the dialog's own member).
QHBoxLayout* OkCancelRow(QDialog* dialog, int& resultCode, QPushButton*& ok, QPushButton*& cancel);

}  // namespace filever
