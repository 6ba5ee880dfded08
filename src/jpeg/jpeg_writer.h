// The baseline JPEG writer: a RasterImage becomes a JFIF stream with 8-bit
// samples, one SOF0 frame of Y, Cb and Cr (or Y alone), up to three scans with
// Huffman tables built for each scan from its own symbol counts, and restart
// markers every few rows of coding units.
#pragma once

#include "jpeg/bit_output.h"
#include "jpeg/huffman.h"
#include "jpeg/jpeg_component.h"
#include "jpeg/raster_writer.h"
#include "jpeg/scan.h"
#include "jpeg/task_pool.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace jpeg {

// One entry of the writer's scan list.
struct ScanSpec {
    // Bit value 2 = component 1, 4 = component 2, 8 = component 3.
    std::uint32_t componentMask = 0;
    // Recorded and never read.
    std::int32_t firstReserved = 0;
    std::int32_t secondReserved = 0;
};

// Component mask bits of a ScanSpec.
inline constexpr std::uint32_t kComponent1Mask = 2;
inline constexpr std::uint32_t kComponent2Mask = 4;
inline constexpr std::uint32_t kComponent3Mask = 8;
inline constexpr std::uint32_t kAllComponentsMask = 14;

// Not thread-safe: one thread configures a writer and runs EncodeImage on it;
// the progress function is called on that thread. Settings persist between
// encodes. With a thread count above 1 an encode also runs on threads of the
// writer's own.
class JpegWriter : public RasterWriter {
public:
    static constexpr std::uint32_t kScanListSize = 256;
    static constexpr std::uint32_t kDefaultQuality = 75;
    static constexpr std::uint32_t kDefaultRestartRows = 4;
    // SOF0 holds each dimension in 16 bits (B.2.2).
    static constexpr std::uint32_t kMaximumDimension = 65535;
    // A COM segment's length field counts itself, the text and its 0 byte.
    static constexpr std::size_t kMaximumCommentLength = 65535 - 3;
    // An APPn segment's length field counts itself and the data.
    static constexpr std::size_t kMaximumApplicationDataLength = 65535 - 2;
    static constexpr const char* kFixedComment = "Created using the Corvantis JPEG library";

    // Colour, quality 75, restart every 4 rows, scan 0 holding all three
    // components, every sampling factor 1, no comment, no progress function.
    JpegWriter();
    ~JpegWriter() override;

    // True writes Y alone, from scan 0, which must then hold component 1.
    void SetGrayscale(bool grayscale) { grayscale_ = grayscale; }
    bool Grayscale() const { return grayscale_; }

    // Threads one encode uses, the caller's included: 1, the default, encodes
    // on the caller alone. The bytes written are the same at any count. Above
    // 1, the progress function is called once at the end of each pass, and an
    // abort it asks for takes effect there.
    void SetThreadCount(unsigned count);
    unsigned ThreadCount() const { return threadCount_; }
    // The threads the machine can run at once (at least 1): the count for an
    // encode that has the machine to itself.
    static unsigned AvailableCores();

    // Checked when encoding starts: 1 to 100 is valid.
    void SetQuality(std::uint32_t quality) { quality_ = quality; }
    std::uint32_t Quality() const { return quality_; }

    // Written as a COM segment before the fixed one when not empty.
    void SetComment(std::string comment) { comment_ = std::move(comment); }
    const std::string& Comment() const { return comment_; }

    // Each written, in order, as an APP1 segment right after the JFIF
    // header: Exif and XMP blocks, their identifiers included. None by
    // default; they change no other byte of the file.
    void SetApplicationSegments(std::vector<std::string> segments) {
        applicationSegments_ = std::move(segments);
    }

    // Throws EJpegError "Scan Index Out of Range" for an index of 256 or more.
    // Only scans 0 to 2 are ever written.
    void SetScan(std::uint32_t index, std::uint32_t componentMask, std::int32_t firstReserved,
                 std::int32_t secondReserved);
    const ScanSpec& Scan(std::uint32_t index) const;

    // Components are numbered 1 to 3; another id throws EJpegIndexOutOfRange.
    // A factor of 0 or above 4 throws EJpegValueOutOfRange.
    void SetHorizontalSampling(std::uint32_t componentId, std::uint32_t factor);
    void SetVerticalSampling(std::uint32_t componentId, std::uint32_t factor);
    const JpegComponent& Component(std::uint32_t componentId) const;

    // Throws what EncodeImage throws for the settings, whatever the image: a
    // quality outside 1 to 100, scans and sampling factors that do not fit
    // together, a comment too long. A caller can so refuse bad settings
    // before it reads an image.
    void ValidateSettings();

    // Writes the whole file. Every setting is checked before the first byte
    // is written; after that an abort or an internal error leaves the bytes
    // written so far in the stream. The stream's error state is not looked at.
    void EncodeImage(std::ostream& output, const RasterImage& image) override;

    // The interval of the last DRI segment written (0 before any). It starts
    // again from 0 with every encode, so every file defines its own interval.
    std::uint32_t LastRestartInterval() const { return lastRestartInterval_; }

private:
    void WireComponents();
    void ComputeFrameSize();
    void CheckImageSize() const;
    void CheckSettings();
    void CheckSampling() const;
    void CheckScanLayout();
    std::uint32_t UnitsInScan(std::uint32_t componentMask, std::uint32_t& componentCount) const;
    void SampleComponents();
    void SampleComponentsOnThreads();
    void WriteScans();
    void WriteScansOnThreads();
    // The components of a scan, in id order, and the context that codes them.
    std::size_t ScanComponents(const ScanSpec& spec, std::array<ScanComponent, 3>& components);
    ScanContext ContextFor(std::span<const ScanComponent> components);
    // The scans to write, as the scan list or the grayscale setting gives them.
    std::vector<ScanSpec> ScansToWrite() const;
    TaskPool& Pool();
    bool ReportPassProgress(std::int32_t percent);

    void WriteStartOfImage();
    void WriteJfifHeader();
    void WriteApplicationSegment(const std::string& data);
    void WriteComment(const std::string& text);
    void WriteFrameHeader();
    void WriteQuantizationTables();
    void WriteEndOfImage();

    BitOutput output_;
    QuantTable chrominanceTable_{}; // quantization table 1
    QuantTable luminanceTable_{};   // quantization table 0
    std::array<HuffmanCodeTable, 2> acTables_;
    std::array<HuffmanCodeTable, 2> dcTables_;
    bool grayscale_ = false;
    std::uint32_t restartRows_ = kDefaultRestartRows;
    std::uint32_t lastRestartInterval_ = 0;
    std::uint32_t quality_ = kDefaultQuality;
    unsigned threadCount_ = 1;
    std::unique_ptr<TaskPool> pool_; // made by the first encode on threads
    std::string comment_;
    std::vector<std::string> applicationSegments_;
    std::int32_t passCount_ = 0;
    std::int32_t currentPass_ = 0;
    std::uint32_t imageWidth_ = 0;
    std::uint32_t imageHeight_ = 0;
    std::uint32_t maximumHorizontal_ = 1;
    std::uint32_t maximumVertical_ = 1;
    std::uint32_t mcuRows_ = 0;
    std::uint32_t mcuColumns_ = 0;
    const RasterImage* image_ = nullptr;
    std::uint32_t scanCount_ = 0;
    std::array<ScanSpec, kScanListSize> scans_{};
    // Indexed by component id; entry 0 is never used.
    std::array<JpegComponent, 4> components_;
};

} // namespace jpeg
