// TiLCDMatrix: properties, text positions, geometry and painting.
#include "lcd/lcd_matrix.h"

#include "lcd/list_error.h"

#include <QPainter>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>

namespace velmora {

namespace {

int ClampToInt(long long value) {
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

} // namespace

TiLCDMatrix::TiLCDMatrix(QWidget* parent)
    : TiCustomComponent(parent) {
    SetBorderStyle(TiBevelStyle::ibsRaised);
    SetBackGroundColor(QColor(95, 148, 147));
    for (TiLCDCharacter& pattern : patterns_) {
        pattern.SetRowCount(charactersetHeight_);
    }
    LoadDefaultCharacterSet();
    resize(300, 100);
}

TiLCDMatrix::~TiLCDMatrix() = default;

template <typename T>
void TiLCDMatrix::Store(T& field, const T& value) {
    if (field == value) {
        return;
    }
    field = value;
    RequestRepaint();
}

void TiLCDMatrix::StoreAtLeast(int& field, int value, int minimum) {
    if (value >= minimum) {
        Store(field, value);
    }
}

void TiLCDMatrix::SetCharactersetWidth(int value) {
    StoreAtLeast(charactersetWidth_, value, 1);
}

void TiLCDMatrix::SetCharactersetHeight(int value) {
    if (value < 1 || value == charactersetHeight_) {
        return;
    }
    charactersetHeight_ = value;
    for (TiLCDCharacter& pattern : patterns_) {
        pattern.SetRowCount(value);
    }
    RequestRepaint();
}

void TiLCDMatrix::SetCharacterSpacingHorz(int value) {
    StoreAtLeast(characterSpacingHorz_, value, 0);
}

void TiLCDMatrix::SetCharacterSpacingVert(int value) {
    StoreAtLeast(characterSpacingVert_, value, 0);
}

void TiLCDMatrix::SetCellsColorOn(const QColor& value) {
    if (value == cellsColorOn_) {
        return;
    }
    cellsColorOn_ = value;
    for (TiLCDElement& position : positions_) {
        position.Color = value;
    }
    RequestRepaint();
}

void TiLCDMatrix::SetCellsColorOff(const QColor& value) {
    Store(cellsColorOff_, value);
}
void TiLCDMatrix::SetCellsSpacingHorz(int value) {
    StoreAtLeast(cellsSpacingHorz_, value, 0);
}
void TiLCDMatrix::SetCellsSpacingVert(int value) {
    StoreAtLeast(cellsSpacingVert_, value, 0);
}
void TiLCDMatrix::SetCellsWidth(int value) {
    StoreAtLeast(cellsWidth_, value, 1);
}
void TiLCDMatrix::SetCellsShowOff(bool value) {
    Store(cellsShowOff_, value);
}
void TiLCDMatrix::SetOuterMarginLeft(int value) {
    StoreAtLeast(outerMarginLeft_, value, 0);
}
void TiLCDMatrix::SetOuterMarginTop(int value) {
    StoreAtLeast(outerMarginTop_, value, 0);
}
void TiLCDMatrix::SetOuterMarginRight(int value) {
    StoreAtLeast(outerMarginRight_, value, 0);
}
void TiLCDMatrix::SetOuterMarginBottom(int value) {
    StoreAtLeast(outerMarginBottom_, value, 0);
}

void TiLCDMatrix::SetText(const std::string& text) {
    text_ = text;
    ClearPositions();
    WriteText(text_, 0, 0, cellsColorOn_);
}

void TiLCDMatrix::WriteText(std::string_view text, int column, int row, const QColor& color) {
    ComputeGeometry();
    // 64-bit, so no row or column can overflow the index; places before
    // position 0 (a negative start) have no position and are skipped.
    const long long start = static_cast<long long>(row) * geometry_.CharColumns + column;
    EnsurePositions(start + static_cast<long long>(text.size()));
    for (std::size_t k = 0; k < text.size(); ++k) {
        const long long index = start + static_cast<long long>(k);
        if (index < 0) {
            continue;
        }
        if (index >= static_cast<long long>(positions_.size())) {
            break;
        }
        TiLCDElement& position = positions_[static_cast<std::size_t>(index)];
        position.Code = static_cast<std::uint8_t>(text[k]);
        position.Color = color;
    }
    RequestRepaint();
}

void TiLCDMatrix::ClearPositions() {
    for (TiLCDElement& position : positions_) {
        position.Color = cellsColorOn_;
        position.Code = 0;
    }
    RequestRepaint();
}

void TiLCDMatrix::EnsurePositions(long long count) {
    if (count > static_cast<long long>(positions_.size())) {
        positions_.resize(static_cast<std::size_t>(count), TiLCDElement{cellsColorOn_, 0});
    }
}

TiLCDElement& TiLCDMatrix::Position(int index) {
    if (index < 0 || index >= PositionCount()) {
        throw EListError::OutOfBounds(index);
    }
    return positions_[static_cast<std::size_t>(index)];
}

const TiLCDElement& TiLCDMatrix::Position(int index) const {
    return const_cast<TiLCDMatrix*>(this)->Position(index);
}

TiLCDCharacter& TiLCDMatrix::Pattern(int code) {
    if (code < 0 || code > 255) {
        throw EListError::OutOfBounds(code);
    }
    return patterns_[static_cast<std::size_t>(code)];
}

const TiLCDCharacter& TiLCDMatrix::Pattern(int code) const {
    return const_cast<TiLCDMatrix*>(this)->Pattern(code);
}

void TiLCDMatrix::LoadDefaultCharacterSet() {
    for (int code = 0; code < 256; ++code) {
        patterns_[static_cast<std::size_t>(code)].LoadDefaultPattern(code);
    }
    SetCharactersetWidth(5);
    SetCharactersetHeight(7);
    // Loading gave every pattern seven rows; a height that was already 7 kept
    // the setter from resizing, so the rows match in every case.
    charactersetName_ = "(Default)";
}

void TiLCDMatrix::ComputeGeometry() {
    // All in 64 bits with truncating division; every divisor is at least 1
    // because widths are at least 1 and spacings at least 0.
    const long long border = BorderMargin();
    const long long cw = cellsWidth_;
    const long long sh = cellsSpacingHorz_;
    const long long sv = cellsSpacingVert_;
    const long long w = charactersetWidth_;
    const long long h = charactersetHeight_;
    const long long ch = characterSpacingHorz_;
    const long long cv = characterSpacingVert_;

    const long long areaLeft = border + outerMarginLeft_;
    const long long areaTop = border + outerMarginTop_;
    const long long areaRight = static_cast<long long>(width()) - 1 - border - outerMarginRight_;
    const long long areaBottom = static_cast<long long>(height()) - 1 - border - outerMarginBottom_;
    const long long areaWidth = areaRight - areaLeft + 1;
    const long long areaHeight = areaBottom - areaTop + 1;

    long long cellColumns = (areaWidth + sh) / (cw + sh);
    long long cellRows = (areaHeight + sv) / (cw + sv);
    cellColumns = (cellColumns / (w + ch)) * (w + ch);
    cellRows = (cellRows / (h + cv)) * (h + cv);
    const long long charColumns = (cellColumns + ch) / (w + ch);
    const long long charRows = (cellRows + cv) / (h + cv);
    const long long slackHorz = areaWidth - cellColumns * cw - (cellColumns - 1) * sh;
    const long long slackVert = areaHeight - cellRows * cw - (cellRows - 1) * sv;

    geometry_.AreaLeft = ClampToInt(areaLeft);
    geometry_.AreaTop = ClampToInt(areaTop);
    geometry_.AreaRight = ClampToInt(areaRight);
    geometry_.AreaBottom = ClampToInt(areaBottom);
    geometry_.CellColumns = ClampToInt(cellColumns);
    geometry_.CellRows = ClampToInt(cellRows);
    geometry_.CharColumns = ClampToInt(charColumns);
    geometry_.CharRows = ClampToInt(charRows);
    geometry_.SlackHorz = ClampToInt(slackHorz);
    geometry_.SlackVert = ClampToInt(slackVert);
    geometry_.GridLeft = ClampToInt(areaLeft + slackHorz / 2);
    geometry_.GridTop = ClampToInt(areaTop + slackVert / 2);

    // A grid without places needs no positions (two negative counts must not
    // multiply into a positive one).
    if (charColumns > 0 && charRows > 0) {
        EnsurePositions(charColumns * charRows);
    }
}

void TiLCDMatrix::FillCell(QPainter& canvas, long long column, long long row, const QColor& color) {
    const long long cw = cellsWidth_;
    const long long x = geometry_.GridLeft + column * (cw + cellsSpacingHorz_);
    const long long y = geometry_.GridTop + row * (cw + cellsSpacingVert_);
    // Cells off the control would only be clipped; skipping them also keeps
    // huge settings from overflowing the rectangle.
    if (x >= width() || y >= height() || x + cw <= 0 || y + cw <= 0) {
        return;
    }
    // Cut to the control (same pixels) so that QRect's own arithmetic cannot overflow.
    const long long left = std::max(x, 0LL);
    const long long top = std::max(y, 0LL);
    const long long right = std::min<long long>(x + cw, width());
    const long long bottom = std::min<long long>(y + cw, height());
    canvas.fillRect(QRect(static_cast<int>(left), static_cast<int>(top),
                          static_cast<int>(right - left), static_cast<int>(bottom - top)),
                    color);
}

void TiLCDMatrix::PaintToCanvas(QPainter& canvas) {
    DrawBackGround(canvas, BackGroundColor());
    ComputeGeometry();
    const TiLCDGeometry& g = geometry_;

    if (cellsShowOff_) {
        for (long long i = 0; i < g.CellColumns; ++i) {
            for (long long j = 0; j < g.CellRows; ++j) {
                FillCell(canvas, i, j, cellsColorOff_);
            }
        }
    }

    if (g.CharColumns <= 0) {
        return;
    }
    for (std::size_t p = 0; p < positions_.size(); ++p) {
        const TiLCDElement& position = positions_[p];
        if (position.Code == 0) {
            continue;
        }
        const auto index = static_cast<long long>(p);
        const long long row = index / g.CharColumns;
        if (row >= g.CharRows) {
            break; // every later position lies further down, outside the grid
        }
        DrawCharacter(canvas, static_cast<int>(index % g.CharColumns), static_cast<int>(row),
                      position.Code, position.Color);
    }
}

void TiLCDMatrix::DrawCharacter(QPainter& canvas, int column, int row, int code,
                                const QColor& color) {
    const TiLCDGeometry& g = geometry_;
    if (column < 0 || column >= g.CharColumns || row < 0 || row >= g.CharRows || code < 0 ||
        code > 255) {
        return;
    }
    const std::vector<std::int32_t>& rows = patterns_[static_cast<std::size_t>(code)].Rows();
    const long long firstColumn =
        column * (static_cast<long long>(charactersetWidth_) + characterSpacingHorz_);
    const long long firstRow =
        row * (static_cast<long long>(charactersetHeight_) + characterSpacingVert_);
    // Rows a pattern lacks stay unlit, and so do columns beyond the 32 bits of a row.
    const int rowCount = std::min<int>(charactersetHeight_, static_cast<int>(rows.size()));
    for (int r = 0; r < rowCount; ++r) {
        const auto bits = static_cast<std::uint32_t>(rows[static_cast<std::size_t>(r)]);
        if (bits == 0) {
            continue;
        }
        for (int c = std::max(0, charactersetWidth_ - 32); c < charactersetWidth_; ++c) {
            const int bit = charactersetWidth_ - 1 - c;
            if (((bits >> bit) & 1u) != 0) {
                FillCell(canvas, firstColumn + c, firstRow + r, color);
            }
        }
    }
}

void TiLCDMatrix::WriteCharacters(TiWriter& writer) const {
    WriteCharacterCollection(writer, patterns_);
}

void TiLCDMatrix::ReadCharacters(TiReader& reader) {
    // Patterns already read stay changed even when a later item fails.
    struct Repaint {
        TiLCDMatrix* self;
        ~Repaint() { self->RequestRepaint(); }
    } repaint{this};
    ReadCharacterCollection(reader, patterns_);
}

} // namespace velmora
