#pragma once
// The entry of zorvan-scores started with kVerifyChildFlag (see verifier.h).

namespace zorvan::scores {

// argv: the program, the flag, then "--game DIR --work DIR". Returns the exit status.
int verifyChildMain(int argc, char** argv);

}  // namespace zorvan::scores
