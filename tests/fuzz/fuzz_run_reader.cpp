// libFuzzer target: saved runs read back from arbitrary bytes.
//
// Checked for every input: reading never fails; when the text is taken for a
// run, every row is a reading or an event (never both, never neither), the
// count of readings matches the rows, times of day lie within a day, and the
// time line of a saved log never runs backwards.
#include "record/run_reader.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<velmora::SavedRun> run = velmora::ReadRun(text);
    if (!run) {
        return 0;
    }
    uint64_t readings = 0;
    double previous = 0;
    for (const velmora::RunRow& row : run->rows) {
        Require(row.value.has_value() || !row.event.empty());
        if (run->kind == velmora::SavedRun::Kind::SavedLog) {
            Require(row.value.has_value() && row.event.empty());
        }
        readings += row.value.has_value();
        Require(row.timeOfDay >= 0 && row.timeOfDay < 1.0 + 1e-9);
        Require(std::isfinite(row.seconds));
        if (run->kind == velmora::SavedRun::Kind::SavedLog) {
            Require(row.seconds >= previous);
            previous = row.seconds;
        }
    }
    Require(readings == run->readings);
    return 0;
}
