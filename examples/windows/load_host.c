/* A host that loads the DLL at run time instead of linking against it. The
 * function type names __cdecl: 32-bit hosts built with another default
 * convention (/Gz, /Gr) would otherwise call it wrongly. */
#include <windows.h>

#include <stdint.h>

typedef int32_t(__cdecl* WavInstrumentsFunction)(const wchar_t* instrument, const wchar_t* notes,
                                                 int32_t sampleRate, const wchar_t* outputFile);

int main(void) {
    /* The program's own folder is searched first: ship the DLL beside it. */
    HMODULE library = LoadLibraryW(L"TolvimoWAVInstruments.dll");
    if (library == NULL) return 2;
    WavInstrumentsFunction render =
        (WavInstrumentsFunction)(void (*)(void))GetProcAddress(library, "WAVInstruments");
    if (render == NULL) {
        FreeLibrary(library);
        return 2;
    }
    const int32_t status = render(L"bell", L"C5G4E4C4", 22050, L"bell.wav");
    FreeLibrary(library);
    /* 999: written; 222: unknown instrument; 333: sample rate out of range;
     * 1: not written, for the reason the library's line gives. */
    return status == 999 ? 0 : 1;
}
