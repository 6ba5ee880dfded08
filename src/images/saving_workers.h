// The saving workers: SaveOneWorker writes one image (Save, Save as, the
// four-view composite), SaveAllWorker every image of the one-view dialog,
// stopping between images when Cancel is pressed. Each image goes through
// the save path (BMP building, the reader, the JPEG writer), and the
// progress bar steps at each stage.
//
// A worker touches no widget: it sends the progress dialog its titles, its
// bar PBM_STEPIT and at the end WM_PROGRESS_END, and posts WM_IMAGE_SAVING,
// WM_SAVING_DONE and WM_CLOSE to the images dialog.
#pragma once

#include "images/image_list.h"
#include "images/save_picture.h"
#include "images/progress_dialog.h"
#include "images/save_job.h"
#include "platform/messages.h"

#include <atomic>
#include <memory>
#include <vector>

namespace images {

// One save, shared by the user-interface thread, which makes it, and the
// worker, which runs it.
struct SaveRun {
    std::vector<SaveJob> jobs;
    std::shared_ptr<ProgressFlags> flags;
    platform::ReceiverHandle imagesDialog;
    platform::ReceiverHandle progressDialog;
    platform::ReceiverHandle progressBar;
    // Held while the worker reads the pictures; the worker lets go
    // before it reports its end.
    ImageList::ReadLease lease;

    // Set by the worker once it no longer reads anything, before it ends
    // the progress dialog; the images dialog then counts the save as over.
    std::atomic<bool> ended{false};
    // The images not written, with their reasons: written by the worker
    // before `ended`, read by the user-interface thread after it.
    std::vector<SaveResult> failures;
    int written = 0;
};

// Thread functions: each runs on its own detached thread (platform::StartWorker).
void SaveOneWorker(std::shared_ptr<SaveRun> run);
void SaveAllWorker(std::shared_ptr<SaveRun> run);

// The message that lists the images a save could not write, or empty.
QString FailureReport(const std::vector<SaveResult>& failures);

} // namespace images
