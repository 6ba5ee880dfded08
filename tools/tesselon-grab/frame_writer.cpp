#include "frame_writer.h"

#include "images/jpeg_file_writer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace grab {

namespace {

// Stamps the band into the rows under the frame: its left 360 columns, as the
// images window stamps them; a wider frame's band is black beyond.
void StampBand(std::uint8_t* buffer, int width, int height,
               const tesselon::images::LabelBand& band) {
    const int columns = std::min(width, tesselon::images::kBandWidth);
    for (int row = 0; row < tesselon::images::kBandRows; ++row) {
        std::uint8_t* target = buffer + (static_cast<std::size_t>(height + row) * width) * 4;
        std::memcpy(target, &band[static_cast<std::size_t>(row) * tesselon::images::kBandWidth],
                    static_cast<std::size_t>(columns) * 4);
    }
}

} // namespace

std::uint64_t PictureHash(const std::uint8_t* pixels, int width, int height) {
    // FNV-1a over 64-bit words, then a final mix: fast enough for a 4K frame
    // per capture, and any changed pixel changes it.
    const std::size_t bytes = static_cast<std::size_t>(width) * height * 4;
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

FrameWriter::FrameWriter(std::optional<tesselon::images::LabelBand> band)
    : band_(std::move(band)) {
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
        std::free(job.buffer);
    }
}

void FrameWriter::Write(WriteJob& job) const {
    FrameRecord& record = *job.record;
    if (job.hash)
        record.pictureHash = PictureHash(job.buffer, job.width, job.height);
    int rows = job.height;
    if (band_) {
        StampBand(job.buffer, job.width, job.height, *band_);
        rows += tesselon::images::kBandRows;
    }
    // The writers already run one encode per core: each takes one thread.
    const auto result = tesselon::images::SavePictureAsJpeg(
        {static_cast<std::uint16_t>(job.width), static_cast<std::uint16_t>(rows), job.buffer,
         job.path},
        {nullptr, nullptr, 1, job.comment});
    record.written = result.Written();
    if (!record.written)
        record.error = result.reason;
}

} // namespace grab
