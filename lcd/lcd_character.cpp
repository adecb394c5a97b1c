// TiLCDCharacter: row operations, the Data text form and copying.
#include "lcd/lcd_character.h"

#include "lcd/default_patterns.h"
#include "lcd/list_error.h"
#include "text/integer_conversion.h"

#include <algorithm>
#include <cstddef>

namespace velmora {

namespace {

void CheckIndex(int index, std::size_t count) {
    if (index < 0 || static_cast<std::size_t>(index) >= count) {
        throw EListError::OutOfBounds(index);
    }
}

} // namespace

void TiLCDCharacter::SetRowCount(int count) {
    const std::size_t wanted = count < 0 ? 0 : static_cast<std::size_t>(count);
    if (wanted != rows_.size()) {
        rows_.resize(wanted, 0);
    }
}

std::int32_t TiLCDCharacter::Row(int index) const {
    CheckIndex(index, rows_.size());
    return rows_[static_cast<std::size_t>(index)];
}

void TiLCDCharacter::SetRow(int index, std::int32_t value) {
    CheckIndex(index, rows_.size());
    rows_[static_cast<std::size_t>(index)] = value;
}

void TiLCDCharacter::DeleteRow(int index) {
    CheckIndex(index, rows_.size());
    rows_.erase(rows_.begin() + index);
}

void TiLCDCharacter::SetRows(std::span<const std::int32_t> values) {
    rows_.insert(rows_.end(), values.begin(), values.end());
}

void TiLCDCharacter::LoadDefaultPattern(int code) {
    rows_.clear();
    if (code >= 0 && code <= 255) {
        SetRows(DefaultPattern(code));
    }
}

void TiLCDCharacter::Assign(const TPersistent& source) {
    if (const auto* other = dynamic_cast<const TiLCDCharacter*>(&source)) {
        SetRowCount(other->RowCount());
        std::copy(other->rows_.begin(), other->rows_.end(), rows_.begin());
        return;
    }
    TPersistent::Assign(source);
}

std::string TiLCDCharacter::Data() const {
    std::string text;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (i > 0) {
            text.push_back(',');
        }
        text += std::to_string(rows_[i]);
    }
    return text;
}

void TiLCDCharacter::SetData(std::string_view text) {
    // Tokens are taken one at a time, so a bad one leaves the rows after it alone.
    std::size_t start = 0;
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        if (start > text.size()) {
            return; // no token for this row
        }
        std::size_t end = text.find(',', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        rows_[row] = ParseInteger(text.substr(start, end - start));
        start = end + 1;
    }
}

} // namespace velmora
