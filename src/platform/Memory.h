#pragma once

namespace platform::memory {

// Large blocks of memory (decoded photos and drawings, a few MB each) are mapped for themselves
// and go back to the system as soon as they are freed. Left to itself the C library raises that
// threshold to the largest block freed so far and keeps freed pictures in each thread's heap,
// so that a process that has decoded many photos on several threads stays hundreds of MB larger
// than what it holds. Called once at start, before threads are made.
void returnLargeBlocksToTheSystem();

} // namespace platform::memory
