#pragma once

#include "MordalExport.h"

#include <QString>
#include <memory>

namespace Mordal {

// What one host-name lookup found: the first IPv4 address as dotted text and
// the official name, or a socket error number (11001 and up) when it failed.
struct HostLookup {
    int error = 0;
    QString address;
    QString name;
};

// Turns host names into addresses and addresses into names. Lookups run on a
// lookup thread, never on the GUI thread, so an implementation may block but
// must be thread-safe. The default asks the system resolver; a program or a
// test may install its own (for instance one that never leaves the machine).
class MORDAL_EXPORT HostResolver {
public:
    virtual ~HostResolver();

    virtual HostLookup Resolve(const QString& name);
    // The name of a dotted address, or empty text when it has none.
    virtual QString NameOfAddress(const QString& address);

    // The resolver new lookups use.
    static std::shared_ptr<HostResolver> Current();
    // Installs a resolver (nullptr restores the system one) and answers the
    // one it replaces. Lookups already running finish with the old one.
    static std::shared_ptr<HostResolver> Install(std::shared_ptr<HostResolver> resolver);
};

} // namespace Mordal
