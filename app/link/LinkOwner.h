#pragma once

#include "mUstawienia.h"

namespace Pomiar {

// The one holder of the run's link. The options dialog edits the link's
// settings and asks its owner to take the link down while they are edited,
// to apply what was confirmed, or to put it back as it was; it never
// touches the link itself.
class LinkOwner {
public:
    virtual ~LinkOwner() = default;
    // Closes the link and stops its reopening; a second call keeps what
    // the link was before the first.
    virtual void SuspendLink() = 0;
    // Puts a suspended link back as it was (open, reopening); nothing when
    // none is suspended.
    virtual void RestoreLink() = 0;
    // Configures the link and the balance's family from confirmed settings
    // and opens it; a TCP link is then reopened while it is down. Forgets
    // what SuspendLink kept.
    virtual void ApplyLink(const LinkSettings& link) = 0;
};

} // namespace Pomiar
