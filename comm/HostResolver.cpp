#include <Mordal/HostResolver.h>

#include "MSocketSupport.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <mutex>

namespace Mordal {

namespace {

std::mutex& installMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

// Never destroyed: a lookup thread may still hold it while the process ends.
std::shared_ptr<HostResolver>& installed() {
    static auto* resolver = new std::shared_ptr<HostResolver>(std::make_shared<HostResolver>());
    return *resolver;
}

int lookupError(int code) {
    if (code == EAI_SYSTEM)
        return MSocketSupport::SocketErrorFromErrno(errno);
    return MSocketSupport::SocketErrorFromLookup(code);
}

} // namespace

HostResolver::~HostResolver() = default;

HostLookup HostResolver::Resolve(const QString& name) {
    HostLookup result;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* found = nullptr;
    const QByteArray host = name.toLatin1();
    if (const int code = getaddrinfo(host.constData(), nullptr, &hints, &found); code != 0) {
        result.error = lookupError(code);
        return result;
    }
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
    result.address = QString::fromLatin1(text);
    result.name = found->ai_canonname ? QString::fromLatin1(found->ai_canonname) : name;
    freeaddrinfo(found);
    return result;
}

QString HostResolver::NameOfAddress(const QString& address) {
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    if (inet_pton(AF_INET, address.toLatin1().constData(), &socketAddress.sin_addr) != 1)
        return {};
    char name[NI_MAXHOST] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&socketAddress), sizeof socketAddress, name,
                    sizeof name, nullptr, 0, NI_NAMEREQD) != 0)
        return {};
    return QString::fromLatin1(name);
}

std::shared_ptr<HostResolver> HostResolver::Current() {
    std::lock_guard lock(installMutex());
    return installed();
}

std::shared_ptr<HostResolver> HostResolver::Install(std::shared_ptr<HostResolver> resolver) {
    if (!resolver)
        resolver = std::make_shared<HostResolver>();
    std::lock_guard lock(installMutex());
    installed().swap(resolver);
    return resolver;
}

} // namespace Mordal
