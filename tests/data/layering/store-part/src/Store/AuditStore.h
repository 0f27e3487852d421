#pragma once

class AuditStore {};
