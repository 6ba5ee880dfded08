// Writes captured frames as picture files on threads of its own, one per core
// (at most four), while capturing goes on: the label band stamped under each
// frame, its pixels hashed for the report's repeat check and scored for
// sharpness when asked, then the
// program's save path of one image. A few frames per thread wait at most, so
// memory does not grow with the number of frames taken.
#pragma once

#include "grab_report.h"
#include "images/image_format.h"
#include "images/label_band.h"
#include "images/picture_metadata.h"
#include "picture/picture.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace grab {

struct WriteJob {
    // A frame copy with its band rows; the writer gives it back once written.
    picture::Picture picture;
    std::filesystem::path path;
    std::string comment; // for the file's comment; none when empty
    // Hash the picture for the report's repeat check, and score its
    // sharpness unless the record has it already.
    bool hash = false;
    // Receives the outcome and the picture's hash; must outlive Finish().
    FrameRecord* record = nullptr;
    // Exif and XMP for the file; none when empty.
    images::PictureMetadata metadata;
};

class FrameWriter {
public:
    // band: stamped into the band rows under every frame, which are then
    // written too; none leaves them out. Every file is written in `format`.
    explicit FrameWriter(std::optional<images::LabelBand> band, images::StillFormat format = {});
    ~FrameWriter();
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    // Waits while the queue is full. Called by one capturing thread.
    void Add(WriteJob job);
    // Waits until every frame added is written; the writer takes no more.
    void Finish();

private:
    void Loop();
    void Write(WriteJob& job) const;

    const std::optional<images::LabelBand> band_;
    const images::StillFormat format_;
    std::mutex mutex_;
    std::condition_variable wake_; // a job is waiting, or the writer is finished
    std::condition_variable room_; // the queue has room for another job
    std::deque<WriteJob> pending_;
    std::size_t capacity_ = 0;
    bool finished_ = false;
    std::vector<std::thread> threads_;
};

// A hash of the frame rows of a picture, for telling repeated pictures
// apart; never 0.
std::uint64_t PictureHash(const picture::Picture& picture);

} // namespace grab
