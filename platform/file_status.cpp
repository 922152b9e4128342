#include "platform/file_status.h"

#include <sys/stat.h>
#include <sys/types.h>

#if defined(_WIN32)
#include <io.h>
#endif

namespace tolvimo {

bool IsRegularFile(std::FILE* file) {
#if defined(_WIN32)
    struct _stat64 status {};
    return _fstat64(_fileno(file), &status) == 0 && (status.st_mode & _S_IFMT) == _S_IFREG;
#else
    struct stat status {};
    return fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode);
#endif
}

}  // namespace tolvimo
