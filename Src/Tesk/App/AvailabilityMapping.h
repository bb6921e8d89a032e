#pragma once

// The platform numbers availability 0 online, 2 away, 3 invisible, 4 offline, 5 pending
// authorisation; the library uses its own codes (2 ONLINE, 3 AWAY, 6 INVISIBLE, 1 OFFLINE, ...).
enum TNyloAvailability { NYLO_ONLINE = 0, NYLO_AWAY = 2, NYLO_INVISIBLE = 3, NYLO_OFFLINE = 4, NYLO_PENDING = 5 };

// Library availability to the platform's: anything unknown reads as offline (4).
int VexlaToNyloAvailability(int vexlaAvailability);
// Platform availability to the library's: anything unknown reads as UNKNOWN (0).
int NyloToVexlaAvailability(int nyloAvailability);
