// TiVCLComponent: adds the paint lock, opaque painting and the size-change handling.
#pragma once

#include "lcd/component.h"

#include <mutex>

namespace velmora {

class TiVCLComponent : public TiComponent {
public:
    explicit TiVCLComponent(QWidget* parent = nullptr);
    ~TiVCLComponent() override;

    // Re-entrant and held for the whole guarded paint; does nothing while the
    // component is being destroyed.
    void LockPaint() override;
    void UnlockPaint() override;

protected:
    // A move or resize asks for a background repaint (Qt reports only real changes).
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    std::recursive_mutex paintLock_;
    bool destroying_ = false;
};

} // namespace velmora
