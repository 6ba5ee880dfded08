#include "images/saving_workers.h"

#include "images/save_paths.h"
#include "images/save_progress.h"
#include "platform/dialogs.h"
#include "res/resource_ids.h"

namespace images {
namespace {

// Steps the progress dialog's bar from the worker's thread.
class BarStepper final : public SaveProgressTarget {
public:
    explicit BarStepper(platform::ReceiverHandle bar)
        : bar_(bar) {}
    void Step() override { platform::SendMessage(bar_, platform::PBM_STEPIT); }

private:
    platform::ReceiverHandle bar_;
};

void Save(SaveRun& run, const SaveJob& job) {
    SendStepTitle(run.progressDialog,
                  platform::FormatString(res::IDS_SAVING_IMAGE, FileNameOf(job.path)));
    SaveResult result = SaveImage(job);
    if (result.Written())
        ++run.written;
    else
        run.failures.push_back(std::move(result));
}

// The end of every save, in an order that loses nothing: the buffers are let
// go, the save is over, its progress dialog ends (the user-interface thread
// deletes it, if it is still there), then the menus come back, and a close
// that waited for the save goes ahead.
void EndSave(SaveRun& run) {
    SetSaveProgressTarget(nullptr);
    run.lease = {};
    const bool closing = run.flags->closingRequested;
    run.ended.store(true, std::memory_order_release);
    platform::SendMessage(run.progressDialog, platform::WM_PROGRESS_END);
    platform::PostMessage(run.imagesDialog, platform::WM_SAVING_DONE, 1);
    if (closing)
        platform::PostMessage(run.imagesDialog, platform::WM_CLOSE);
}

} // namespace

void SaveOneWorker(std::shared_ptr<SaveRun> run) {
    BarStepper stepper(run->progressBar);
    SetSaveProgressTarget(&stepper);
    for (const SaveJob& job : run->jobs)
        Save(*run, job);
    EndSave(*run);
}

void SaveAllWorker(std::shared_ptr<SaveRun> run) {
    BarStepper stepper(run->progressBar);
    SetSaveProgressTarget(&stepper);
    for (std::size_t i = 0; i < run->jobs.size(); ++i) {
        if (run->flags->cancelRequested)
            break;
        platform::PostMessage(run->imagesDialog, platform::WM_IMAGE_SAVING, i);
        Save(*run, run->jobs[i]);
    }
    EndSave(*run);
}

QString FailureReport(const std::vector<SaveResult>& failures) {
    if (failures.empty())
        return QString();
    QString report = failures.size() == 1
                         ? QStringLiteral("This file was not written:")
                         : QStringLiteral("These %1 files were not written:").arg(failures.size());
    constexpr std::size_t kListed = 10;
    for (std::size_t i = 0; i < failures.size() && i < kListed; ++i)
        report += QStringLiteral("\n%1: %2")
                      .arg(ToText(failures[i].path), QString::fromStdString(failures[i].reason));
    if (failures.size() > kListed)
        report += QStringLiteral("\n... and %1 more").arg(failures.size() - kListed);
    return report;
}

} // namespace images
