#include "jpeg/jpeg_component.h"

#include "jpeg/errors.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace jpeg {

void JpegComponent::SetHorizontalSampling(std::uint32_t factor) {
    if (factor == 0 || factor > kMaximumFactor) {
        throw EJpegValueOutOfRange();
    }
    horizontalFactor_ = factor;
}

void JpegComponent::SetVerticalSampling(std::uint32_t factor) {
    if (factor == 0 || factor > kMaximumFactor) {
        throw EJpegValueOutOfRange();
    }
    verticalFactor_ = factor;
}

void JpegComponent::SetRatios(std::uint32_t verticalRatio, std::uint32_t horizontalRatio) {
    verticalRatio_ = verticalRatio;
    horizontalRatio_ = horizontalRatio;
}

void JpegComponent::AllocateCoefficients(std::uint32_t rows, std::uint32_t columns) {
    ReleaseCoefficients();
    const std::size_t count = static_cast<std::size_t>(rows) * columns;
    if (count != 0) {
        units_.reset(static_cast<CoefficientUnit*>(std::calloc(count, sizeof(CoefficientUnit))));
        if (!units_) {
            throw std::bad_alloc();
        }
    }
    rows_ = rows;
    columns_ = columns;
}

void JpegComponent::ReleaseCoefficients() {
    units_.reset();
    rows_ = 0;
    columns_ = 0;
}

const CoefficientUnit& JpegComponent::ClampedUnit(std::uint32_t row, std::uint32_t column) const {
    if (!units_) {
        throw EJpegFatal("INTERNAL ERROR - No coefficients for component");
    }
    return Unit(std::min(row, rows_ - 1), std::min(column, columns_ - 1));
}

void JpegComponent::FreeBlock::operator()(CoefficientUnit* block) const {
    std::free(block);
}

void JpegComponent::SetTables(const QuantTable* quantization, HuffmanCodeTable* dcTable,
                              HuffmanCodeTable* acTable) {
    quantization_ = quantization;
    dcTable_ = dcTable;
    acTable_ = acTable;
}

} // namespace jpeg
