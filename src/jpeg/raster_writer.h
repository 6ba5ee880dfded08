// The writing side of the codec: a coder that writes a RasterImage to a byte
// stream in some file format.
#pragma once

#include "jpeg/raster_coder.h"

#include <ostream>

namespace jpeg {

class RasterImage;

class RasterWriter : public RasterCoder {
public:
    RasterWriter() = default;
    ~RasterWriter() override = default;

    // Writes the whole image to `output` on the caller's thread. Failures are
    // exceptions of the EGraphicsException family; the stream then holds what
    // was written so far. The image is only read, and only during the call.
    virtual void EncodeImage(std::ostream& output, const RasterImage& image) = 0;
};

} // namespace jpeg
