// Compact store for reading-log lines that have scrolled out of the log box.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Lines are kept as UTF-8 bytes, each ended by CR LF, in fixed-size chunks so
// that a long run never copies the whole log to grow it. A million readings
// cost about their text (some 35 bytes a line) and nothing per line besides.
class ReadingLogStore {
public:
    // Appends text made of whole lines, each already ended by CR LF.
    void appendLines(std::string_view crLfLines, int64_t lineCount);
    void clear();

    int64_t lineCount() const { return lineCount_; }
    int64_t byteCount() const { return byteCount_; }

    // Calls `sink(bytes)` for each stored chunk in order; used when saving.
    template <typename Sink>
    void forEachChunk(Sink&& sink) const {
        for (const auto& chunk : chunks_) {
            sink(std::string_view(chunk));
        }
    }

private:
    static constexpr size_t kChunkBytes = 1 << 20;
    std::vector<std::string> chunks_;
    int64_t lineCount_ = 0;
    int64_t byteCount_ = 0;
};

} // namespace velmora
