#pragma once
// The code page conversions live with the system layer, which reads ANSI
// theme files itself; the core keeps including them from here.
#include "platform/CodePage.h"
