// TiCustomComponent: the class that display controls derive from.
#pragma once

#include "lcd/vcl_component.h"

namespace velmora {

// Adds nothing; it keeps displays independent of what the layers below carry.
class TiCustomComponent : public TiVCLComponent {
public:
    explicit TiCustomComponent(QWidget* parent = nullptr)
        : TiVCLComponent(parent) {}
};

} // namespace velmora
