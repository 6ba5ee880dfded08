// CAboutDlg: the modal About box (dialog 100): the application icon, the
// program's name and version, and an OK button. It has no handlers of its own.
// The main frame and both images dialogs show it. User-interface thread only.
#pragma once

#include <QDialog>

namespace controls {

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    // "Tesselon Version 1.2.0", with the project's version.
    static QString VersionText();

    explicit CAboutDlg(QWidget* parent = nullptr);
};

} // namespace controls
