// TrimBlanks: strips control characters and blanks from both ends of a text.
#include "text/trim.h"

namespace velmora {

namespace {

bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

} // namespace

std::string TrimBlanks(std::string_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlankOrControl(text[first])) {
        ++first;
    }
    while (last > first && IsBlankOrControl(text[last - 1])) {
        --last;
    }
    return std::string(text.substr(first, last - first));
}

} // namespace velmora
