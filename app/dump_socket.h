// Test-only window inspection: a local socket that answers `dump` with the window's controls and link state as JSON.
#pragma once

class TForm1;

#ifdef ORVIK_TEST_HOOKS

// Listens on the local socket path in $ORVIK_INSPECT_SOCKET, when set, for as long as form lives. Each line `dump`
// is answered with one JSON line; nothing on the socket can change the window.
void installInspectionHook(TForm1& form);

#else

inline void installInspectionHook(TForm1&) { }

#endif
