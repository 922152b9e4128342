// A C++ program built with find_package against an installed tree.
#include <TolvimoWAVInstruments.h>

#include <string>

#include "expected_file.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string path = argv[1];
    const std::u16string widePath(path.begin(), path.end());
    if (WAVInstruments(u"piano", u"CDEFG", 8000, widePath.c_str()) != TOLVIMO_STATUS_CREATED) {
        return 1;
    }
    return CheckRenderedFile(path.c_str());
}
