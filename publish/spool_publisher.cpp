// What every server's publisher keeps of its link, and how it is told.
#include "publish/spool_publisher.h"

#include "publish/reading_spool.h"

namespace velmora {
namespace {

const char* LinkWord(PublisherState::Link link) {
    switch (link) {
    case PublisherState::Link::Connecting:
        return "connecting";
    case PublisherState::Link::Up:
        return "up";
    case PublisherState::Link::Down:
        return "down";
    case PublisherState::Link::Refused:
        return "refused";
    }
    return "";
}

// More than this many items waiting is "behind", whatever the link says.
constexpr uint64_t kBehind = 50;

} // namespace

std::string DescribePublisher(const std::string& name, const PublisherState& state, bool detail) {
    std::string text = name + " " + LinkWord(state.link);
    if (state.waiting > 0 && (state.link != PublisherState::Link::Up || state.waiting > kBehind)) {
        text += ", " + std::to_string(state.waiting) +
                (state.link == PublisherState::Link::Up ? " behind" : " waiting");
    }
    if (state.dropped > 0) {
        text += ", " + std::to_string(state.dropped) + " dropped";
    }
    if (detail && state.link != PublisherState::Link::Up && !state.detail.empty()) {
        text += " (" + state.detail + ")";
    }
    return text;
}

bool Troubled(const PublisherState& state) {
    return state.link != PublisherState::Link::Up || state.waiting > kBehind;
}

PublisherState SpoolPublisher::state() const {
    PublisherState state;
    state.link = link_;
    state.waiting = spool_.waiting(consumer());
    state.dropped = refusedByServer_ + spool_.dropped(consumer());
    state.detail = detail_;
    return state;
}

void SpoolPublisher::setLink(PublisherState::Link link, std::string detail) {
    link_ = link;
    detail_ = std::move(detail);
    if (link == PublisherState::Link::Up) {
        lastSaid_.clear(); // the next trouble is said again
    }
    if (onStateChanged) {
        onStateChanged();
    }
}

void SpoolPublisher::say(const std::string& text) {
    if (text != lastSaid_ && onNotice) {
        onNotice(text);
    }
    lastSaid_ = text;
}

} // namespace velmora
