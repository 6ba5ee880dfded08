// One colour component of the JPEG writer: sampling factors, its quantized
// coefficient units and the tables it is coded with.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace jpeg {

class HuffmanCodeTable;

// 64 quantizer values in zigzag order, as a DQT segment lists them.
using QuantTable = std::array<std::uint16_t, 64>;
// 64 quantized coefficients in natural row-major order (index 8u + v, u the
// vertical frequency).
using CoefficientUnit = std::array<std::int16_t, 64>;

// Not copyable (it refers to the writer's tables); owned by the writer.
class JpegComponent {
public:
    static constexpr std::uint32_t kMaximumFactor = 4;

    JpegComponent() = default;
    JpegComponent(const JpegComponent&) = delete;
    JpegComponent& operator=(const JpegComponent&) = delete;

    // A factor of 0 or above 4 throws EJpegValueOutOfRange "Value out of
    // range" and changes nothing. Both are 1 at construction.
    void SetHorizontalSampling(std::uint32_t factor);
    void SetVerticalSampling(std::uint32_t factor);
    std::uint32_t HorizontalFactor() const { return horizontalFactor_; }
    std::uint32_t VerticalFactor() const { return verticalFactor_; }

    // Maximum factor ÷ own factor, set by SampleComponent.
    std::uint32_t HorizontalRatio() const { return horizontalRatio_; }
    std::uint32_t VerticalRatio() const { return verticalRatio_; }
    void SetRatios(std::uint32_t verticalRatio, std::uint32_t horizontalRatio);

    // Replaces the coefficient array with rows × columns zeroed units, stored
    // row by row. Throws std::bad_alloc when it cannot be held.
    void AllocateCoefficients(std::uint32_t rows, std::uint32_t columns);
    // Frees the array; the grid becomes 0 × 0.
    void ReleaseCoefficients();
    std::uint32_t DataUnitRows() const { return rows_; }
    std::uint32_t DataUnitColumns() const { return columns_; }

    // The unit at (row, column); both must lie inside the grid.
    CoefficientUnit& Unit(std::uint32_t row, std::uint32_t column) {
        return units_[static_cast<std::size_t>(row) * columns_ + column];
    }
    const CoefficientUnit& Unit(std::uint32_t row, std::uint32_t column) const {
        return units_[static_cast<std::size_t>(row) * columns_ + column];
    }
    // The unit at (row, column) with both clamped to the grid's last row and
    // column: an interleaved coding unit that reaches past this component's
    // grid repeats its edge units. The grid must not be empty.
    const CoefficientUnit& ClampedUnit(std::uint32_t row, std::uint32_t column) const;

    // The writer's tables this component uses (not owned); wired once by the
    // writer at construction.
    void SetTables(const QuantTable* quantization, HuffmanCodeTable* dcTable,
                   HuffmanCodeTable* acTable);
    const QuantTable* QuantizationTable() const { return quantization_; }
    HuffmanCodeTable* DcTable() const { return dcTable_; }
    HuffmanCodeTable* AcTable() const { return acTable_; }

private:
    std::uint32_t rows_ = 0;
    std::uint32_t columns_ = 0;
    // calloc'ed: a large block comes zeroed from the system without a pass
    // over every page.
    struct FreeBlock {
        void operator()(CoefficientUnit* block) const;
    };
    std::unique_ptr<CoefficientUnit[], FreeBlock> units_;
    std::uint32_t verticalFactor_ = 1;
    std::uint32_t horizontalFactor_ = 1;
    std::uint32_t verticalRatio_ = 1;
    std::uint32_t horizontalRatio_ = 1;
    const QuantTable* quantization_ = nullptr;
    HuffmanCodeTable* dcTable_ = nullptr;
    HuffmanCodeTable* acTable_ = nullptr;
};

} // namespace jpeg
