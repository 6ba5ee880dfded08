#include "jpeg/jpeg_writer.h"

#include "jpeg/errors.h"
#include "jpeg/markers.h"
#include "jpeg/raster_image.h"
#include "jpeg/transform.h"

#include <algorithm>
#include <thread>

namespace jpeg {

namespace {

using namespace marker;

constexpr std::uint32_t kComponentCount = 3;
// Component 1 uses quantization and Huffman tables 0, components 2 and 3 tables 1.
constexpr std::uint8_t TableNumber(std::uint32_t componentId) {
    return componentId == 1 ? 0 : 1;
}
constexpr std::uint32_t MaskBit(std::uint32_t componentId) {
    return 1u << componentId;
}

constexpr std::uint32_t CeilDivide(std::uint32_t value, std::uint32_t divisor) {
    return static_cast<std::uint32_t>((std::uint64_t{value} + divisor - 1) / divisor);
}

// Frees every component's coefficients when the encode ends, however it ends.
class CoefficientRelease {
public:
    explicit CoefficientRelease(std::array<JpegComponent, 4>& components)
        : components_(components) {}
    CoefficientRelease(const CoefficientRelease&) = delete;
    CoefficientRelease& operator=(const CoefficientRelease&) = delete;
    ~CoefficientRelease() {
        for (JpegComponent& component : components_) {
            component.ReleaseCoefficients();
        }
    }

private:
    std::array<JpegComponent, 4>& components_;
};

} // namespace

JpegWriter::JpegWriter() {
    scans_[0].componentMask = kAllComponentsMask;
    WireComponents();
    for (std::uint32_t id = 1; id <= kComponentCount; ++id) {
        components_[id].SetHorizontalSampling(1);
        components_[id].SetVerticalSampling(1);
    }
}

JpegWriter::~JpegWriter() = default;

void JpegWriter::WireComponents() {
    components_[1].SetTables(&luminanceTable_, &dcTables_[0], &acTables_[0]);
    for (std::uint32_t id = 2; id <= kComponentCount; ++id) {
        components_[id].SetTables(&chrominanceTable_, &dcTables_[1], &acTables_[1]);
    }
}

void JpegWriter::SetScan(std::uint32_t index, std::uint32_t componentMask,
                         std::int32_t firstReserved, std::int32_t secondReserved) {
    if (index >= kScanListSize) {
        throw EJpegError("Scan Index Out of Range");
    }
    scans_[index] = ScanSpec{componentMask, firstReserved, secondReserved};
}

const ScanSpec& JpegWriter::Scan(std::uint32_t index) const {
    if (index >= kScanListSize) {
        throw EJpegError("Scan Index Out of Range");
    }
    return scans_[index];
}

const JpegComponent& JpegWriter::Component(std::uint32_t componentId) const {
    if (componentId < 1 || componentId > kComponentCount) {
        throw EJpegIndexOutOfRange();
    }
    return components_[componentId];
}

void JpegWriter::SetHorizontalSampling(std::uint32_t componentId, std::uint32_t factor) {
    Component(componentId);
    components_[componentId].SetHorizontalSampling(factor);
}

void JpegWriter::SetVerticalSampling(std::uint32_t componentId, std::uint32_t factor) {
    Component(componentId);
    components_[componentId].SetVerticalSampling(factor);
}

void JpegWriter::EncodeImage(std::ostream& output, const RasterImage& image) {
    // Every check comes before the first byte, so a refused image leaves the
    // stream untouched.
    image_ = &image;
    BuildQuantTables(quality_, luminanceTable_, chrominanceTable_);
    imageWidth_ = image.Width();
    imageHeight_ = image.Height();
    CheckImageSize();
    ComputeFrameSize();
    CheckSettings();

    output_.Start(output);
    // Each file must define its own restart interval: a DRI left out because
    // an earlier file had the same interval would leave this file's RST
    // markers undefined.
    lastRestartInterval_ = 0;
    currentPass_ = 0;
    passCount_ = grayscale_ ? 2 : static_cast<std::int32_t>(scanCount_) + 3;
    const CoefficientRelease release(components_);

    WriteStartOfImage();
    WriteJfifHeader();
    for (const std::string& data : applicationSegments_) {
        WriteApplicationSegment(data);
    }
    if (!comment_.empty()) {
        WriteComment(comment_);
    }
    WriteComment(kFixedComment);
    if (threadCount_ > 1) {
        SampleComponentsOnThreads();
    } else {
        SampleComponents();
    }
    WriteFrameHeader();
    WriteQuantizationTables();
    if (threadCount_ > 1) {
        WriteScansOnThreads();
    } else {
        WriteScans();
    }
    WriteEndOfImage();
    image_ = nullptr;
}

void JpegWriter::ValidateSettings() {
    QuantTable luminance{};
    QuantTable chrominance{};
    BuildQuantTables(quality_, luminance, chrominance);
    CheckSettings();
}

void JpegWriter::CheckImageSize() const {
    if (imageWidth_ == 0 || imageHeight_ == 0 || imageWidth_ > kMaximumDimension ||
        imageHeight_ > kMaximumDimension) {
        throw EJpegBadOutputParameter("Image width and height must be 1 to 65535");
    }
}

void JpegWriter::ComputeFrameSize() {
    if (grayscale_) {
        maximumHorizontal_ = components_[1].HorizontalFactor();
        maximumVertical_ = components_[1].VerticalFactor();
    } else {
        maximumHorizontal_ = 1;
        maximumVertical_ = 1;
        for (std::uint32_t id = 1; id <= kComponentCount; ++id) {
            maximumHorizontal_ = std::max(maximumHorizontal_, components_[id].HorizontalFactor());
            maximumVertical_ = std::max(maximumVertical_, components_[id].VerticalFactor());
        }
    }
    mcuRows_ = CeilDivide(imageHeight_, 8 * maximumVertical_);
    mcuColumns_ = CeilDivide(imageWidth_, 8 * maximumHorizontal_);
}

void JpegWriter::CheckSettings() {
    if (grayscale_) {
        // Only scan 0 is written, and it must name the one component there is.
        if ((scans_[0].componentMask & kComponent1Mask) == 0) {
            throw EJpegBadOutputParameter("Grayscale scan 0 does not hold component 1");
        }
        scanCount_ = 1;
    } else {
        CheckSampling();
        CheckScanLayout();
    }
    if (comment_.size() > kMaximumCommentLength) {
        throw EJpegBadOutputParameter("Comment longer than 65532 bytes");
    }
    for (const std::string& data : applicationSegments_) {
        if (data.size() > kMaximumApplicationDataLength) {
            throw EJpegBadOutputParameter("Application segment longer than 65533 bytes");
        }
    }
}

// Factors 3 and 2 (or 4) would give fractional ratios between components.
void JpegWriter::CheckSampling() const {
    bool horizontalThree = false, horizontalEven = false;
    bool verticalThree = false, verticalEven = false;
    for (std::uint32_t id = 1; id <= kComponentCount; ++id) {
        const std::uint32_t horizontal = components_[id].HorizontalFactor();
        const std::uint32_t vertical = components_[id].VerticalFactor();
        horizontalThree |= horizontal == 3;
        horizontalEven |= horizontal == 2 || horizontal == 4;
        verticalThree |= vertical == 3;
        verticalEven |= vertical == 2 || vertical == 4;
    }
    if (horizontalThree && horizontalEven) {
        throw EJpegError("Fractional Horizontal Sampling");
    }
    if (verticalThree && verticalEven) {
        throw EJpegError("Fractional Vertical Sampling");
    }
}

void JpegWriter::CheckScanLayout() {
    const std::uint32_t mask0 = scans_[0].componentMask;
    const std::uint32_t mask1 = scans_[1].componentMask;
    const std::uint32_t mask2 = scans_[2].componentMask;
    if ((mask0 | mask1 | mask2) != kAllComponentsMask) {
        throw EJpegError("Not all components specified in scans");
    }
    if (mask0 + mask1 + mask2 != kAllComponentsMask) {
        throw EJpegError("Component in more than one scan");
    }
    scanCount_ = mask2 != 0 ? 3 : mask1 != 0 ? 2 : 1;
    // B.2.3: an interleaved scan's coding unit holds at most 10 data units.
    for (std::uint32_t index = 0; index < scanCount_; ++index) {
        std::uint32_t componentCount = 0;
        const std::uint32_t units = UnitsInScan(scans_[index].componentMask, componentCount);
        if (units > 10 && componentCount > 1) {
            throw EJpegBadOutputParameter("Data units in MCU exceeds 10");
        }
    }
}

std::uint32_t JpegWriter::UnitsInScan(std::uint32_t componentMask,
                                      std::uint32_t& componentCount) const {
    std::uint32_t units = 0;
    componentCount = 0;
    for (std::uint32_t id = 1; id <= kComponentCount; ++id) {
        if ((componentMask & MaskBit(id)) != 0) {
            units += components_[id].HorizontalFactor() * components_[id].VerticalFactor();
            ++componentCount;
        }
    }
    return units;
}

bool JpegWriter::ReportPassProgress(std::int32_t percent) {
    return ReportProgress(currentPass_, passCount_, percent);
}

void JpegWriter::SetThreadCount(unsigned count) {
    threadCount_ = std::max(count, 1u);
    if (pool_ && pool_->Threads() != threadCount_) {
        pool_.reset();
    }
}

unsigned JpegWriter::AvailableCores() {
    return std::max(1u, std::thread::hardware_concurrency());
}

TaskPool& JpegWriter::Pool() {
    if (!pool_) {
        pool_ = std::make_unique<TaskPool>(threadCount_);
    }
    return *pool_;
}

namespace {

constexpr ColourChannel kChannels[] = {ColourChannel::Y, ColourChannel::Cb, ColourChannel::Cr};

// Rows of data units a sampling task fills: enough work to outweigh handing
// it over, and enough tasks to keep every thread busy.
constexpr std::uint32_t kRowsPerSamplingTask = 4;

} // namespace

// The whole image is converted and transformed, one component per pass,
// before any scan is written.
void JpegWriter::SampleComponents() {
    const PercentReporter report = [this](std::int32_t percent) {
        return ReportPassProgress(percent);
    };
    const std::uint32_t lastId = grayscale_ ? 1 : kComponentCount;
    for (std::uint32_t id = 1; id <= lastId; ++id) {
        ++currentPass_;
        SampleComponent(components_[id], kChannels[id - 1], *image_, maximumHorizontal_,
                        maximumVertical_, report);
    }
}

// The same work in bands of rows of every component at once; each pass
// reports when all are done.
void JpegWriter::SampleComponentsOnThreads() {
    struct Task {
        std::uint32_t id;
        std::uint32_t firstRow;
        std::uint32_t endRow;
    };
    std::vector<Task> tasks;
    const std::uint32_t lastId = grayscale_ ? 1 : kComponentCount;
    for (std::uint32_t id = 1; id <= lastId; ++id) {
        PrepareSampling(components_[id], *image_, maximumHorizontal_, maximumVertical_);
        const std::uint32_t rows = components_[id].DataUnitRows();
        for (std::uint32_t first = 0; first < rows; first += kRowsPerSamplingTask) {
            tasks.push_back({id, first, std::min(rows, first + kRowsPerSamplingTask)});
        }
    }
    Pool().Run(tasks.size(), [&](std::size_t index) {
        const Task& task = tasks[index];
        SampleUnitRows(components_[task.id], kChannels[task.id - 1], *image_, task.firstRow,
                       task.endRow);
    });
    for (std::uint32_t id = 1; id <= lastId; ++id) {
        ++currentPass_;
        if (ReportPassProgress(100)) {
            throw EJpegAbort();
        }
    }
}

std::vector<ScanSpec> JpegWriter::ScansToWrite() const {
    if (grayscale_) {
        return {ScanSpec{kComponent1Mask, scans_[0].firstReserved, scans_[0].secondReserved}};
    }
    return std::vector<ScanSpec>(scans_.begin(), scans_.begin() + scanCount_);
}

void JpegWriter::WriteScans() {
    ScanBand scratch;
    for (const ScanSpec& spec : ScansToWrite()) {
        ++currentPass_;
        std::array<ScanComponent, kComponentCount> list{};
        const std::size_t count = ScanComponents(spec, list);
        EncodeScan(ContextFor(std::span<const ScanComponent>(list.data(), count)), scratch);
    }
}

// Every band of every scan is recorded at once. The tables of a scan are then
// built and its bands written, one scan after another: scans of components 2
// and 3 share their tables.
void JpegWriter::WriteScansOnThreads() {
    const std::vector<ScanSpec> specs = ScansToWrite();
    std::vector<std::array<ScanComponent, kComponentCount>> lists(specs.size());
    std::vector<ScanContext> contexts;
    std::vector<std::vector<ScanBand>> bands;
    struct Task {
        std::size_t scan;
        std::size_t band;
    };
    std::vector<Task> tasks;
    for (std::size_t scan = 0; scan < specs.size(); ++scan) {
        const std::size_t count = ScanComponents(specs[scan], lists[scan]);
        contexts.push_back(ContextFor(std::span<const ScanComponent>(lists[scan].data(), count)));
        bands.push_back(SplitScan(contexts.back()));
        for (std::size_t band = 0; band < bands.back().size(); ++band) {
            tasks.push_back({scan, band});
        }
    }
    Pool().Run(tasks.size(), [&](std::size_t index) {
        const Task& task = tasks[index];
        RecordBand(contexts[task.scan], bands[task.scan][task.band]);
    });
    for (std::size_t scan = 0; scan < specs.size(); ++scan) {
        ++currentPass_;
        BuildScanTables(contexts[scan], bands[scan]);
        Pool().Run(bands[scan].size(),
                   [&](std::size_t band) { WriteBand(contexts[scan], bands[scan][band]); });
        WriteScanBands(contexts[scan], bands[scan]);
        bands[scan].clear();
        if (ReportPassProgress(100)) {
            throw EJpegAbort();
        }
    }
}

std::size_t JpegWriter::ScanComponents(const ScanSpec& spec,
                                       std::array<ScanComponent, 3>& components) {
    std::size_t count = 0;
    for (std::uint32_t id = 1; id <= kComponentCount; ++id) {
        if ((spec.componentMask & MaskBit(id)) != 0) {
            components[count++] =
                ScanComponent{static_cast<std::uint8_t>(id), TableNumber(id), &components_[id]};
        }
    }
    return count;
}

ScanContext JpegWriter::ContextFor(std::span<const ScanComponent> components) {
    return ScanContext{
        .output = output_,
        .components = components,
        .mcuRows = mcuRows_,
        .mcuColumns = mcuColumns_,
        .restartRows = restartRows_,
        .lastRestartInterval = lastRestartInterval_,
        .report = [this](std::int32_t percent) { return ReportPassProgress(percent); },
    };
}

// B.2.1: Start of image.
void JpegWriter::WriteStartOfImage() {
    output_.WriteMarker(kStartOfImage);
}

// B.2.4.6: Application data syntax, carrying the JFIF 1.01 header: no density
// units (aspect ratio 1:1) and no thumbnail.
void JpegWriter::WriteJfifHeader() {
    static constexpr std::uint8_t kBlock[16] = {
        0,   16,               // segment length
        'J', 'F', 'I', 'F', 0, // identifier
        1,   1,                // version 1.01
        0,                     // density units: none
        0,   1,   0,   1,      // horizontal and vertical density
        0,   0,                // thumbnail width and height
    };
    output_.WriteMarker(kApplication0);
    output_.WriteBlock(kBlock, sizeof kBlock);
}

// B.2.4.6: Application data syntax, APP1.
void JpegWriter::WriteApplicationSegment(const std::string& data) {
    output_.WriteMarker(kApplication1);
    output_.WriteWord(static_cast<std::uint32_t>(data.size() + 2));
    output_.WriteBlock(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
}

// B.2.4.5: Comment syntax; the text is followed by a 0 byte.
void JpegWriter::WriteComment(const std::string& text) {
    output_.WriteMarker(kComment);
    output_.WriteWord(static_cast<std::uint32_t>(text.size() + 3));
    output_.WriteBlock(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    output_.WriteByte(0);
}

// B.2.2: Frame header syntax, baseline DCT (SOF0), 8-bit samples.
void JpegWriter::WriteFrameHeader() {
    const std::uint32_t count = grayscale_ ? 1 : kComponentCount;
    output_.WriteMarker(kStartOfFrameBaseline);
    output_.WriteWord(8 + 3 * count);
    output_.WriteByte(8);
    output_.WriteWord(imageHeight_);
    output_.WriteWord(imageWidth_);
    output_.WriteByte(static_cast<std::uint8_t>(count));
    for (std::uint32_t id = 1; id <= count; ++id) {
        const JpegComponent& component = components_[id];
        output_.WriteByte(static_cast<std::uint8_t>(id));
        output_.WriteByte(static_cast<std::uint8_t>(component.HorizontalFactor() * 16 +
                                                    component.VerticalFactor()));
        output_.WriteByte(TableNumber(id));
    }
}

// T.81 B.2.4.1: quantization table syntax, 8-bit precision, values
// in zigzag order.
void JpegWriter::WriteQuantizationTables() {
    const std::uint32_t count = grayscale_ ? 1 : 2;
    output_.WriteMarker(kDefineQuantizationTables);
    output_.WriteWord(2 + 65 * count);
    const QuantTable* tables[] = {&luminanceTable_, &chrominanceTable_};
    for (std::uint32_t number = 0; number < count; ++number) {
        output_.WriteByte(static_cast<std::uint8_t>(number));
        for (const std::uint16_t value : *tables[number]) {
            output_.WriteByte(static_cast<std::uint8_t>(value));
        }
    }
}

// B.2.1: End of image; the marker write completes the last partial byte.
void JpegWriter::WriteEndOfImage() {
    output_.WriteMarker(kEndOfImage);
}

} // namespace jpeg
