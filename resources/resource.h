#pragma once
// Resource ids shared by the resource script and the code.

// The program's icon, Dish2 from 16 to 256 pixels: the lowest id, so the shell shows it for
// the executable.
#define IDI_PROGRAM 1

// The seven tray pictures, "Dish0" to "Dish6", in that order.
#define IDI_DISH0 100
#define IDI_DISH1 101
#define IDI_DISH2 102
#define IDI_DISH3 103
#define IDI_DISH4 104
#define IDI_DISH5 105
#define IDI_DISH6 106
#define IDI_DISH_COUNT 7

// The About window's flag badge.
#define IDI_BADGE 110

#define IDR_MANIFEST 1
