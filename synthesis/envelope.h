// The ADSR envelope shared by every instrument.
#pragma once

#include "synthesis/instrument_voice.h"

namespace tolvimo {

// Level (0.0 to 1.0) at `t` seconds into a note lasting `duration` seconds.
// Attack and decay are tested before release, so a voice whose attack plus
// decay outlasts the note never releases, and one whose release would start
// inside the decay starts it at the end of the decay from the level reached
// there. A zero decay or release is never divided by: its phase is skipped.
double EnvelopeLevel(double t, const InstrumentVoice& voice, double duration);

}  // namespace tolvimo
