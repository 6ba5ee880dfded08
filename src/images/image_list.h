// ImageList: what an images dialog keeps of a capture batch for the length of
// its modal run: the borrowed pictures, their names, which image each view
// shows, and the label band stamped under every picture. Both images dialogs
// keep one (the four-view dialog with four views).
//
// Every picture of a list has the one shape the list was made for. The
// pictures belong to the capture batch; the list never frees one and writes
// only their band rows.
//
// Threads: the user-interface thread owns the list. A saving worker may read
// the pictures while it holds a ReadLease; the band is never stamped then.
#pragma once

#include "images/label_band.h"
#include "picture/picture.h"

#include <QRect>
#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>
#include <cstdint>
#include <vector>

namespace images {

inline constexpr int kMaxImages = 100;

class ImageList {
public:
    // `count` pictures (at most 100) of `shape`, of a video of frameWidth ×
    // frameHeight (its aspect is the shape's frame's when no file has been
    // opened); count names are copied, and a missing one is empty.
    // `viewCount` views each show one image.
    ImageList(int count, int frameWidth, int frameHeight, const QStringList& names,
              picture::Shape shape, int viewCount = 1);
    ImageList(const ImageList&) = delete;
    ImageList& operator=(const ImageList&) = delete;

    // Borrows the picture for the next position. A null picture, one of
    // another shape, or one past `count` is an error: false, and nothing is
    // stored. A position never filled shows and saves as black.
    [[nodiscard]] bool AddImage(picture::Picture& picture);

    int Count() const { return count_; }
    int Added() const { return static_cast<int>(pictures_.size()); }
    int FrameWidth() const { return frameWidth_; }
    int FrameHeight() const { return frameHeight_; }
    // Frame width ÷ frame height, in single precision as the windows size by it.
    float Aspect() const { return aspect_; }

    // The shape of every picture of the list.
    const picture::Shape& Shape() const { return shape_; }
    // The picture of image `index`, or null when the position is empty.
    const picture::Picture* PictureAt(int index) const;
    // The pixels to show and save for image `index`: its picture's, or a
    // black picture's when the position is empty.
    const std::uint8_t* PixelsOf(int index) const;
    QString Name(int index) const;

    // Measures every picture's sharpness (picture::Sharpness) once the batch
    // is complete; an empty position scores 0.
    void MeasureSharpness();
    // Image `index`'s score; none before MeasureSharpness.
    std::optional<double> Sharpness(int index) const;
    // The sharpest image (the first of equals), or -1 before MeasureSharpness.
    int Sharpest() const;

    int ViewCount() const { return static_cast<int>(current_.size()); }
    // The image that view `view` shows; 0 at construction.
    int Current(int view = 0) const { return current_.at(static_cast<std::size_t>(view)); }
    void SetCurrent(int view, int index);

    bool LabelOn() const { return labelOn_; }
    const QString& LabelText() const { return labelText_; }
    // The label as the label dialog leaves it: the band is to be rendered again.
    void SetLabel(bool on, const QString& text);
    // The rows that views show and saves write: the band's too with the
    // label, else the frame's only.
    int Rows() const { return labelOn_ ? shape_.Rows() : shape_.height; }
    // Width ÷ height of a shown picture: its frame rows at the video's aspect
    // and the band's rows below them.
    float PictureAspect() const {
        return aspect_ * static_cast<float>(shape_.height) / static_cast<float>(Rows());
    }

    // Where the band lies in a picture.
    QRect BandRect() const { return QRect(0, shape_.height, shape_.width, shape_.bandRows); }
    const LabelBand& Band() const { return band_; }
    bool BandRendered() const { return bandRendered_; }

    // Renders the band from the label text and stamps it into the band rows
    // of every picture. Refused (false, nothing written) while a worker
    // reads the pictures.
    bool RenderBand();
    // RenderBand when the label is on and its band is not rendered yet: called
    // before the images are first shown, after the label dialog's OK and
    // before every save's worker starts. Painting never stamps, so a save
    // never reads a band half written. False when a worker reads the pictures.
    bool StampBandIfNeeded();

    // Held by a saving worker for as long as it reads the pictures. Made on the
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
    picture::Shape shape_;
    int frameWidth_;
    int frameHeight_;
    float aspect_;
    QStringList names_;
    std::vector<picture::Picture*> pictures_;
    // The pixels of an empty position, made when first asked for.
    mutable std::vector<std::uint8_t> black_;
    std::vector<int> current_;
    std::vector<double> sharpness_;
    QString labelText_;
    bool labelOn_ = true;
    bool bandRendered_ = false;
    LabelBand band_;
    mutable std::atomic<int> readers_{0};
};

} // namespace images
