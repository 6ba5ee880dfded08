// The frame capture batch: 100 consecutive frames copied by a worker thread
// while the idle loop stands aside, handed to an images window, then freed by
// a second worker. Both workers report through a modeless progress dialog
// and the main frame's messages 1001 (all captured), 1002 (freed) and 1003
// (cancelled, sent: the worker waits until the stream is paused).
//
// CaptureBatch is the user-interface side, owned by the main frame, which
// passes it the messages 1001 to 1003 and which it sees only as a
// CaptureHost; the workers are the thread functions below.
#pragma once

#include "app/capture_host.h"
#include "images/progress_dialog.h"
#include "picture/picture.h"
#include "platform/messages.h"

#include <QPointer>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>


namespace images {
class ImagesWindow;
}
namespace playback {
class Canvas;
}

// The frames of one batch, owned by the list from capture until
// FreeImagesWorker gives them back; an images window only borrows them for
// its modal run.
struct CaptureList {
    static constexpr int kCapacity = 100;

    int count = kCapacity;
    // Every picture's shape: the captured size and its band rows.
    picture::Shape shape;
    std::array<picture::Picture, kCapacity> pictures;
    std::array<std::int32_t, kCapacity> timesMs{};
    // Each frame's name: its time in milliseconds, unique within the batch.
    std::array<std::string, kCapacity> names;
};

// The progress dialog of the running batch phase (capturing or freeing), or
// null. User-interface thread only: the workers reach the dialog through the
// handles of their CaptureRun, and it is deleted when they end it.
extern QPointer<images::CProgressDlg> gCaptureProgressDlg;

// What a batch phase's worker is given: the list and the ways to its
// progress dialog and to the main frame.
struct CaptureRun {
    CaptureList* list = nullptr;
    std::shared_ptr<images::ProgressFlags> flags;
    platform::ReceiverHandle progressDialog;
    platform::ReceiverHandle progressBar;
    platform::ReceiverHandle mainFrame;
    // The canvas the frames are drawn into at a size other than 360 × 240;
    // null: the presenter's.
    std::shared_ptr<playback::Canvas> canvas;
    // The stream was paused when the batch began and has just been resumed:
    // the paused frame is fetched again before the first copy, so the batch
    // starts with the frame on screen.
    bool refetchPausedFrame = false;
    // The place of the frame that could not be copied for want of memory,
    // where the batch stopped; -1 when none. Set by the worker before it
    // frees the images.
    int outOfMemoryAt = -1;
};

// Thread functions (platform::StartWorker); gSource and gPresenter are
// theirs while the source's rendering is switched off.
void CaptureWorker(std::shared_ptr<CaptureRun> run);
void FreeImagesWorker(std::shared_ptr<CaptureRun> run);

// The batch as the main frame runs it. User-interface thread only.
class CaptureBatch {
public:
    // How an images window runs: QDialog::exec() in the program; tests look
    // at the window and close it instead.
    using RunImagesWindow = std::function<int(images::ImagesWindow&)>;
    // The memory the system has free, or nothing when it cannot say.
    using MemoryProbe = std::function<std::optional<std::uint64_t>()>;

    explicit CaptureBatch(CaptureHost host);
    ~CaptureBatch();
    CaptureBatch(const CaptureBatch&) = delete;
    CaptureBatch& operator=(const CaptureBatch&) = delete;

    // Control, Images (fourUp false) and Images x 4 (true).
    void Start(bool fourUp);
    // True from Start until the pictures are freed.
    bool Running() const { return running_; }
    // A close of the main frame while the batch runs: the batch is cancelled
    // and the frame closes once the pictures are freed.
    void RequestClose();

    // Messages 1001, 1002 and 1003.
    void OnCaptureDone();
    void OnImagesFreed();
    void OnCaptureCancelled();

    const CaptureList& List() const { return list_; }
    bool FourUp() const { return fourUp_; }
    void SetImagesWindowRunner(RunImagesWindow run) { runImagesWindow_ = std::move(run); }
    void SetMemoryProbe(MemoryProbe probe) { memoryProbe_ = std::move(probe); }

private:
    // A new progress dialog for a phase of count steps, and the run its
    // worker is given.
    std::shared_ptr<CaptureRun> StartPhase();
    // The pictures' shape at the capture size; 360 × 240 instead when the
    // user chooses so because memory is short; nothing when cancelled.
    std::optional<picture::Shape> ChooseShape();
    void ShowImagesWindow();
    void ResumePlayback();

    CaptureHost host_;
    CaptureList list_;
    // Which images window the next batch opens; four views at first.
    bool fourUp_ = true;
    bool running_ = false;
    bool closeRequested_ = false;
    // Where a batch that began on a paused stream leaves it paused again: the
    // paused frame's own time.
    std::optional<std::int64_t> pausedAt_;
    // The copying phase of the batch running now: what its worker found.
    std::shared_ptr<CaptureRun> capture_;
    RunImagesWindow runImagesWindow_;
    MemoryProbe memoryProbe_;
};
