#pragma once

#include "Store/Later.h"
