// Chunked byte store for the reading log.
#include "app/reading_log_store.h"

#include <algorithm>

namespace velmora {

void ReadingLogStore::appendLines(std::string_view crLfLines, int64_t lineCount) {
    while (!crLfLines.empty()) {
        if (chunks_.empty() || chunks_.back().size() >= kChunkBytes) {
            chunks_.emplace_back();
            chunks_.back().reserve(kChunkBytes);
        }
        std::string& chunk = chunks_.back();
        const size_t room = kChunkBytes - chunk.size();
        const size_t take = std::min(room, crLfLines.size());
        chunk.append(crLfLines.substr(0, take));
        crLfLines.remove_prefix(take);
        byteCount_ += static_cast<int64_t>(take);
    }
    lineCount_ += lineCount;
}

void ReadingLogStore::clear() {
    chunks_.clear();
    chunks_.shrink_to_fit();
    lineCount_ = 0;
    byteCount_ = 0;
}

} // namespace velmora
