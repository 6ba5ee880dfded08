#include "images/image_list.h"

#include "platform/client_aspect.h"
#include "platform/dialogs.h"
#include "res/resource_ids.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace tesselon::images {
namespace {

constexpr int kDefaultFrameWidth = 360;
constexpr int kDefaultFrameHeight = 240;

// The band's words go into the buffers as they are: on a little-endian
// machine the word 0x00BBGGRR is the bytes RR, GG, BB, 0.
static_assert(std::endian::native == std::endian::little);
static_assert(sizeof(LabelBand) == 23040);

} // namespace

ImageList::ImageList(int count, int frameWidth, int frameHeight, const QStringList& names,
                     int viewCount)
    : count_(std::clamp(count, 0, kMaxImages))
    , frameWidth_(frameWidth > 0 && frameHeight > 0 ? frameWidth : kDefaultFrameWidth)
    , frameHeight_(frameWidth > 0 && frameHeight > 0 ? frameHeight : kDefaultFrameHeight)
    , aspect_(platform::AspectOf(frameWidth_, frameHeight_))
    , names_(names.mid(0, count_))
    , current_(static_cast<std::size_t>(std::max(viewCount, 1)), 0)
    , labelText_(
          platform::FormatString(res::IDS_LABEL_TEXT, platform::LoadString(res::IDS_CONTACT))) {
    while (names_.size() < count_)
        names_.append(QString());
    buffers_.reserve(static_cast<std::size_t>(count_));
    sizes_.reserve(static_cast<std::size_t>(count_));
}

bool ImageList::AddImage(std::uint8_t* buffer, int size) {
    if (Added() >= count_)
        return false;
    const bool accepted = buffer != nullptr && size == kImageBytes;
    buffers_.push_back(accepted ? buffer : nullptr);
    sizes_.push_back(size);
    if (accepted && bandRendered_ && !IsBeingRead())
        std::memcpy(buffer + kFrameRows * kImageStride, band_.data(), sizeof band_);
    return accepted;
}

std::uint8_t* ImageList::Buffer(int index) const {
    if (index < 0 || index >= Added())
        return nullptr;
    return buffers_[static_cast<std::size_t>(index)];
}

const std::uint8_t* ImageList::PixelsOf(int index) const {
    static const std::vector<std::uint8_t> black(kImageBytes, 0);
    const std::uint8_t* buffer = Buffer(index);
    return buffer != nullptr ? buffer : black.data();
}

int ImageList::Size(int index) const {
    if (index < 0 || index >= Added())
        return 0;
    return sizes_[static_cast<std::size_t>(index)];
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
    band_ = RenderLabelBand(labelText_);
    for (std::uint8_t* buffer : buffers_) {
        if (buffer != nullptr)
            std::memcpy(buffer + kFrameRows * kImageStride, band_.data(), sizeof band_);
    }
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

} // namespace tesselon::images
