#include "images/images_dialog.h"

#include "images/contact_sheet.h"
#include "images/progress_dialog.h"
#include "images/save_paths.h"
#include "res/resource_ids.h"

#include <QAction>
#include <QFileInfo>
#include <QPushButton>

namespace images {

CImagesDlg::CImagesDlg(int count, int frameWidth, int frameHeight, const QStringList& names,
                       picture::Shape shape, QWidget* parent)
    : ImagesWindow(count, frameWidth, frameHeight, names, shape, res::IDD_IMAGES,
                   {res::IDC_TAB_WINDOW}, parent) {
    connect(AddFileCommand(res::ID_IMAGES_CONTACT_SHEET, QStringLiteral("Save &contact sheet...")),
            &QAction::triggered, this, [this] { OnSaveContactSheet(); });
}

void CImagesDlg::SetCommandsEnabled(bool enabled) {
    for (const int id : {res::ID_IMAGES_SAVE, res::ID_IMAGES_SAVE_AS, res::ID_IMAGES_SAVE_ALL,
                         res::ID_IMAGES_CONTACT_SHEET, res::ID_IMAGES_EXIT, res::ID_IMAGES_LABEL, res::ID_IMAGES_FORMAT,
                         res::ID_IMAGES_COPY})
        Command(id)->setEnabled(enabled);
}

QRect CImagesDlg::TabWindowRect(int, QSize client) const {
    return QRect(QPoint(0, 0), client);
}

void CImagesDlg::OnSave() {
    BeginSave();
    const int current = List().Current(0);
    if (!SaveToPath(ImageFilePath(SaveDirectory(), List().Name(current), SaveFormat())))
        SaveAsFromDialog();
}

void CImagesDlg::OnSaveAs() {
    BeginSave();
    SaveAsFromDialog();
}

void CImagesDlg::SaveAsFromDialog() {
    const QString initialName = List().Name(List().Current(0)).toUpper();
    while (true) {
        const std::optional<std::filesystem::path> chosen = AskSavePath(initialName);
        if (!chosen) {
            AbandonSave();
            return;
        }
        if (SaveToPath(*chosen))
            return;
    }
}

bool CImagesDlg::SaveToPath(const std::filesystem::path& target) {
    if (!TestSaveDirectory())
        return false;
    if (FileExists(target) && !ConfirmReplace(target))
        return true;
    StartSave({JobFor(List().Current(0), target)}, Worker::kSaveOne);
    return true;
}

void CImagesDlg::OnSaveAll() {
    BeginSave();
    while (!TestSaveDirectory()) {
        // Only the chosen file's directory is used.
        if (!AskSavePath(List().Name(List().Current(0)).toUpper())) {
            AbandonSave();
            return;
        }
    }
    std::vector<std::filesystem::path> targets;
    for (int i = 0; i < List().Count(); ++i)
        targets.push_back(ImageFilePath(SaveDirectory(), List().Name(i), SaveFormat()));
    if (!ChooseSaveAllTargets(targets))
        return;
    std::vector<SaveJob> jobs;
    for (int i = 0; i < List().Count(); ++i)
        jobs.push_back(JobFor(i, targets[static_cast<std::size_t>(i)]));
    StartSave(std::move(jobs), Worker::kSaveAll);
    SavingProgress()->CancelButton()->setEnabled(true);
}

void CImagesDlg::OnSaveContactSheet() {
    BeginSave();
    const QString stem = QFileInfo(VideoName()).completeBaseName();
    const QString initialName = (stem.isEmpty() ? QStringLiteral("contact") : stem) +
                                QStringLiteral("-sheet");
    const std::optional<std::filesystem::path> chosen = ChooseOneSavePath(initialName);
    if (!chosen)
        return;
    // A sheet that cannot be had fails the save as any empty job does.
    sheet_ = BuildContactSheet(List(), VideoName());
    StartSave({SaveJob::Of(sheet_, sheet_.Rows(), *chosen, FormatForPath(*chosen))},
              Worker::kSaveOne);
}

} // namespace images
