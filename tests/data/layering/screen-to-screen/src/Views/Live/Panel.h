#pragma once

#include "Views/Events/Inspector.h"
