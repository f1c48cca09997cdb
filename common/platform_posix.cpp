// The platform part on POSIX systems: descriptors, signals, and outputs put in place with rename.
#include "platform.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/xattr.h>
#endif

const char* const NULL_DEVICE = "/dev/null";

namespace {

constexpr size_t LOG_BUFFER_SIZE = size_t(1) << 16;
constexpr int MAX_LINK_HOPS = 40;        // as the system's own limit for resolving a path
constexpr int TEMPORARY_ATTEMPTS = 100;  // names tried before giving up on a crowded folder
constexpr int CLEANUP_SIGNALS[] = {SIGHUP, SIGINT, SIGPIPE, SIGTERM};

// The temporary files that a signal must remove, one slot for each output open at once: only what a
// handler may touch.
volatile std::sig_atomic_t unfinished_armed[MAX_OPEN_OUTPUTS] = {};
int unfinished_directory[MAX_OPEN_OUTPUTS] = {-1, -1, -1, -1, -1};
char unfinished_name[MAX_OPEN_OUTPUTS][32];

void remove_unfinished_output(int signal)
{
    for (size_t slot = 0; slot < MAX_OPEN_OUTPUTS; ++slot) {
        if (unfinished_armed[slot]) {
            unlinkat(unfinished_directory[slot], unfinished_name[slot], 0);
        }
    }
    // the handler was installed to run once: the signal now ends the process as it would have
    raise(signal);
}

void arm_cleanup(output_file& out, const std::string& name)
{
    if (out.cleanup_slot < 0) {
        for (int slot = 0; slot < int(MAX_OPEN_OUTPUTS) && out.cleanup_slot < 0; ++slot) {
            out.cleanup_slot = unfinished_armed[slot] ? -1 : slot;
        }
        assert(out.cleanup_slot >= 0 && "no more outputs may be open at once");
    }
    auto slot = size_t(out.cleanup_slot);
    unfinished_armed[slot] = 0;
    unfinished_directory[slot] = out.directory;
    std::snprintf(unfinished_name[slot], sizeof unfinished_name[slot], "%s", name.c_str());
    unfinished_armed[slot] = 1;
}

void disarm_cleanup(output_file& out)
{
    if (out.cleanup_slot >= 0) {
        unfinished_armed[out.cleanup_slot] = 0;
        out.cleanup_slot = -1;
    }
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

bool all_digits(std::string_view text)
{
    return !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The descriptor that a name in this process's descriptor folder stands for, however the folder is
// spelled: /dev/fd/3, /dev//fd/3, /proc/self/fd/3, /dev/../proc/self/fd/3 and /proc/PID/fd/3 all
// resolve to it. -1 for any other name.
int descriptor_named(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || !all_digits(std::string_view(path).substr(slash + 1))) {
        return -1;
    }
    std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    char resolved[PATH_MAX];
    if (!realpath(folder.c_str(), resolved)) {
        return -1;
    }
    std::string_view where = resolved;
    std::string own = "/proc/" + std::to_string(getpid());
    bool descriptors = where == own + "/fd" ||
                       (where.starts_with(own + "/task/") && where.ends_with("/fd") &&
                        all_digits(where.substr(own.size() + 6, where.size() - own.size() - 9)));
    return descriptors ? std::stoi(path.substr(slash + 1)) : -1;
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

// The descriptor that the name leads to, through any links on the way; -1 when it leads elsewhere.
// The links are only read here: what is written is decided by the kernel when it opens the name.
int descriptor_reached(std::string path)
{
    for (int hop = 0; hop <= MAX_LINK_HOPS; ++hop) {
        int descriptor = descriptor_named(path);
        if (descriptor >= 0) {
            return descriptor;
        }
        struct stat link;
        if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode) || is_proc_link(link)) {
            return -1;
        }
        path = link_target(path);
        if (path.empty()) {
            return -1;
        }
    }
    return -1;
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
        arm_cleanup(out, name);
        int fd = openat(out.directory, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            out.temporary = name;
            return fd;
        }
        disarm_cleanup(out);
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
        arm_cleanup(out, name);
        if (linkat(AT_FDCWD, self.c_str(), out.directory, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            out.temporary = name;
            return true;
        }
        disarm_cleanup(out);
        if (errno != EEXIST) {
            return fail(out, errno);
        }
    }
    return fail(out, EEXIST);
}

// Whether a rename would leave everything but the contents as writing the old file would: one link,
// the user's own file in a folder the user may change, a group the user may give the new file, and no
// extended attributes (ACLs among them) beyond the security label that any new file there gets.
bool rename_keeps_all(const std::string& path, const struct stat& file)
{
    if (file.st_nlink != 1 || file.st_uid != geteuid()) {
        return false;
    }
    bool own_group = file.st_gid == getegid() || geteuid() == 0;
    if (!own_group) {
        gid_t groups[NGROUPS_MAX];
        int count = getgroups(NGROUPS_MAX, groups);
        own_group = std::find(groups, groups + std::max(count, 0), file.st_gid) != groups + std::max(count, 0);
    }
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (!own_group || faccessat(AT_FDCWD, folder.empty() ? "." : folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        return false;
    }
#ifdef __linux__
    char names[256];
    ssize_t size = llistxattr(path.c_str(), names, sizeof names);
    std::string_view label = "security.selinux";
    if (size != 0 && !(size_t(size) == label.size() + 1 && std::string_view(names, label.size()) == label)) {
        return false;  // attributes to keep, or too many to read here
    }
#endif
    return true;
}

// The replace way: a new file beside the target, renamed over it once complete.
bool open_beside(const std::string& path, const struct stat* existing, output_file& out)
{
    if (existing && faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
        return fail(out, errno);
    }
    out.way = output_way::replace;
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
        return fail(out, errno);
    }
    // the replacement keeps the old file's group and mode, which the umask may not allow a new file
    bool kept = !existing || ((existing->st_gid == getegid() || fchown(fd, uid_t(-1), existing->st_gid) == 0) &&
                              fchmod(fd, existing->st_mode & 07777) == 0);
    if (!kept || !(out.file = fdopen(fd, "wb"))) {
        int error = errno;
        close(fd);
        return fail(out, error);
    }
    return true;
}

// The in-place way: the old file opened for writing now, so the kernel applies its checks (write
// permission, and protected_symlinks for a link planted in a shared folder) before any work is done;
// its contents are written at the end.
bool open_in_place(const std::string& path, output_file& out)
{
    out.way = output_way::in_place;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        return fail(out, errno);
    }
    if (!(out.file = fdopen(fd, "wb"))) {
        int error = errno;
        close(fd);
        return fail(out, error);
    }
    return true;
}

// Writes the kept output over the old contents: room first, so that a full disk or the file size
// limit refuses it before a byte changes, then the bytes, then the file cut to their length.
bool write_in_place(output_file& out)
{
    int fd = fileno(out.file);
    off_t size = off_t(out.pending.size());
    int room = size > 0 ? posix_fallocate(fd, 0, size) : 0;
    if (room != 0 && room != EINVAL && room != EOPNOTSUPP) {
        return fail(out, room);
    }
    errno = 0;
    bool written = std::fwrite(out.pending.data(), 1, out.pending.size(), out.file) == out.pending.size() &&
                   std::fflush(out.file) == 0 && ftruncate(fd, size) == 0;
    return written || fail(out, errno);
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
    // warnings by the million must not cost a write each; finish_tool flushes both
    if (!isatty(STDOUT_FILENO)) {
        std::setvbuf(stdout, nullptr, _IOFBF, LOG_BUFFER_SIZE);
    }
    if (!isatty(STDERR_FILENO)) {
        std::setvbuf(stderr, nullptr, _IOFBF, LOG_BUFFER_SIZE);
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
        action.sa_flags = int(SA_RESETHAND);
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

bool same_file(const char* a, const char* b)
{
    struct stat first;
    struct stat second;
    return stat(a, &first) == 0 && stat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

bool same_destination(const char* a, const char* b)
{
    if (same_file(a, b)) {
        return true;
    }
    // neither need exist: the names lead to one place once every folder and link on the way is resolved
    std::error_code unknown;
    auto resolved = [&](const std::filesystem::path& name) {
        return std::filesystem::weakly_canonical(std::filesystem::absolute(name, unknown), unknown);
    };
    std::filesystem::path first = resolved(path_of(a));
    std::filesystem::path second = resolved(path_of(b));
    return !unknown && first == second;
}

std::string stored_name(const char* name)
{
    return name;
}

bool open_output(const char* name, output_file& out)
{
    assert(out.file == nullptr && out.error == 0 && out.temporary.empty());
    if (*name == '\0') {
        return fail(out, ENOENT);
    }
    std::string path = name;
    int descriptor = descriptor_reached(path);
    if (descriptor >= 0) {
        return open_descriptor(descriptor, out);
    }
    struct stat link;
    if (lstat(path.c_str(), &link) != 0) {
        return errno == ENOENT ? open_beside(path, nullptr, out) : fail(out, errno);
    }
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        // a link to nothing yet: the kernel creates its target, or refuses as it refuses the shell
        return S_ISLNK(link.st_mode) && errno == ENOENT ? open_in_place(path, out) : fail(out, errno);
    }
    if (!S_ISREG(info.st_mode)) {
        return open_directly(path, out);
    }
    if (!S_ISLNK(link.st_mode) && rename_keeps_all(path, info)) {
        return open_beside(path, &info, out);
    }
    return open_in_place(path, out);
}

bool finish_output(output_file& out)
{
    if (!out.file) {
        return fail(out, EBADF);
    }
    if (out.way == output_way::in_place && !write_in_place(out)) {
        abandon_output(out);
        return false;
    }
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
        disarm_cleanup(out);
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
        disarm_cleanup(out);
        out.temporary.clear();
    }
    close_directory(out);
}
