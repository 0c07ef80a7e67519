#pragma once
// The few values that belong to the whole process rather than to the main window.

namespace brim {

// Whether this run found a movie payload in its own file (projector mode).
extern bool g_payloadPresent;
// How eagerly the movie's frame clock runs; commands and movie loading change it.
extern int g_speedLevel;

}  // namespace brim
