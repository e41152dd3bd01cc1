#include "TCP.h"

namespace Mordal {

TCP::TCP(ITransportOwner* owner, QObject* parent) : QObject(parent), owner(owner) {}

TCP::~TCP() = default;

} // namespace Mordal
