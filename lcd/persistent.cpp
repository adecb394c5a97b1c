// TPersistent: the generic copy and its refusal.
#include "lcd/persistent.h"

#include "text/convert_error.h"

namespace velmora {

void TPersistent::Assign(const TPersistent& source) {
    source.AssignTo(*this);
}

void TPersistent::AssignTo(TPersistent& dest) const {
    throw EConvertError("Cannot assign a " + ClassName() + " to a " + dest.ClassName());
}

} // namespace velmora
