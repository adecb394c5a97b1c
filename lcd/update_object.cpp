// TiUpdateObject: registration of components and the once-a-second sweep.
#include "lcd/update_object.h"

#include "lcd/component.h"

#include <algorithm>

namespace velmora {

TiUpdateObject& TiUpdateObject::Instance() {
    // Never destroyed: components may outlive static destruction order, and
    // the timer must not be torn down after the application object.
    static TiUpdateObject* instance = new TiUpdateObject;
    return *instance;
}

TiUpdateObject::TiUpdateObject() {
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &TiUpdateObject::Sweep);
}

void TiUpdateObject::Add(TiComponent* component) {
    components_.push_back(component);
    if (components_.size() == 1) {
        timer_.start();
    }
}

void TiUpdateObject::Remove(TiComponent* component) {
    const auto it = std::find(components_.begin(), components_.end(), component);
    if (it == components_.end()) {
        return;
    }
    components_.erase(it);
    if (components_.empty()) {
        timer_.stop();
    }
}

void TiUpdateObject::Sweep() {
    // A copy, because a flush may run code that adds or removes components.
    sweepList_ = components_;
    const double now = TiComponent::Now();
    for (TiComponent* component : sweepList_) {
        if (std::find(components_.begin(), components_.end(), component) == components_.end()) {
            continue; // removed during this sweep
        }
        if (!component->RepaintSuspended() && component->RepaintPending() &&
            TiComponent::FrameIntervalPassed(component->LastRepaintTime(),
                                             component->UpdateFrameRate(), now)) {
            component->FlushRepaint();
        }
    }
}

} // namespace velmora
