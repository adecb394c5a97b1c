// TiUpdateObject: the process-wide sweep that passes on repaints held back by a frame limit.
#pragma once

#include <QObject>
#include <QTimer>

#include <vector>

namespace velmora {

class TiComponent;

// Every live component is registered here from construction to destruction.
// The 1000 ms timer runs only while at least one component exists, so an
// idle program without displays has no timer. GUI thread only.
class TiUpdateObject : public QObject {
public:
    static TiUpdateObject& Instance();

    void Add(TiComponent* component);
    void Remove(TiComponent* component);

    int ComponentCount() const { return static_cast<int>(components_.size()); }
    bool TimerActive() const { return timer_.isActive(); }
    int TimerInterval() const { return timer_.interval(); }

    // One tick: flushes every component that is not suspended, has a pending
    // request and whose last repaint lies more than one frame back.
    void Sweep();

private:
    TiUpdateObject();

    QTimer timer_;
    std::vector<TiComponent*> components_;
    std::vector<TiComponent*> sweepList_; // reused copy, so a tick does not allocate
};

} // namespace velmora
