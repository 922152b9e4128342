#include "cli/output_problem.h"

#include <cerrno>
#include <system_error>

#include "cli/command_line.h"
#include "request/request_limits.h"

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

namespace tolvimo_cli {
namespace {

#if !defined(_WIN32)
// The folder a new file at `path` would go into.
std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string InFolder(const std::string& folder, int error) {
    return "folder " + Quoted(folder) + ": " + SystemWords(error);
}
#endif

}  // namespace

std::string SystemWords(int error) {
    return std::generic_category().message(error);
}

std::string WhyCannotOpen(const std::string& path) {
    if (path.empty()) return SystemWords(ENOENT);
    if (path.size() >= tolvimo::OUTPUT_PATH_CAPACITY) {
        return "the path is " + std::to_string(path.size()) +
               " bytes long; it must be shorter than " +
               std::to_string(tolvimo::OUTPUT_PATH_CAPACITY);
    }
#if defined(_WIN32)
    return {};
#else
    struct stat status {};
    if (stat(path.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) return SystemWords(EISDIR);
        if (access(path.c_str(), W_OK) != 0) return SystemWords(errno);
    } else if (errno != ENOENT && errno != ENOTDIR) {
        return SystemWords(errno);
    }
    const std::string folder = FolderOf(path);
    if (stat(folder.c_str(), &status) != 0) return InFolder(folder, errno);
    if (!S_ISDIR(status.st_mode)) return InFolder(folder, ENOTDIR);
    if (access(folder.c_str(), W_OK | X_OK) != 0) return InFolder(folder, errno);
    return {};
#endif
}

std::string WhyCannotWrite(const std::string& path) {
#if defined(_WIN32)
    (void)path;
    return {};
#else
    struct statvfs filesystem {};
    if (statvfs(FolderOf(path).c_str(), &filesystem) == 0 && filesystem.f_bavail == 0) {
        return SystemWords(ENOSPC);
    }
    struct rlimit limit {};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        return SystemWords(EFBIG) + ": the file size limit (ulimit -f) is " +
               std::to_string(limit.rlim_cur) + " bytes";
    }
    return {};
#endif
}

}  // namespace tolvimo_cli
