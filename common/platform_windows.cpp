// The platform part on Windows: wide file names from UTF-8, binary standard streams, and outputs put
// in place with MoveFileExW.
#include "platform.h"

#include <windows.h>

#include <cassert>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <iterator>
#include <random>
#include <shellapi.h>
#include <thread>

const char* const NULL_DEVICE = "NUL";

namespace {

constexpr size_t LOG_BUFFER_SIZE = size_t(1) << 16;
constexpr int TEMPORARY_ATTEMPTS = 100;  // names tried before giving up on a crowded folder
constexpr int REPLACE_ATTEMPTS = 40;     // an indexer or a virus scanner may hold the target briefly
constexpr auto REPLACE_PAUSE = std::chrono::milliseconds(25);

// The temporary files that an interrupt must remove, one slot for each output open at once.
wchar_t unfinished_path[MAX_OPEN_OUTPUTS][MAX_PATH * 4];
volatile LONG unfinished_armed[MAX_OPEN_OUTPUTS] = {};

BOOL WINAPI remove_unfinished_output(DWORD)
{
    for (size_t slot = 0; slot < MAX_OPEN_OUTPUTS; ++slot) {
        if (InterlockedCompareExchange(&unfinished_armed[slot], 0, 1) == 1) {
            DeleteFileW(unfinished_path[slot]);  // opened for sharing deletion, so it goes when the process ends
        }
    }
    return FALSE;  // the default handler ends the process
}

void arm_cleanup(output_file& out, const std::wstring& path)
{
    if (out.cleanup_slot < 0) {
        for (int slot = 0; slot < int(MAX_OPEN_OUTPUTS) && out.cleanup_slot < 0; ++slot) {
            out.cleanup_slot = unfinished_armed[slot] ? -1 : slot;
        }
        assert(out.cleanup_slot >= 0 && "no more outputs may be open at once");
    }
    auto slot = size_t(out.cleanup_slot);
    unfinished_armed[slot] = 0;
    lstrcpynW(unfinished_path[slot], path.c_str(), int(std::size(unfinished_path[slot])));
    unfinished_armed[slot] = 1;
}

void disarm_cleanup(output_file& out)
{
    if (out.cleanup_slot >= 0) {
        unfinished_armed[out.cleanup_slot] = 0;
        out.cleanup_slot = -1;
    }
}

// The errno that the C library would give for a system error.
int errno_of(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return EIO;
    }
}

bool fail(output_file& out, int error)
{
    out.error = error != 0 ? error : EIO;
    return false;
}

std::wstring wide(const std::string& utf8)
{
    return path_of(utf8.c_str()).wstring();
}

std::string utf8(const wchar_t* text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string converted(size_t(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, converted.data(), size, nullptr, nullptr);
    converted.resize(converted.size() - 1);
    return converted;
}

// A short name, so that a temporary file fits beside any name the folder can hold.
std::wstring temporary_name()
{
    static std::mt19937 rng{std::random_device{}()};
    static const wchar_t LETTERS[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
    std::wstring name = L".tmp";
    for (int i = 0; i < 6; ++i) {
        name += LETTERS[rng() % (std::size(LETTERS) - 1)];
    }
    return name;
}

// Why a name cannot be reached: a folder on its way that is a file, as POSIX says, or a missing one.
int unreachable_error(const std::filesystem::path& path)
{
    for (std::filesystem::path folder = path.parent_path(); folder.has_relative_path(); folder = folder.parent_path()) {
        DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            return attributes & FILE_ATTRIBUTE_DIRECTORY ? ENOENT : ENOTDIR;
        }
    }
    return ENOENT;
}

bool open_directly(const std::filesystem::path& path, output_file& out)
{
    out.file = _wfopen(path.c_str(), L"wb");
    return out.file || fail(out, errno);
}

// Whether the name leads to a device or a pipe (NUL, CON, \\.\pipe\...) rather than a file on disk.
bool is_device(const std::filesystem::path& path)
{
    HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD type = GetFileType(handle);
    CloseHandle(handle);
    return type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE;
}

// The C stream of a handle opened for writing; the handle is closed when that fails.
bool file_of(HANDLE handle, output_file& out)
{
    int fd = _open_osfhandle(intptr_t(handle), _O_BINARY | _O_WRONLY);
    out.file = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
    if (!out.file) {
        if (fd >= 0) {
            _close(fd);
        } else {
            CloseHandle(handle);
        }
        return fail(out, EIO);
    }
    return true;
}

bool open_beside(const std::filesystem::path& path, output_file& out)
{
    out.way = output_way::replace;
    std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(L".");
    for (int attempt = 0; attempt < TEMPORARY_ATTEMPTS; ++attempt) {
        std::filesystem::path temporary = folder / temporary_name();
        arm_cleanup(out, temporary.wstring());
        HANDLE handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            disarm_cleanup(out);
            DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
                continue;
            }
            return fail(out, errno_of(error));
        }
        out.temporary = utf8(temporary.c_str());
        out.target = utf8(path.c_str());
        return file_of(handle, out);
    }
    return fail(out, EEXIST);
}

// The in-place way, for a symbolic link or a file with more than one name: the system opens the file
// the name leads to, and its contents are written at the end, so the link and the other names stay.
bool open_in_place(const std::filesystem::path& path, output_file& out)
{
    out.way = output_way::in_place;
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return fail(out, errno_of(GetLastError()));
    }
    return file_of(handle, out);
}

// A symbolic link, or a file that has other names besides this one.
bool shared_by_other_names(const std::filesystem::path& path, DWORD attributes)
{
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return true;
    }
    HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information;
    bool linked = GetFileInformationByHandle(handle, &information) && information.nNumberOfLinks > 1;
    CloseHandle(handle);
    return linked;
}

// Whether the name's last part is one that Windows takes for a device in any folder: CON, PRN, AUX,
// NUL, COM1 to COM9 and LPT1 to LPT9, with any extension.
bool is_device_name(const std::string& name)
{
    static const char* const DEVICES[] = {"CON", "PRN", "AUX", "NUL"};
    std::string base = std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(name.c_str())))
                           .filename()
                           .string();
    base = base.substr(0, base.find('.'));
    base.erase(base.find_last_not_of(' ') + 1);
    for (char& c : base) {
        c = char(std::toupper(static_cast<unsigned char>(c)));
    }
    for (const char* device : DEVICES) {
        if (base == device) {
            return true;
        }
    }
    return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) && base[3] >= '1' &&
           base[3] <= '9';
}

}  // namespace

std::vector<char*> start_tool(int, char**)
{
    // a closed standard handle gets the null device, so no file of the tool can take its number
    const int modes[] = {_O_RDONLY, _O_WRONLY, _O_WRONLY};
    for (int fd = 0; fd <= 2; ++fd) {
        if (_get_osfhandle(fd) == -1) {
            int null_fd = _open(NULL_DEVICE, modes[fd] | _O_BINARY);
            if (null_fd >= 0 && null_fd != fd) {
                _dup2(null_fd, fd);
                _close(null_fd);
            }
        }
    }
    // CR LF is written as it stands, never as CR CR LF
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // warnings by the million must not cost a write each; finish_tool flushes both
    if (!_isatty(_fileno(stdout))) {
        std::setvbuf(stdout, nullptr, _IOFBF, LOG_BUFFER_SIZE);
    }
    if (!_isatty(_fileno(stderr))) {
        std::setvbuf(stderr, nullptr, _IOFBF, LOG_BUFFER_SIZE);
    }
    SetConsoleCtrlHandler(remove_unfinished_output, TRUE);

    // the arguments in UTF-8, whatever the console's code page
    static std::vector<std::string> arguments;
    static std::vector<char*> pointers;
    int count = 0;
    wchar_t** wide_arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; i < count; ++i) {
        arguments.push_back(utf8(wide_arguments[i]));
    }
    LocalFree(wide_arguments);
    for (std::string& argument : arguments) {
        pointers.push_back(argument.data());
    }
    return pointers;
}

std::filesystem::path path_of(const char* name)
{
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(name)));
}

std::FILE* open_input(const char* name)
{
    return _wfopen(path_of(name).c_str(), L"rb");
}

bool same_file(const char* a, const char* b)
{
    std::error_code unknown;
    return std::filesystem::equivalent(path_of(a), path_of(b), unknown);
}

bool same_destination(const char* a, const char* b)
{
    if (same_file(a, b)) {
        return true;
    }
    // neither need exist: names of one place differ in case, and in dots and spaces at their ends
    std::error_code unknown;
    auto resolved = [&](const std::filesystem::path& name) {
        return std::filesystem::weakly_canonical(std::filesystem::absolute(name, unknown), unknown);
    };
    std::filesystem::path first = resolved(path_of(stored_name(a).c_str()));
    std::filesystem::path second = resolved(path_of(stored_name(b).c_str()));
    return !unknown && CompareStringOrdinal(first.c_str(), -1, second.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::string stored_name(const char* name)
{
    std::string stored = name;
    size_t part = stored.find_last_of("/\\") + 1;  // 0 when there is no folder
    std::string_view last = std::string_view(stored).substr(part);
    if (last != "." && last != "..") {
        size_t keep = stored.find_last_not_of(". ");
        stored.erase(keep == std::string::npos || keep < part ? part : keep + 1);
    }
    return stored;
}

bool open_output(const char* name, output_file& out)
{
    assert(out.file == nullptr && out.error == 0 && out.temporary.empty());
    if (*name == '\0') {
        return fail(out, ENOENT);
    }
    std::string stored = stored_name(name);
    std::string last = std::filesystem::path(path_of(stored.c_str())).filename().string();
    if (is_device_name(stored) && _stricmp(last.c_str(), "NUL") != 0 && _stricmp(last.c_str(), "CON") != 0) {
        return fail(out, DEVICE_NAME);
    }
    std::filesystem::path path = path_of(name);
    if (is_device(path)) {
        return open_directly(path, out);
    }
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        if (error == ERROR_PATH_NOT_FOUND) {
            return fail(out, unreachable_error(path));
        }
        if (error != ERROR_FILE_NOT_FOUND) {
            return fail(out, errno_of(error));
        }
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return fail(out, EISDIR);
    } else if (attributes & FILE_ATTRIBUTE_READONLY) {
        return fail(out, EACCES);
    } else if (shared_by_other_names(path, attributes)) {
        return open_in_place(path, out);
    }
    return open_beside(path, out);
}

bool finish_output(output_file& out)
{
    if (!out.file) {
        return fail(out, EBADF);
    }
    errno = 0;
    bool written = true;
    if (out.way == output_way::in_place) {
        // the bytes over the old ones, then the file cut to their length
        written = std::fwrite(out.pending.data(), 1, out.pending.size(), out.file) == out.pending.size() &&
                  std::fflush(out.file) == 0 && _chsize_s(_fileno(out.file), static_cast<long long>(out.pending.size())) == 0;
    }
    bool flushed = written && std::fflush(out.file) == 0 && !std::ferror(out.file);
    int flush_error = errno;
    bool closed = std::fclose(out.file) == 0;
    out.file = nullptr;
    if (!flushed || !closed) {
        fail(out, flushed ? errno : flush_error);
        abandon_output(out);
        return false;
    }
    if (!out.temporary.empty()) {
        std::wstring from = wide(out.temporary);
        std::wstring to = wide(out.target);
        DWORD error = ERROR_SUCCESS;
        for (int attempt = 0; attempt < REPLACE_ATTEMPTS; ++attempt) {
            if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                error = ERROR_SUCCESS;
                break;
            }
            error = GetLastError();
            if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) {
                break;
            }
            std::this_thread::sleep_for(REPLACE_PAUSE);
        }
        if (error != ERROR_SUCCESS) {
            fail(out, errno_of(error));
            abandon_output(out);
            return false;
        }
        disarm_cleanup(out);
        out.temporary.clear();
    }
    return true;
}

void abandon_output(output_file& out)
{
    if (out.file) {
        std::fclose(out.file);
        out.file = nullptr;
    }
    if (!out.temporary.empty()) {
        DeleteFileW(wide(out.temporary).c_str());
        disarm_cleanup(out);
        out.temporary.clear();
    }
}
