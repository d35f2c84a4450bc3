#pragma once

#include "platform/linux/PulseConnection.h"
#include "platform/linux/SteerJournal.h"

namespace tavuno {

// After a Tavuno was killed on PulseAudio its null sinks stay, with the applications' streams
// silent in them. Before any session starts: unloads the null sinks that are provably a gone
// Tavuno's taps (their arguments parsed as the server keeps them name a tap and an owner, pid and
// start time, that no longer runs: tapOwnerOf), leaving every other module alone; the server
// moves their streams to the default. Then moves each stream its records name back to the sink
// it was pinned to, when the record is of this server run (its cookie) and the stream is still
// played by the record's application process (pid and start time); the other records are dropped
// without acting. Answers how many streams it moved.
int sweepPulseTaps(PulseConnection& connection, SteerJournal& journal);

}  // namespace tavuno
