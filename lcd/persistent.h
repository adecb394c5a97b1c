// TPersistent: the base of objects that can copy themselves from one another.
#pragma once

#include <string>

namespace velmora {

// Only the generic copy is modelled: a class that knows how to copy a given
// source overrides Assign or AssignTo; everything else ends in the refusal
// EConvertError "Cannot assign a <source class> to a <target class>".
class TPersistent {
public:
    virtual ~TPersistent() = default;

    // The class name shown in the refusal message.
    virtual std::string ClassName() const = 0;

    // Makes this object a copy of source; the base asks the source to do it.
    virtual void Assign(const TPersistent& source);

protected:
    TPersistent() = default;
    TPersistent(const TPersistent&) = default;
    TPersistent& operator=(const TPersistent&) = default;

    // Copies this object into dest; the base refuses.
    virtual void AssignTo(TPersistent& dest) const;
};

} // namespace velmora
