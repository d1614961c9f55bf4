// Resource identifiers shared by the .rc files and the code.
#pragma once

#define IDI_APP 1      // the program's icon, the file's first icon resource
#define IDR_BANNER 101 // the main window's banner picture (JPEG, RCDATA)
