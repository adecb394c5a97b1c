// Splitting a burst reply.
#include "acquisition/burst_split.h"

namespace velmora {

std::vector<std::string> SplitBurst(const std::string& reply) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= reply.size()) {
        const size_t comma = reply.find(',', start);
        const size_t end = comma == std::string::npos ? reply.size() : comma;
        parts.push_back(reply.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

} // namespace velmora
