#include "jpeg/raster_coder.h"

namespace jpeg {

RasterCoder::~RasterCoder() = default;

void RasterCoder::SetProgressFunction(CodecProgressFunction function, std::uint32_t userValue) {
    progressFunction_ = function;
    userValue_ = userValue;
}

bool RasterCoder::ReportProgress(std::int32_t currentPass, std::int32_t passCount,
                                 std::int32_t percent) {
    if (progressFunction_ == nullptr) {
        return false;
    }
    std::uint8_t abortFlag = 0;
    progressFunction_(*this, userValue_, currentPass, passCount, percent, abortFlag);
    return abortFlag != 0;
}

} // namespace jpeg
