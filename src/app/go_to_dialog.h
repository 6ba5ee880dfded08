// Control, Go to: asks for a frame number or a time. OK stays off until the
// text is one.
//
// User-interface thread only.
#pragma once

#include "go_to_target.h"
#include "images/label_dialog.h"

#include <QDialog>

class QDialogButtonBox;
class QLineEdit;

class CGoToDlg : public QDialog {
    Q_OBJECT

public:
    explicit CGoToDlg(const QString& text, QWidget* parent = nullptr);

    QLineEdit* TargetEdit() const { return targetEdit_; }
    // What the text says now; none while it is neither a frame nor a time.
    std::optional<GoToTarget> Target() const;

private:
    QLineEdit* targetEdit_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
};

// Runs the dialog, starting from `text` (the last text entered); on OK `text`
// takes what was entered. None when cancelled.
std::optional<GoToTarget> AskGoToTarget(QString& text, QWidget* parent,
                                        const images::RunModal& run = images::ExecModal);
