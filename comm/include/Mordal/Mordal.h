#pragma once

// The public face of the communication library: include this one header.
#include "Comm.h"
#include "CommEnums.h"
#include "CommInfo.h"
#include "ControlFactory.h"
#include "DelayPumping.h"
#include "HostResolver.h"
#include "LineFormat.h"
#include "PortNames.h"
#include "PropertyBag.h"
