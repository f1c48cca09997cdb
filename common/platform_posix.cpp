// The platform part on POSIX systems: descriptors, signals, and outputs put in place with rename.
#include "platform.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

const char* const NULL_DEVICE = "/dev/null";

namespace {

constexpr size_t LOG_BUFFER_SIZE = size_t(1) << 16;
constexpr int MAX_LINK_HOPS = 40;        // as the system's own limit for resolving a path
constexpr int TEMPORARY_ATTEMPTS = 100;  // names tried before giving up on a crowded folder
constexpr int CLEANUP_SIGNALS[] = {SIGHUP, SIGINT, SIGPIPE, SIGTERM};

// The temporary file that a signal must remove: only what a handler may touch.
volatile std::sig_atomic_t unfinished_armed = 0;
int unfinished_directory = -1;
char unfinished_name[32];

void remove_unfinished_output(int signal)
{
    if (unfinished_armed) {
        unlinkat(unfinished_directory, unfinished_name, 0);
    }
    // the handler was installed to run once: the signal now ends the process as it would have
    raise(signal);
}

void arm_cleanup(int directory, const std::string& name)
{
    unfinished_armed = 0;
    unfinished_directory = directory;
    std::snprintf(unfinished_name, sizeof unfinished_name, "%s", name.c_str());
    unfinished_armed = 1;
}

void disarm_cleanup()
{
    unfinished_armed = 0;
}

bool fail(output_file& out, int error)
{
    out.error = error != 0 ? error : EIO;
    return false;
}

// A short name, so that a temporary file fits beside any name the folder can hold.
std::string temporary_name()
{
    static std::mt19937 rng{std::random_device{}()};
    static const char LETTERS[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = ".tmp";
    for (int i = 0; i < 6; ++i) {
        name += LETTERS[rng() % (sizeof LETTERS - 1)];
    }
    return name;
}

// The descriptor that a name like /dev/fd/3, /proc/self/fd/3 or /proc/PID/fd/3 stands for; -1 for any
// other name.
int descriptor_named(const std::string& path)
{
    const std::string prefixes[] = {"/dev/fd/", "/proc/self/fd/", "/proc/thread-self/fd/",
                                    "/proc/" + std::to_string(getpid()) + "/fd/"};
    for (const std::string& prefix : prefixes) {
        if (path.size() > prefix.size() && path.size() - prefix.size() <= 9 && path.starts_with(prefix) &&
            path.find_first_not_of("0123456789", prefix.size()) == std::string::npos) {
            return std::stoi(path.substr(prefix.size()));
        }
    }
    return -1;
}

// A link of the proc file system: its text names no path ("pipe:[12]", "x.bin (deleted)"), but
// opening it reaches what it stands for.
bool is_proc_link(const struct stat& link)
{
    struct stat proc;
    return lstat("/proc/self", &proc) == 0 && link.st_dev == proc.st_dev;
}

// The path a symbolic link leads to, relative to the link's folder; empty when it cannot be read.
std::string link_target(const std::string& path)
{
    std::string target(PATH_MAX, '\0');
    ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length <= 0) {
        return {};
    }
    target.resize(size_t(length));
    std::filesystem::path link_dir = std::filesystem::path(path).parent_path();
    return target.front() == '/' || link_dir.empty() ? target : (link_dir / target).string();
}

// Writes into an open descriptor of this process, sharing its position, so that ">>" keeps appending
// and a pipe gets the bytes in order.
bool open_descriptor(int descriptor, output_file& out)
{
    int flags = fcntl(descriptor, F_GETFL);
    if (flags == -1 || (flags & O_ACCMODE) == O_RDONLY) {
        return fail(out, EBADF);
    }
    int copy = fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
    if (copy < 0) {
        return fail(out, errno);
    }
    out.file = fdopen(copy, "wb");
    if (!out.file) {
        int error = errno;
        close(copy);
        return fail(out, error);
    }
    return true;
}

bool open_directly(const std::string& path, output_file& out)
{
    out.file = std::fopen(path.c_str(), "wb");
    return out.file || fail(out, errno);
}

// A new file with a fresh name in the output's folder, which a signal removes if the run is ended.
int create_named_temporary(output_file& out, mode_t mode)
{
    for (int attempt = 0; attempt < TEMPORARY_ATTEMPTS; ++attempt) {
        std::string name = temporary_name();
        arm_cleanup(out.directory, name);
        int fd = openat(out.directory, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            out.temporary = name;
            return fd;
        }
        disarm_cleanup();
        if (errno != EEXIST) {
            return -1;
        }
    }
    return -1;
}

// Gives the unnamed file a name beside its target, so that rename can put it in place.
bool name_unnamed(output_file& out)
{
    std::string self = "/proc/self/fd/" + std::to_string(fileno(out.file));
    for (int attempt = 0; attempt < TEMPORARY_ATTEMPTS; ++attempt) {
        std::string name = temporary_name();
        arm_cleanup(out.directory, name);
        if (linkat(AT_FDCWD, self.c_str(), out.directory, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            out.temporary = name;
            return true;
        }
        disarm_cleanup();
        if (errno != EEXIST) {
            return fail(out, errno);
        }
    }
    return fail(out, EEXIST);
}

bool open_beside(const std::string& path, const struct stat* existing, output_file& out)
{
    if (existing && access(path.c_str(), W_OK) != 0) {
        return fail(out, errno);
    }
    std::filesystem::path target(path);
    out.target = target.filename().string();
    if (out.target.empty() || out.target == "." || out.target == "..") {
        return fail(out, EISDIR);
    }
    // names relative to the folder keep the temporary file's path no longer than the output's
    std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
#ifdef O_PATH
    out.directory = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#else
    out.directory = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
    if (out.directory < 0) {
        return fail(out, errno);
    }

    // a plain create's mode: the process's umask applies
    constexpr mode_t NEW_FILE_MODE = 0666;
    int fd = -1;
#ifdef O_TMPFILE
    // an unnamed file leaves nothing behind however the run ends, even when it is killed
    if (access("/proc/self/fd", X_OK) == 0) {
        fd = openat(out.directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, NEW_FILE_MODE);
        out.unnamed = fd >= 0;
    }
#endif
    if (fd < 0) {
        fd = create_named_temporary(out, NEW_FILE_MODE);
    }
    if (fd < 0) {
        int error = errno;
        abandon_output(out);
        return fail(out, error);
    }
    // the replacement keeps the old file's mode, which the umask may not allow a new file to have
    if ((existing && fchmod(fd, existing->st_mode & 07777) != 0) || !(out.file = fdopen(fd, "wb"))) {
        int error = errno;
        close(fd);
        abandon_output(out);
        return fail(out, error);
    }
    return true;
}

void close_directory(output_file& out)
{
    if (out.directory >= 0) {
        close(out.directory);
        out.directory = -1;
    }
}

}  // namespace

std::vector<char*> start_tool(int argc, char** argv)
{
    // descriptors are handed out lowest first, so each closed one gets the null device in its place
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            int null_fd = open(NULL_DEVICE, fd == 0 ? O_RDONLY : O_WRONLY);
            if (null_fd > fd) {
                dup2(null_fd, fd);
                close(null_fd);
            }
        }
    }
    if (!isatty(STDOUT_FILENO)) {
        std::setvbuf(stdout, nullptr, _IOFBF, LOG_BUFFER_SIZE);
    }
    std::signal(SIGXFSZ, SIG_IGN);
    for (int signal : CLEANUP_SIGNALS) {
        struct sigaction action;
        sigaction(signal, nullptr, &action);
        if (action.sa_handler == SIG_IGN) {
            continue;  // as nohup leaves SIGHUP: the run is meant to go on
        }
        std::memset(&action, 0, sizeof action);
        action.sa_handler = remove_unfinished_output;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
    return std::vector<char*>(argv, argv + argc);
}

std::filesystem::path path_of(const char* name)
{
    return std::filesystem::path(name);
}

std::FILE* open_input(const char* name)
{
    return std::fopen(name, "rb");
}

bool open_output(const char* name, output_file& out)
{
    out = output_file{};
    if (*name == '\0') {
        return fail(out, ENOENT);
    }
    std::string path = name;
    for (int hop = 0;; ++hop) {
        int descriptor = descriptor_named(path);
        if (descriptor >= 0) {
            return open_descriptor(descriptor, out);
        }
        struct stat link;
        if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
            break;
        }
        std::string target = hop < MAX_LINK_HOPS && !is_proc_link(link) ? link_target(path) : std::string();
        if (target.empty()) {
            return open_directly(path, out);  // a loop or a descriptor's link: the open resolves it or fails
        }
        path = target;
    }
    struct stat info;
    if (stat(path.c_str(), &info) == 0) {
        return S_ISREG(info.st_mode) ? open_beside(path, &info, out) : open_directly(path, out);
    }
    if (errno != ENOENT) {
        return fail(out, errno);
    }
    return open_beside(path, nullptr, out);
}

bool write_output(output_file& out, const void* data, size_t size)
{
    errno = 0;
    return std::fwrite(data, 1, size, out.file) == size || fail(out, errno);
}

bool finish_output(output_file& out)
{
    errno = 0;
    if (std::fflush(out.file) != 0 || std::ferror(out.file)) {
        fail(out, errno);
        abandon_output(out);
        return false;
    }
    if (out.unnamed && !name_unnamed(out)) {
        abandon_output(out);
        return false;
    }
    errno = 0;
    int closed = std::fclose(out.file);
    out.file = nullptr;
    if (closed != 0) {
        fail(out, errno);
        abandon_output(out);
        return false;
    }
    if (!out.temporary.empty()) {
        if (renameat(out.directory, out.temporary.c_str(), out.directory, out.target.c_str()) != 0) {
            fail(out, errno);
            abandon_output(out);
            return false;
        }
        disarm_cleanup();
        out.temporary.clear();
    }
    close_directory(out);
    return true;
}

void abandon_output(output_file& out)
{
    if (out.file) {
        std::fclose(out.file);
        out.file = nullptr;
    }
    if (!out.temporary.empty()) {
        unlinkat(out.directory, out.temporary.c_str(), 0);
        disarm_cleanup();
        out.temporary.clear();
    }
    close_directory(out);
}
