/* A host linked against the DLL's import library: TolvimoWAVInstruments.lib
 * in Visual Studio, TolvimoWAVInstruments.dll.a with mingw-w64. Writes a
 * C major arpeggio to arpeggio.wav; the library prints its report on standard
 * output. */
#include "TolvimoWAVInstruments.h"

int main(void) {
    const int32_t status = WAVInstruments(L"piano", L"C4E4G4C5", 44100, L"arpeggio.wav");
    return status == TOLVIMO_STATUS_CREATED ? 0 : 1;
}
