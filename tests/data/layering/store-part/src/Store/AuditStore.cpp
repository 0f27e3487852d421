#include "Store/AuditStore.h"
