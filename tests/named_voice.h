// Voices by name, for tests that mean one voice in particular.
#pragma once

#include <cstring>
#include <memory>

#include "request/instrument_names.h"
#include "synthesis/instrument_presets.h"

namespace tolvimo {

using VoicePtr = std::unique_ptr<InstrumentVoice, VoiceReleaser>;

// The voice of that name, or null when no instrument has it.
inline VoicePtr NamedVoice(const char* name) {
    const int32_t kind = FindInstrument(name, std::strlen(name));
    return VoicePtr(kind < 0 ? nullptr : CreateVoice(static_cast<uint32_t>(kind)));
}

}  // namespace tolvimo
