// Resource ids, shared by the resource script and the code that loads them.
#pragma once

// The first icon of the program is the one Explorer shows for the file.
#define IDI_ZELVOSET 1
