#pragma once

#include "platform/linux/PulseConnection.h"
#include "platform/linux/SteerJournal.h"

namespace tavuno {

// After a Tavuno was killed on PulseAudio its null sinks stay, with the applications' streams
// silent in them. Before any session starts: unloads the null sinks whose Tavuno no longer runs
// (the server moves their streams to the default), then moves each stream its records name back
// to the sink it was pinned to. Answers how many streams it moved.
int sweepPulseTaps(PulseConnection& connection, SteerJournal& journal);

}  // namespace tavuno
