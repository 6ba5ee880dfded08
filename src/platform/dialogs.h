// Message boxes, the open-file and save-file dialogs, and the string table's
// "%1" formatting.
//
// Threads: every function here runs on the user-interface thread, except
// LoadString and FormatString, which any thread may call once the string
// table is installed (workers format progress titles).
//
// Tests and headless runs construct a ScriptedDialogs: while it exists no
// window is opened; each dialog takes the next scripted answer and is
// recorded so that the test can read back what was shown.
#pragma once

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QFileDialog;
class QWidget;

namespace platform {

enum class MessageIcon { kNone, kError, kWarning, kInformation, kQuestion };
// kReplaceAllKeepBothCancel asks what to do with files that exist already:
// "Replace all" answers kOk, "Keep both" kKeepBoth.
enum class MessageButtons { kOk, kOkCancel, kReplaceAllKeepBothCancel };
enum class DialogAnswer { kOk = 1, kCancel = 2, kKeepBoth = 3 };

// A modal message box owned by the active window (none when no window is
// active). Returns the button pressed; closing the box answers kCancel when
// it has a Cancel button, kOk with OK alone.
DialogAnswer ShowMessage(const QString& text, const QString& caption, MessageIcon icon,
                         MessageButtons buttons);

struct FileDialogOptions {
    // Filter list in the form "description|patterns|description|patterns||",
    // patterns separated by ';' ("*.mpeg;*.mpg").
    QString filter;
    // Added to a typed name that has no extension ("mpg"; empty: none). A
    // save dialog with several filters adds the chosen filter's instead.
    QString defaultExtension;
    QString initialName;
    QString directory;
    QWidget* owner = nullptr;
    // The filter shown first, by its place in the list.
    int selectedFilter = 0;
};

// Converts "desc|patterns|...||" into Qt name filters, one per pair, each
// "desc (pattern pattern ...)". A description without patterns is dropped;
// "*.*" becomes "*".
QStringList ConvertFilter(const QString& filter);

enum class FileDialogKind { kOpen, kSave };

// The file dialog that AskOpenFile and AskSaveFile run, not yet shown. It
// shows each filter's description once, as written: the descriptions carry
// their patterns already.
std::unique_ptr<QFileDialog> MakeFileDialog(FileDialogKind kind, const FileDialogOptions& options);

// The chosen existing file's full path, or nothing when cancelled.
std::optional<QString> AskOpenFile(const FileDialogOptions& options);

// The chosen full path, or nothing when cancelled. No overwrite prompt: the
// caller asks itself when the file exists.
std::optional<QString> AskSaveFile(const FileDialogOptions& options);

// The string table: the program installs its texts once at start-up. Strings
// not in the table are empty. Installing is not synchronised with lookups:
// install before any worker starts.
using StringLookup = std::function<QString(int id)>;
void InstallStringTable(StringLookup lookup);
QString LoadString(int id);

// String `id` with every "%1" replaced by `argument`.
QString FormatString(int id, const QString& argument);

struct ShownMessage {
    QString text;
    QString caption;
    MessageIcon icon;
    MessageButtons buttons;
    // windowTitle() of the owner, empty when there was none.
    QString ownerTitle;
};

struct ShownFileDialog {
    FileDialogKind kind;
    FileDialogOptions options;
};

// Scripted answers instead of windows, for tests and headless runs. Only one
// may exist at a time. Unscripted message boxes answer kOk; unscripted file
// dialogs are cancelled. User-interface thread.
class ScriptedDialogs {
public:
    ScriptedDialogs();
    ~ScriptedDialogs();
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    void AnswerMessage(DialogAnswer answer);
    // Prints every message box taken, its caption, text and answer, on
    // standard error, so that a scripted run hides no error.
    void EchoMessagesToStandardError(bool echo);
    // A path to choose, or nothing to cancel.
    void AnswerFile(std::optional<QString> path);

    std::vector<ShownMessage> Messages() const;
    std::vector<ShownFileDialog> FileDialogs() const;

    // Used by the dialog functions.
    DialogAnswer TakeMessage(const ShownMessage& shown);
    std::optional<QString> TakeFile(const ShownFileDialog& shown);

    static ScriptedDialogs* Current();

    // For headless runs of the program: a script made from the variable
    // TESSELON_DIALOG_ANSWERS, or none when it is not set. The variable lists
    // answers separated by commas: "ok", "cancel" and "keep" (Keep both)
    // answer message boxes, "file:PATH" chooses PATH in a file dialog and
    // "nofile" cancels one.
    // Unknown words are ignored. Its message boxes are echoed.
    static std::unique_ptr<ScriptedDialogs> FromEnvironment();

private:
    mutable std::mutex mutex_;
    std::deque<DialogAnswer> messageAnswers_;
    struct FileAnswer {
        bool chosen;
        QString path;
    };
    std::deque<FileAnswer> fileAnswers_;
    std::vector<ShownMessage> messages_;
    bool echo_ = false;
    std::vector<ShownFileDialog> fileDialogs_;
};

} // namespace platform
