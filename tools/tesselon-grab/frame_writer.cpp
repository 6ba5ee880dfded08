#include "frame_writer.h"

#include "images/save_picture.h"
#include "picture/sharpness.h"

#include <algorithm>
#include <cstring>

namespace grab {

std::uint64_t PictureHash(const picture::Picture& picture) {
    // FNV-1a over 64-bit words, then a final mix: fast enough for a 4K frame
    // per capture, and any changed pixel changes it.
    const std::uint8_t* pixels = picture.Pixels();
    const std::size_t bytes = std::size_t(picture.Stride()) * std::size_t(picture.Height());
    std::uint64_t hash = 0xcbf29ce484222325ull;
    std::size_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, pixels + i, 8);
        hash = (hash ^ word) * 0x100000001b3ull;
    }
    for (; i < bytes; ++i)
        hash = (hash ^ pixels[i]) * 0x100000001b3ull;
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdull;
    hash ^= hash >> 33;
    return hash != 0 ? hash : 1;
}

FrameWriter::FrameWriter(std::optional<images::LabelBand> band, images::StillFormat format)
    : band_(std::move(band))
    , format_(format) {
    const unsigned count = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    // Two waiting per thread: each thread finds its next frame ready when it
    // finishes one, while capture, faster than encoding, waits for room.
    capacity_ = 2 * count;
    for (unsigned i = 0; i < count; ++i)
        threads_.emplace_back([this] { Loop(); });
}

FrameWriter::~FrameWriter() {
    Finish();
}

void FrameWriter::Add(WriteJob job) {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] { return pending_.size() < capacity_; });
    pending_.push_back(std::move(job));
    wake_.notify_one();
}

void FrameWriter::Finish() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
        wake_.notify_all();
    }
    for (std::thread& thread : threads_)
        if (thread.joinable())
            thread.join();
}

void FrameWriter::Loop() {
    while (true) {
        WriteJob job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return finished_ || !pending_.empty(); });
            if (pending_.empty())
                return;
            job = std::move(pending_.front());
            pending_.pop_front();
            room_.notify_one();
        }
        Write(job);
    }
}

void FrameWriter::Write(WriteJob& job) const {
    FrameRecord& record = *job.record;
    if (job.hash) {
        record.pictureHash = PictureHash(job.picture);
        if (!record.sharpness)
            record.sharpness = picture::Sharpness(job.picture);
    }
    int rows = job.picture.Height();
    if (band_) {
        images::StampLabelBand(job.picture, *band_);
        rows = job.picture.Rows();
    }
    // The writers already run one encode per core: each takes one thread.
    const auto result = images::SavePicture(
        images::SaveJob::Of(job.picture, rows, job.path, format_),
        {nullptr, nullptr, 1, job.comment, std::move(job.metadata)});
    job.picture.Reset();
    record.written = result.Written();
    if (!record.written)
        record.error = result.reason;
}

} // namespace grab
