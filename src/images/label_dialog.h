// CLabelDlg: the label dialog (dialog 147, "Label Images"): a check box that
// switches the label on or off and an edit box for its text of at most 45
// characters. EditLabel runs it for an images dialog.
//
// User-interface thread only.
#pragma once

#include <QDialog>

#include <functional>

class QCheckBox;
class QLineEdit;

namespace images {

class ImageList;

class CLabelDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kMaxLabelLength = 45;

    explicit CLabelDlg(QWidget* parent = nullptr);

    // The dialog's members, exchanged with its controls when it is shown and
    // when OK is pressed.
    bool labelOn = false;
    QString labelText;

    QCheckBox* LabelOnBox() const { return labelOnBox_; }
    QLineEdit* LabelTextEdit() const { return labelTextEdit_; }

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();

    QCheckBox* labelOnBox_ = nullptr;
    QLineEdit* labelTextEdit_ = nullptr;
};

// Runs a dialog modally and returns its result: QDialog::exec() in the
// program; tests answer the dialog instead.
using RunModal = std::function<int(QDialog&)>;
int ExecModal(QDialog& dialog);

// The Options, Label command: the label dialog with the list's label; on OK
// the list takes the values entered, and with the label on the new band is
// rendered and stamped at once. Returns whether OK was pressed (the caller
// repaints its views).
bool EditLabel(ImageList& list, QWidget* parent, const RunModal& run = ExecModal);

} // namespace images
