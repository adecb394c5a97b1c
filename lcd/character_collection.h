// The stored form of a display's 256 character patterns (the "Characters" property).
#pragma once

#include "lcd/lcd_character.h"

#include <array>

namespace velmora {

class TiReader;
class TiWriter;

using TiCharacterPatterns = std::array<TiLCDCharacter, 256>;

// Writes the collection kind (14), then for codes 0 to 254 an item: list
// begin (1), the entry "Data" (length byte 4, "Data", its text as a string
// value), list end (0); then the collection's list end (0). Pattern 255 is
// never written.
void WriteCharacterCollection(TiWriter& writer, const TiCharacterPatterns& patterns);

// Reads a collection written as above, item i into pattern i, each "Data"
// through TiLCDCharacter::SetData (cut to the pattern's rows). A value that
// is not a collection is left unread. Fewer items leave the other patterns
// alone; a 257th item raises EListError "List index out of bounds (256)".
// A bad token raises EConvertError, a malformed stream EReadError; patterns
// read before the error keep what they received.
void ReadCharacterCollection(TiReader& reader, TiCharacterPatterns& patterns);

} // namespace velmora
