#include "process.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace kivrel::test {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

#ifndef _WIN32

namespace {

std::vector<std::string> ChildEnvironment(const std::vector<EnvChange>& changes) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        bool replaced = false;
        for (const EnvChange& change : changes) {
            if (text.compare(0, change.name.size() + 1, change.name + "=") == 0) replaced = true;
        }
        if (!replaced) result.push_back(text);
    }
    for (const EnvChange& change : changes) {
        if (change.value) result.push_back(change.name + "=" + *change.value);
    }
    return result;
}

std::vector<char*> PointerArray(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<EnvChange>& env) {
    ProcessResult result;
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        result.startError = "pipe failed";
        return result;
    }
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        result.startError = "pipe failed";
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);

    std::vector<std::string> args = argv;
    std::vector<std::string> environment = ChildEnvironment(env);
    std::vector<char*> argPointers = PointerArray(args);
    std::vector<char*> envPointers = PointerArray(environment);
    pid_t pid = 0;
    const int spawnError = posix_spawnp(&pid, args[0].c_str(), &actions, nullptr,
                                        argPointers.data(), envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    if (spawnError != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        result.startError = std::string("cannot run ") + args[0] + ": " + strerror(spawnError);
        return result;
    }
    result.started = true;

    // Both pipes are drained together: a child that fills one while we wait
    // on the other would never finish.
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    char buffer[65536];
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd& fd : fds) {
        if (fd.fd >= 0) close(fd.fd);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

#else  // _WIN32

namespace {

// Quotes one argument so that the C runtime's command-line parser gives it
// back unchanged (backslashes are literal unless they precede a quote).
std::string QuoteArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled and the quote escaped.
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    // Backslashes before the closing quote are doubled.
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

// A temporary file the child writes to; deleted when closed.
HANDLE CreateCaptureFile() {
    char directory[MAX_PATH];
    char path[MAX_PATH];
    if (GetTempPathA(MAX_PATH, directory) == 0 ||
        GetTempFileNameA(directory, "kvt", 0, path) == 0) {
        return INVALID_HANDLE_VALUE;
    }
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileA(
        path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

std::string ReadAll(HANDLE file) {
    std::string text;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    char buffer[65536];
    DWORD n = 0;
    while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0) text.append(buffer, n);
    return text;
}

// Applies environment changes to this process for the duration of a spawn;
// the child inherits them.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(const std::vector<EnvChange>& changes) {
        for (const EnvChange& change : changes) {
            Saved saved{change.name, std::nullopt};
            const DWORD size = GetEnvironmentVariableA(change.name.c_str(), nullptr, 0);
            if (size > 0) {
                std::string value(size, '\0');
                const DWORD length =
                    GetEnvironmentVariableA(change.name.c_str(), value.data(), size);
                value.resize(length < size ? length : 0);
                saved.value = value;
            }
            m_saved.push_back(saved);
            SetEnvironmentVariableA(change.name.c_str(),
                                    change.value ? change.value->c_str() : nullptr);
        }
    }
    ~ScopedEnvironment() {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            SetEnvironmentVariableA(it->name.c_str(), it->value ? it->value->c_str() : nullptr);
        }
    }

private:
    struct Saved {
        std::string name;
        std::optional<std::string> value;
    };
    std::vector<Saved> m_saved;
};

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<EnvChange>& env) {
    ProcessResult result;
    std::string commandLine;
    for (const std::string& arg : argv) {
        if (!commandLine.empty()) commandLine += ' ';
        commandLine += QuoteArgument(arg);
    }
    HANDLE out = CreateCaptureFile();
    HANDLE err = CreateCaptureFile();
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                            OPEN_EXISTING, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE || in == INVALID_HANDLE_VALUE) {
        result.startError = "cannot create the capture files";
    } else {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in;
        startup.hStdOutput = out;
        startup.hStdError = err;
        PROCESS_INFORMATION process = {};
        BOOL created;
        {
            ScopedEnvironment scoped(env);
            created = CreateProcessA(argv[0].c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                     nullptr, nullptr, &startup, &process);
        }
        if (!created) {
            result.startError =
                "cannot run " + argv[0] + ": error " + std::to_string(GetLastError());
        } else {
            result.started = true;
            WaitForSingleObject(process.hProcess, INFINITE);
            DWORD code = 0;
            GetExitCodeProcess(process.hProcess, &code);
            result.exitCode = static_cast<int>(code);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
            result.out = ReadAll(out);
            result.err = ReadAll(err);
        }
    }
    for (HANDLE handle : {out, err, in}) {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    return result;
}

#endif

}  // namespace kivrel::test
