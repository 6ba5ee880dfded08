// The common root of the codec's reader and writer: a progress function and
// the 32-bit user value handed back to it.
#pragma once

#include <cstdint>

namespace jpeg {

class RasterCoder;

// Called with the reporting coder, the user value, the current pass (1-based),
// the number of passes, the percent done (0 to 100) and an abort flag that the
// caller sets to 0 before each call. Setting the flag nonzero stops the work.
using CodecProgressFunction = void (*)(RasterCoder& coder, std::uint32_t userValue,
                                       std::int32_t currentPass, std::int32_t passCount,
                                       std::int32_t percent, std::uint8_t& abortFlag);

class RasterCoder {
public:
    RasterCoder() = default;
    RasterCoder(const RasterCoder&) = delete;
    RasterCoder& operator=(const RasterCoder&) = delete;
    virtual ~RasterCoder();

    // An empty hook kept so the virtual operations stay in their fixed order;
    // nothing calls it and no subclass replaces it.
    virtual void UpdateImage() {}

    // Either value may be empty or 0; a null function turns reporting off.
    void SetProgressFunction(CodecProgressFunction function, std::uint32_t userValue);
    CodecProgressFunction ProgressFunction() const { return progressFunction_; }
    std::uint32_t ProgressUserValue() const { return userValue_; }

    // Calls the progress function when one is set. Returns true when it asked
    // to stop; each subclass raises its own abort exception.
    bool ReportProgress(std::int32_t currentPass, std::int32_t passCount, std::int32_t percent);

private:
    CodecProgressFunction progressFunction_ = nullptr;
    std::uint32_t userValue_ = 0;
};

} // namespace jpeg
