#pragma once

#include "Views/Components/Shared.h"
#include "Views/Live/Panel.h"
