#include "images/composite.h"

#include "images/image_list.h"

#include <cstring>

namespace images {
namespace {

// The black border round the four frames, and the gap between columns twice
// as wide: 8 pixels for pictures 360 wide or less, in proportion above.
constexpr int kBorder = 8;
constexpr int kBorderWidth = 360;

int BorderFor(int width) {
    return width <= kBorderWidth ? kBorder : (kBorder * width + kBorderWidth / 2) / kBorderWidth;
}

// Copies the frame rows of the image view `view` shows to (x, top).
void CopyFrameRows(const ImageList& list, int view, picture::Picture& composite, int x, int top) {
    const picture::Picture* image = list.PictureAt(list.Current(view));
    if (image == nullptr)
        return; // stays black
    for (int row = 0; row < image->Height(); ++row)
        std::memcpy(composite.Row(top + row) + x * picture::kBytesPerPixel, image->Row(row),
                    std::size_t(image->Stride()));
}

} // namespace

picture::Shape CompositeShape(const picture::Shape& shape) {
    const int border = BorderFor(shape.width);
    return {2 * (border + shape.width) + 2 * border, 2 * (border + shape.height) + shape.bandRows,
            0};
}

picture::Picture BuildComposite(const ImageList& list) {
    const picture::Shape& shape = list.Shape();
    picture::Picture composite = picture::Picture::Allocate(CompositeShape(shape));
    if (!composite)
        return composite;
    std::memset(composite.Pixels(), 0, composite.Bytes());
    const int border = BorderFor(shape.width);
    const int rightX = border + shape.width + 2 * border;
    const int bandTop = border + shape.height;
    const int lowerTop = bandTop + shape.bandRows;
    CopyFrameRows(list, 0, composite, border, border);
    CopyFrameRows(list, 1, composite, rightX, border);
    CopyFrameRows(list, 2, composite, border, lowerTop);
    CopyFrameRows(list, 3, composite, rightX, lowerTop);
    if (list.LabelOn()) {
        const LabelBand& band = list.Band();
        for (int row = 0; row < band.rows; ++row)
            std::memcpy(composite.Row(bandTop + row), band.Row(row),
                        std::size_t(band.width) * picture::kBytesPerPixel);
    }
    return composite;
}

} // namespace images
