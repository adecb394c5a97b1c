// TiLCDCharacter: one character pattern of a dot-matrix display, a list of row bit masks.
#pragma once

#include "lcd/persistent.h"

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Row 0 is the top row. With a character width of w cells, cell column c
// (0 = leftmost) is lit when bit w-1-c of the row is set, so bit 0 is always
// the rightmost cell. Index arguments outside the rows raise EListError.
class TiLCDCharacter : public TPersistent {
public:
    TiLCDCharacter() = default;

    std::string ClassName() const override { return "TiLCDCharacter"; }

    int RowCount() const { return static_cast<int>(rows_.size()); }
    // Drops rows from the bottom or appends zero rows; a negative count means 0.
    void SetRowCount(int count);
    std::int32_t Row(int index) const;
    void SetRow(int index, std::int32_t value);
    void AddRow(std::int32_t value) { rows_.push_back(value); }
    void DeleteRow(int index);
    void ClearRows() { rows_.clear(); }
    // Appends the values as rows, in order.
    void SetRows(std::span<const std::int32_t> values);
    void SetRows(std::initializer_list<std::int32_t> values) {
        SetRows(std::span<const std::int32_t>(values.begin(), values.size()));
    }
    const std::vector<std::int32_t>& Rows() const { return rows_; }

    // Seven rows of the code's default pattern; a code outside 0..255 leaves no rows.
    void LoadDefaultPattern(int code);

    // Copies another pattern; any other source is refused with EConvertError
    // "Cannot assign a <source> to a TiLCDCharacter" and this pattern is unchanged.
    void CopyFrom(const TPersistent& source) { Assign(source); }
    void Assign(const TPersistent& source) override;

    // The rows as signed decimals joined by ",": {14, -1} -> "14,-1", no rows -> "".
    std::string Data() const;
    // Stores the comma-separated tokens into the existing rows in order; the
    // row count never changes, extra tokens are ignored and rows without a
    // token keep their values. A bad token raises EConvertError
    // "'<token>' is not a valid integer value"; rows before it are already stored.
    //   rows {0,0,0}: SetData("1,2")     -> {1,2,0}
    //   rows {0,0,0}: SetData(" 5,$1F")  -> {5,31,0}
    //   rows {0,0,0}: SetData("1,,3")    -> {1,0,0}, then EConvertError "'' is ..."
    void SetData(std::string_view text);

    friend bool operator==(const TiLCDCharacter& a, const TiLCDCharacter& b) {
        return a.rows_ == b.rows_;
    }

private:
    std::vector<std::int32_t> rows_;
};

} // namespace velmora
