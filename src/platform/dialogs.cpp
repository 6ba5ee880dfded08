#include "platform/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringList>
#include <QWidget>

#include <atomic>
#include <cstdio>

namespace platform {
namespace {

std::atomic<ScriptedDialogs*> currentScript{nullptr};

StringLookup& Strings() {
    static StringLookup lookup;
    return lookup;
}

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::kError:
        return QMessageBox::Critical;
    case MessageIcon::kWarning:
        return QMessageBox::Warning;
    case MessageIcon::kInformation:
        return QMessageBox::Information;
    case MessageIcon::kQuestion:
        return QMessageBox::Question;
    case MessageIcon::kNone:
        break;
    }
    return QMessageBox::NoIcon;
}

std::optional<QString> RunFileDialog(FileDialogKind kind, const FileDialogOptions& options) {
    if (ScriptedDialogs* script = ScriptedDialogs::Current())
        return script->TakeFile(ShownFileDialog{kind, options});
    const std::unique_ptr<QFileDialog> dialog = MakeFileDialog(kind, options);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    return dialog->selectedFiles().constFirst();
}

// Cancel is the default and the Escape answer: neither key replaces a file.
DialogAnswer AskReplaceAllKeepBoth(const QString& text, const QString& caption, MessageIcon icon,
                                   QWidget* owner) {
    QMessageBox box(ToQtIcon(icon), caption, text, QMessageBox::NoButton, owner);
    QPushButton* replace =
        box.addButton(QStringLiteral("&Replace all"), QMessageBox::DestructiveRole);
    QPushButton* keep = box.addButton(QStringLiteral("&Keep both"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == replace)
        return DialogAnswer::kOk;
    return box.clickedButton() == keep ? DialogAnswer::kKeepBoth : DialogAnswer::kCancel;
}

const char* AnswerWords(DialogAnswer answer) {
    switch (answer) {
    case DialogAnswer::kOk:
        return "answered ok";
    case DialogAnswer::kKeepBoth:
        return "answered keep both";
    case DialogAnswer::kCancel:
        break;
    }
    return "answered cancel";
}

} // namespace

DialogAnswer ShowMessage(const QString& text, const QString& caption, MessageIcon icon,
                         MessageButtons buttons) {
    QWidget* owner = QApplication::activeWindow();
    if (ScriptedDialogs* script = ScriptedDialogs::Current())
        return script->TakeMessage(ShownMessage{
            text, caption, icon, buttons, owner != nullptr ? owner->windowTitle() : QString()});
    if (buttons == MessageButtons::kReplaceAllKeepBothCancel)
        return AskReplaceAllKeepBoth(text, caption, icon, owner);
    const bool withCancel = buttons == MessageButtons::kOkCancel;
    QMessageBox box(ToQtIcon(icon), caption, text,
                    withCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, owner);
    box.setEscapeButton(withCancel ? QMessageBox::Cancel : QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok ? DialogAnswer::kOk : DialogAnswer::kCancel;
}

QStringList ConvertFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        // "*.*" means every file; on this platform many names have no dot.
        patterns.replaceInStrings(QRegularExpression(QStringLiteral("^\\*\\.\\*$")),
                                  QStringLiteral("*"));
        if (description.isEmpty() || patterns.isEmpty())
            continue;
        filters << QStringLiteral("%1 (%2)").arg(description, patterns.join(QLatin1Char(' ')));
    }
    return filters;
}

std::unique_ptr<QFileDialog> MakeFileDialog(FileDialogKind kind, const FileDialogOptions& options) {
    auto dialog = std::make_unique<QFileDialog>(options.owner, QString(), options.directory);
    // Otherwise the dialog appends each filter's patterns to a description
    // that states them already.
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = ConvertFilter(options.filter);
    dialog->setNameFilters(filters);
    dialog->setDefaultSuffix(options.defaultExtension);
    if (options.selectedFilter > 0 && options.selectedFilter < filters.size())
        dialog->selectNameFilter(filters[options.selectedFilter]);
    if (kind == FileDialogKind::kSave && filters.size() > 1) {
        // A name typed without an extension takes the chosen file type's.
        QFileDialog* shown = dialog.get();
        const auto follow = [shown](const QString& filter) {
            const QRegularExpressionMatch first =
                QRegularExpression(QStringLiteral("\\*\\.(\\w+)")).match(filter);
            if (first.hasMatch())
                shown->setDefaultSuffix(first.captured(1));
        };
        follow(dialog->selectedNameFilter());
        QObject::connect(shown, &QFileDialog::filterSelected, shown, follow);
    }
    if (kind == FileDialogKind::kOpen) {
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setOption(QFileDialog::DontConfirmOverwrite);
    }
    if (!options.initialName.isEmpty())
        dialog->selectFile(options.initialName);
    return dialog;
}

std::optional<QString> AskOpenFile(const FileDialogOptions& options) {
    return RunFileDialog(FileDialogKind::kOpen, options);
}

std::optional<QString> AskSaveFile(const FileDialogOptions& options) {
    return RunFileDialog(FileDialogKind::kSave, options);
}

void InstallStringTable(StringLookup lookup) {
    Strings() = std::move(lookup);
}

QString LoadString(int id) {
    return Strings() ? Strings()(id) : QString();
}

QString FormatString(int id, const QString& argument) {
    QString text = LoadString(id);
    text.replace(QLatin1String("%1"), argument);
    return text;
}

ScriptedDialogs::ScriptedDialogs() {
    currentScript = this;
}

ScriptedDialogs::~ScriptedDialogs() {
    ScriptedDialogs* self = this;
    currentScript.compare_exchange_strong(self, nullptr);
}

ScriptedDialogs* ScriptedDialogs::Current() {
    return currentScript;
}

std::unique_ptr<ScriptedDialogs> ScriptedDialogs::FromEnvironment() {
    if (!qEnvironmentVariableIsSet("TESSELON_DIALOG_ANSWERS"))
        return nullptr;
    auto script = std::make_unique<ScriptedDialogs>();
    script->EchoMessagesToStandardError(true);
    const QString answers = qEnvironmentVariable("TESSELON_DIALOG_ANSWERS");
    for (const QString& answer : answers.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (answer == QLatin1String("ok"))
            script->AnswerMessage(DialogAnswer::kOk);
        else if (answer == QLatin1String("cancel"))
            script->AnswerMessage(DialogAnswer::kCancel);
        else if (answer == QLatin1String("keep"))
            script->AnswerMessage(DialogAnswer::kKeepBoth);
        else if (answer == QLatin1String("nofile"))
            script->AnswerFile(std::nullopt);
        else if (answer.startsWith(QLatin1String("file:")))
            script->AnswerFile(answer.mid(5));
    }
    return script;
}

void ScriptedDialogs::AnswerMessage(DialogAnswer answer) {
    std::lock_guard lock(mutex_);
    messageAnswers_.push_back(answer);
}

void ScriptedDialogs::AnswerFile(std::optional<QString> path) {
    std::lock_guard lock(mutex_);
    fileAnswers_.push_back(FileAnswer{path.has_value(), path.value_or(QString())});
}

void ScriptedDialogs::EchoMessagesToStandardError(bool echo) {
    std::lock_guard lock(mutex_);
    echo_ = echo;
}

std::vector<ShownMessage> ScriptedDialogs::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<ShownFileDialog> ScriptedDialogs::FileDialogs() const {
    std::lock_guard lock(mutex_);
    return fileDialogs_;
}

DialogAnswer ScriptedDialogs::TakeMessage(const ShownMessage& shown) {
    std::lock_guard lock(mutex_);
    messages_.push_back(shown);
    const bool scripted = !messageAnswers_.empty();
    const DialogAnswer answer = scripted ? messageAnswers_.front() : DialogAnswer::kOk;
    if (scripted)
        messageAnswers_.pop_front();
    if (echo_)
        std::fprintf(stderr, "tesselon: message box \"%s\": %s [%s]\n",
                     shown.caption.toLocal8Bit().constData(), shown.text.toLocal8Bit().constData(),
                     scripted ? AnswerWords(answer) : "no answer left, answered ok");
    return answer;
}

std::optional<QString> ScriptedDialogs::TakeFile(const ShownFileDialog& shown) {
    std::lock_guard lock(mutex_);
    fileDialogs_.push_back(shown);
    if (fileAnswers_.empty())
        return std::nullopt;
    const FileAnswer answer = fileAnswers_.front();
    fileAnswers_.pop_front();
    if (!answer.chosen)
        return std::nullopt;
    return answer.path;
}

} // namespace platform
