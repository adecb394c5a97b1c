// TiLCDMatrix: a display that imitates a dot-matrix liquid-crystal panel.
#pragma once

#include "lcd/character_collection.h"
#include "lcd/custom_component.h"
#include "lcd/lcd_element.h"

#include <QColor>

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class TiReader;
class TiWriter;

// Derived geometry, recomputed by ComputeGeometry from the size and the
// properties; right and bottom are inclusive.
struct TiLCDGeometry {
    int AreaLeft = 0;
    int AreaTop = 0;
    int AreaRight = 0;
    int AreaBottom = 0;
    int CellColumns = 0; // whole characters only, their spacing cells included
    int CellRows = 0;
    int CharColumns = 10; // until the first computation
    int CharRows = 0;
    int SlackHorz = 0; // pixels left beside and below the grid
    int SlackVert = 0;
    int GridLeft = 0; // top-left pixel of cell column 0, cell row 0
    int GridTop = 0;
};

// Text is shown one character per block of CharactersetWidth x
// CharactersetHeight square cells, in reading order, from the display's own
// 256 patterns (one per 8-bit code). Position i stands in character column
// i mod CharColumns and row i div CharColumns, worked out at each paint, so
// a change of size re-flows the text. Cell column i, row j is the square
// at (GridLeft + i*(CellsWidth+CellsSpacingHorz), GridTop + j*(CellsWidth+CellsSpacingVert)).
//
// Setters ignore values outside their range and values equal to the stored
// one; any other change is stored and a repaint requested. GUI thread only.
class TiLCDMatrix : public TiCustomComponent {
public:
    explicit TiLCDMatrix(QWidget* parent = nullptr);
    ~TiLCDMatrix() override;

    int CharactersetWidth() const { return charactersetWidth_; }
    void SetCharactersetWidth(int value); // > 0; patterns are not touched
    int CharactersetHeight() const { return charactersetHeight_; }
    void SetCharactersetHeight(int value); // > 0; every pattern gets this many rows
    int CharacterSpacingHorz() const { return characterSpacingHorz_; }
    void SetCharacterSpacingHorz(int value); // >= 0, in cells
    int CharacterSpacingVert() const { return characterSpacingVert_; }
    void SetCharacterSpacingVert(int value); // >= 0, in cells
    QColor CellsColorOn() const { return cellsColorOn_; }
    void SetCellsColorOn(const QColor& value); // also recolours every position
    QColor CellsColorOff() const { return cellsColorOff_; }
    void SetCellsColorOff(const QColor& value);
    int CellsSpacingHorz() const { return cellsSpacingHorz_; }
    void SetCellsSpacingHorz(int value); // >= 0, in pixels
    int CellsSpacingVert() const { return cellsSpacingVert_; }
    void SetCellsSpacingVert(int value); // >= 0, in pixels
    int CellsWidth() const { return cellsWidth_; }
    void SetCellsWidth(int value); // > 0, in pixels; cells are square
    bool CellsShowOff() const { return cellsShowOff_; }
    void SetCellsShowOff(bool value);
    int OuterMarginLeft() const { return outerMarginLeft_; }
    void SetOuterMarginLeft(int value); // margins >= 0, in pixels
    int OuterMarginTop() const { return outerMarginTop_; }
    void SetOuterMarginTop(int value);
    int OuterMarginRight() const { return outerMarginRight_; }
    void SetOuterMarginRight(int value);
    int OuterMarginBottom() const { return outerMarginBottom_; }
    void SetOuterMarginBottom(int value);
    const std::string& CharactersetName() const { return charactersetName_; }

    // Each byte is one position, control codes included (no line breaking).
    // Assigning the same text again still rewrites the positions.
    const std::string& Text() const { return text_; }
    void SetText(const std::string& text);

    // Lays the text into the positions from (column, row) on, in the colour.
    void WriteText(std::string_view text, int column, int row, const QColor& color);
    // Every position becomes empty in CellsColorOn; the count stays.
    void ClearPositions();
    // Appends empty positions until there are count; never removes any.
    void EnsurePositions(long long count);
    int PositionCount() const { return static_cast<int>(positions_.size()); }
    // Index checked: EListError outside 0..PositionCount()-1.
    TiLCDElement& Position(int index);
    const TiLCDElement& Position(int index) const;
    // Code checked: EListError outside 0..255.
    TiLCDCharacter& Pattern(int code);
    const TiLCDCharacter& Pattern(int code) const;
    const TiCharacterPatterns& Patterns() const { return patterns_; }

    // Default patterns for all codes, then width 5 and height 7 (through the setters).
    void LoadDefaultCharacterSet();
    void ComputeGeometry();
    const TiLCDGeometry& Geometry() const { return geometry_; }

    void PaintToCanvas(QPainter& canvas) override;
    // Lit cells of one character; nothing outside the grid's character places.
    void DrawCharacter(QPainter& canvas, int column, int row, int code, const QColor& color);

    // The persisted "Characters" value (see character_collection.h).
    void WriteCharacters(TiWriter& writer) const;
    void ReadCharacters(TiReader& reader);

private:
    template <typename T>
    void Store(T& field, const T& value);
    void StoreAtLeast(int& field, int value, int minimum);
    void FillCell(QPainter& canvas, long long column, long long row, const QColor& color);

    int charactersetWidth_ = 5;
    int charactersetHeight_ = 7;
    std::string charactersetName_ = "(Default)";
    int characterSpacingHorz_ = 1;
    int characterSpacingVert_ = 1;
    QColor cellsColorOn_{0, 255, 255};
    QColor cellsColorOff_{0, 128, 128};
    int cellsSpacingHorz_ = 1;
    int cellsSpacingVert_ = 1;
    int cellsWidth_ = 2;
    bool cellsShowOff_ = true;
    int outerMarginLeft_ = 2;
    int outerMarginTop_ = 2;
    int outerMarginRight_ = 2;
    int outerMarginBottom_ = 2;
    std::string text_;
    TiCharacterPatterns patterns_;
    std::vector<TiLCDElement> positions_;
    TiLCDGeometry geometry_;
};

} // namespace velmora
