// Joins the deliveries of one over-long reply, so that its tail is not taken for the next answer.
#pragma once

#include <cstddef>
#include <optional>

namespace velmora {

// A delivery that fills the receive buffer and holds no line feed is not a
// reply yet: the meter is still sending. The reply ends with the first
// delivery that is shorter or holds a line feed; one that needed more than
// a delivery is too long for any meter's answer and is put aside whole.
// Every reply that fits one delivery passes untouched.
class ReplyAssembler {
public:
    static constexpr size_t kDeliverySize = 2048;

    enum class Outcome { Reply, Incomplete, Dropped };
    // `droppedBytes` is set with Dropped: the length of the whole reply.
    Outcome take(const char* buffer, size_t length, size_t* droppedBytes);
    void reset() { pending_ = 0; }
    bool pending() const { return pending_ > 0; }

private:
    size_t pending_ = 0; // bytes of the reply kept so far
};

} // namespace velmora
