// Joining the deliveries of one reply: what passes, what waits, what is put aside.
#include "acquisition/reply_assembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

using Outcome = ReplyAssembler::Outcome;

TEST(ReplyAssembler, ADeliveryThatFillsTheBufferWithoutALineEndWaitsForTheRest) {
    const std::string full(2048, 'x');
    const std::string fullWithLineEnd = std::string(2046, 'x') + "\r\n";
    const struct {
        const char* name;
        std::vector<std::string> deliveries;
        std::vector<Outcome> outcomes;
        size_t dropped; // the whole reply's length, when put aside
    } rows[] = {
        {"a reading", {"+1.0E+00\r\n"}, {Outcome::Reply}, 0},
        {"short without a line end (the quiet interval ended it)", {"+1.0"}, {Outcome::Reply}, 0},
        {"a full delivery with its line end", {fullWithLineEnd}, {Outcome::Reply}, 0},
        {"one less than full, no line end", {std::string(2047, 'x')}, {Outcome::Reply}, 0},
        {"full, then the tail with the line end",
         {full, "xx\r\n"},
         {Outcome::Incomplete, Outcome::Dropped},
         2052},
        {"full twice, then a short tail",
         {full, full, "x"},
         {Outcome::Incomplete, Outcome::Incomplete, Outcome::Dropped},
         4097},
        {"full, full with its line end",
         {full, fullWithLineEnd},
         {Outcome::Incomplete, Outcome::Dropped},
         4096},
        {"after a dropped reply the next passes",
         {full, "\n", "+2.0E+00\r\n"},
         {Outcome::Incomplete, Outcome::Dropped, Outcome::Reply},
         2049},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ReplyAssembler assembler;
        size_t dropped = 0;
        for (size_t i = 0; i < row.deliveries.size(); ++i) {
            EXPECT_EQ(assembler.take(row.deliveries[i].data(), row.deliveries[i].size(), &dropped),
                      row.outcomes[i])
                << i;
            EXPECT_EQ(assembler.pending(), row.outcomes[i] == Outcome::Incomplete) << i;
        }
        EXPECT_EQ(dropped, row.dropped);
        EXPECT_FALSE(assembler.pending());
    }
}

} // namespace
} // namespace velmora
