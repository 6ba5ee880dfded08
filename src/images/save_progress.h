// Progress of a save: the steps of BMP building and of the codec passes go to
// whatever progress target is current (the saving progress dialog's bar).
#pragma once

#include <cstdint>

#include "jpeg/raster_coder.h"

namespace images {

// Something that advances by one step per call, such as a progress bar with
// step 1. Step() is called on the saving worker's thread; an implementation
// that touches widgets must hand the step over to the user-interface thread.
class SaveProgressTarget {
public:
    virtual ~SaveProgressTarget() = default;
    virtual void Step() = 0;
};

// The process-wide current target: the saving progress dialog while a save
// runs, or null. Set on the user-interface thread (or cleared by the worker
// at its end); read by the worker. The target must outlive its time as the
// current one.
void SetSaveProgressTarget(SaveProgressTarget* target);
SaveProgressTarget* CurrentSaveProgressTarget();

// Steps the current target once, if there is one. The step function given to
// BuildBmpImage by the saving workers.
void StepBmpProgress();

// The codec progress function of the save path. Only the current pass is
// used: when it differs from the last pass seen and a target is current, the
// target steps once and the pass becomes the last one seen. The last pass
// seen is process-wide, 0 at start and never reset, so the first report of
// an image steps only when its pass differs from the last of the image
// before. Never sets the abort flag.
void StepCodecProgress(jpeg::RasterCoder& coder, std::uint32_t userValue, std::int32_t currentPass,
                       std::int32_t passCount, std::int32_t percent, std::uint8_t& abortFlag);

// The last pass seen by StepCodecProgress (for diagnostics and tests).
std::int32_t LastCodecPassSeen();

} // namespace images
