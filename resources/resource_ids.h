// Resource ids, shared by velkora.rc and the program's code.
#pragma once

#define IDI_VELKORA 1  // the program icon: the first icon resource of the exe
#define IDR_BANNER 101 // the banner JPEG, RCDATA
