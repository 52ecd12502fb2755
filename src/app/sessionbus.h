#pragma once

// Whether the desktop names a session bus and it answers. Never one started for us: an empty
// address, or none, is no bus. A stale address (after ssh -X or sudo, or a bus that crashed)
// names none either; a call on it would never end.
bool hasSessionBus();
