// ImageList: what an images dialog keeps of a capture batch for the length of
// its modal run: the borrowed image buffers, their names, which image each
// view shows, and the label band stamped under every image. Both images
// dialogs keep one (the four-view dialog with four views).
//
// An image buffer is 360 × 256 pixels of 4 bytes (blue, green, red, unused),
// top row first: rows 0 to 239 the frame, rows 240 to 255 the label band.
// The buffers belong to the capture batch; the list never frees one and
// writes only their band rows.
//
// Threads: the user-interface thread owns the list. A saving worker may read
// the buffers while it holds a ReadLease; the band is never stamped then.
#pragma once

#include "images/label_band.h"

#include <QRect>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <vector>

namespace tesselon::images {

inline constexpr int kImageWidth = 360;
inline constexpr int kFrameRows = 240;
inline constexpr int kImageRows = kFrameRows + kBandRows;
inline constexpr int kImageStride = kImageWidth * 4;
inline constexpr int kImageBytes = kImageStride * kImageRows; // 368640
inline constexpr int kMaxImages = 100;

class ImageList {
public:
    // `count` images (at most 100) of a video of frameWidth × frameHeight
    // (360 × 240 when no file has been opened); count names are copied, and
    // a missing one is empty. `viewCount` views each show one image.
    ImageList(int count, int frameWidth, int frameHeight, const QStringList& names,
              int viewCount = 1);
    ImageList(const ImageList&) = delete;
    ImageList& operator=(const ImageList&) = delete;

    // Stores the buffer at the next position. A buffer whose size is not that
    // of an image buffer is refused: its position stays empty (shown and
    // saved as black) and false is returned. Past `count`, nothing is stored.
    bool AddImage(std::uint8_t* buffer, int size);

    int Count() const { return count_; }
    int Added() const { return static_cast<int>(buffers_.size()); }
    int FrameWidth() const { return frameWidth_; }
    int FrameHeight() const { return frameHeight_; }
    // Frame width ÷ frame height, in single precision as the windows size by it.
    float Aspect() const { return aspect_; }

    // The buffer of image `index`, or null when it is empty or was refused.
    std::uint8_t* Buffer(int index) const;
    // The pixels to show and save for image `index`: its buffer, or a black
    // image when the position is empty.
    const std::uint8_t* PixelsOf(int index) const;
    // The byte size handed over with it (kept only).
    int Size(int index) const;
    QString Name(int index) const;

    int ViewCount() const { return static_cast<int>(current_.size()); }
    // The image that view `view` shows; 0 at construction.
    int Current(int view = 0) const { return current_.at(static_cast<std::size_t>(view)); }
    void SetCurrent(int view, int index);

    bool LabelOn() const { return labelOn_; }
    const QString& LabelText() const { return labelText_; }
    // The label as the label dialog leaves it: the band is to be rendered again.
    void SetLabel(bool on, const QString& text);
    // The rows that views show and saves write: 256 with the label, else 240.
    int Rows() const { return labelOn_ ? kImageRows : kFrameRows; }
    // Width ÷ height of a shown picture: its frame rows at the video's aspect
    // and the band's rows below them.
    float PictureAspect() const {
        return aspect_ * static_cast<float>(kFrameRows) / static_cast<float>(Rows());
    }

    // Where the band lies in an image: (0, 240)–(360, 256).
    static QRect BandRect() { return QRect(0, kFrameRows, kBandWidth, kBandRows); }
    const LabelBand& Band() const { return band_; }
    bool BandRendered() const { return bandRendered_; }

    // Renders the band from the label text and stamps it into rows 240 to 255
    // of every buffer. Refused (false, nothing written) while a worker reads
    // the buffers.
    bool RenderBand();
    // RenderBand when the label is on and its band is not rendered yet: called
    // before the images are first shown, after the label dialog's OK and
    // before every save's worker starts. Painting never stamps, so a save
    // never reads a band half written. False when a worker reads the buffers.
    bool StampBandIfNeeded();

    // Held by a saving worker for as long as it reads the buffers. Made on the
    // user-interface thread; may be released on any thread.
    class ReadLease {
    public:
        ReadLease() = default;
        explicit ReadLease(const ImageList& list);
        ReadLease(ReadLease&& other) noexcept;
        ReadLease& operator=(ReadLease&& other) noexcept;
        ~ReadLease();

    private:
        void Release();
        const ImageList* list_ = nullptr;
    };
    bool IsBeingRead() const { return readers_.load() != 0; }

private:
    int count_;
    int frameWidth_;
    int frameHeight_;
    float aspect_;
    QStringList names_;
    std::vector<std::uint8_t*> buffers_;
    std::vector<int> sizes_;
    std::vector<int> current_;
    QString labelText_;
    bool labelOn_ = true;
    bool bandRendered_ = false;
    LabelBand band_{};
    mutable std::atomic<int> readers_{0};
};

} // namespace tesselon::images
