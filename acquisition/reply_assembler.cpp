// Joining the deliveries of an over-long reply.
#include "acquisition/reply_assembler.h"

#include <cstring>

namespace velmora {

ReplyAssembler::Outcome ReplyAssembler::take(const char* buffer, size_t length,
                                             size_t* droppedBytes) {
    const bool lineEnd = std::memchr(buffer, '\n', length) != nullptr;
    if (length >= kDeliverySize && !lineEnd) {
        pending_ += length;
        return Outcome::Incomplete;
    }
    if (pending_ == 0) {
        return Outcome::Reply;
    }
    // Only its length is kept: nothing of it is a reading.
    if (droppedBytes) {
        *droppedBytes = pending_ + length;
    }
    pending_ = 0;
    return Outcome::Dropped;
}

} // namespace velmora
