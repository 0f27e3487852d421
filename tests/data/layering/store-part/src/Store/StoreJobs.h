#pragma once

#include "Store/AuditStore.h"
