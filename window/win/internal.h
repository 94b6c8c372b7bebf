// Shared between the window library's sources.
#pragma once
#include "window/win/window.h"

// Makes the event state once; none when memory is short.
EventState* CreateEventState();
// Frees the drop record held since the last event, and the ones never delivered.
void FreeHeldEventData(EventState* events);
void FreePendingDropData(EventState* events);
