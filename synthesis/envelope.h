// The ADSR envelope shared by every instrument.
#pragma once

#include "synthesis/instrument_voice.h"

namespace tolvimo {

// Level (0.0 to 1.0) at `t` seconds into a note lasting `duration` seconds.
// Attack and decay are tested before release, so a voice whose attack plus
// decay outlasts the note never releases. One whose release would start
// inside the decay releases from the end of the decay, and its level drops
// there to what the release formula gives at that time, not the level the
// decay reached (the guitar: from 0.3000 to about 0.2955 at 0.303 s). A zero
// decay or release is never divided by: its phase is skipped.
double EnvelopeLevel(double t, const InstrumentVoice& voice, double duration);

}  // namespace tolvimo
