// Kept for sources that include the area header directly.
#pragma once
#include <windows.h>
