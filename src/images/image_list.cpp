#include "images/image_list.h"

#include "picture/sharpness.h"

#include "images/save_preferences.h"

#include "platform/client_aspect.h"
#include "platform/dialogs.h"
#include "res/resource_ids.h"

#include <algorithm>
#include <thread>
#include <utility>

namespace images {

ImageList::ImageList(int count, int frameWidth, int frameHeight, const QStringList& names,
                     picture::Shape shape, int viewCount)
    : count_(std::clamp(count, 0, kMaxImages))
    , shape_(shape)
    , frameWidth_(frameWidth > 0 && frameHeight > 0 ? frameWidth : shape.width)
    , frameHeight_(frameWidth > 0 && frameHeight > 0 ? frameHeight : shape.height)
    , aspect_(platform::AspectOf(frameWidth_, frameHeight_))
    , names_(names.mid(0, count_))
    , current_(static_cast<std::size_t>(std::max(viewCount, 1)), 0)
    , labelText_(DefaultLabelText()) {
    while (names_.size() < count_)
        names_.append(QString());
    pictures_.reserve(static_cast<std::size_t>(count_));
}

bool ImageList::AddImage(picture::Picture& picture) {
    if (Added() >= count_ || picture.IsNull() || picture.GetShape() != shape_)
        return false;
    pictures_.push_back(&picture);
    if (bandRendered_ && !IsBeingRead())
        StampLabelBand(picture, band_);
    return true;
}

const picture::Picture* ImageList::PictureAt(int index) const {
    if (index < 0 || index >= Added())
        return nullptr;
    return pictures_[static_cast<std::size_t>(index)];
}

const std::uint8_t* ImageList::PixelsOf(int index) const {
    if (const picture::Picture* shown = PictureAt(index))
        return shown->Pixels();
    if (black_.empty())
        black_.assign(shape_.Bytes(), 0);
    return black_.data();
}

QString ImageList::Name(int index) const {
    return names_.value(index);
}

void ImageList::SetCurrent(int view, int index) {
    current_.at(static_cast<std::size_t>(view)) = std::clamp(index, 0, std::max(count_ - 1, 0));
}

void ImageList::SetLabel(bool on, const QString& text) {
    labelOn_ = on;
    labelText_ = text;
    bandRendered_ = false;
}

bool ImageList::RenderBand() {
    if (IsBeingRead())
        return false;
    band_ = RenderLabelBand(labelText_, shape_.width, shape_.bandRows);
    for (picture::Picture* picture : pictures_)
        StampLabelBand(*picture, band_);
    bandRendered_ = true;
    return true;
}

bool ImageList::StampBandIfNeeded() {
    if (!labelOn_ || bandRendered_)
        return true;
    return RenderBand();
}

ImageList::ReadLease::ReadLease(const ImageList& list)
    : list_(&list) {
    list_->readers_.fetch_add(1);
}

ImageList::ReadLease::ReadLease(ReadLease&& other) noexcept
    : list_(std::exchange(other.list_, nullptr)) {}

ImageList::ReadLease& ImageList::ReadLease::operator=(ReadLease&& other) noexcept {
    if (this != &other) {
        Release();
        list_ = std::exchange(other.list_, nullptr);
    }
    return *this;
}

ImageList::ReadLease::~ReadLease() {
    Release();
}

void ImageList::ReadLease::Release() {
    if (list_ != nullptr)
        list_->readers_.fetch_sub(1);
    list_ = nullptr;
}

void ImageList::MeasureSharpness() {
    sharpness_.assign(static_cast<std::size_t>(count_), 0.0);
    // A batch of 1080p pictures takes a quarter of a second on one core,
    // while the window waits to show: every core measures a share.
    const int threads = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 8);
    const auto measure = [this, threads](int first) {
        for (int i = first; i < Added(); i += threads)
            if (const picture::Picture* shown = PictureAt(i))
                sharpness_[static_cast<std::size_t>(i)] = picture::Sharpness(*shown);
    };
    std::vector<std::jthread> helpers;
    for (int first = 1; first < threads; ++first)
        helpers.emplace_back(measure, first);
    measure(0);
}

std::optional<double> ImageList::Sharpness(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= sharpness_.size())
        return std::nullopt;
    return sharpness_[static_cast<std::size_t>(index)];
}

int ImageList::Sharpest() const {
    if (sharpness_.empty())
        return -1;
    return static_cast<int>(std::max_element(sharpness_.begin(), sharpness_.end()) -
                            sharpness_.begin());
}

} // namespace images
