#include "Model/AuditRecord.h"
