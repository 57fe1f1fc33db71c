// Names that a module imports may be anything the file system holds: a FIFO, a
// socket, a device, a directory, a symlink loop, a file the user cannot read.
// None of them is a module, none may block the scan, and each ends incorrect.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "hostile_scan.h"
#include "messages.h"

namespace kivrel::test {
namespace {

using std::chrono::seconds;

class SpecialFiles : public ::testing::Test {
protected:
    // Creates each special entry `name` in the temp directory.
    void MakeFifo(const std::string& name) {
        ASSERT_EQ(mkfifo(dir.File(name).c_str(), 0644), 0) << strerror(errno);
    }

    void MakeSocket(const std::string& name) {
        m_socket = socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(m_socket, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = dir.File(name);
        ASSERT_LT(path.size(), sizeof(address.sun_path));
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        ASSERT_EQ(bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0)
            << strerror(errno);
        ASSERT_EQ(listen(m_socket, 1), 0);
    }

    // A character device that never ends when read (the one /dev/zero is). A
    // container may forbid mknod; a symlink to /dev/zero then reaches the same.
    void MakeEndlessDevice(const std::string& name) {
        if (mknod(dir.File(name).c_str(), S_IFCHR | 0644, makedev(1, 5)) == 0) return;
        ASSERT_EQ(symlink("/dev/zero", dir.File(name).c_str()), 0) << strerror(errno);
    }

    void MakeLink(const std::string& name, const std::string& target) {
        ASSERT_EQ(symlink(target.c_str(), dir.File(name).c_str()), 0) << strerror(errno);
    }

    // Scans main.exe (importing `imports`) with its own directory as the only one searched.
    void ScanMainImporting(const std::vector<std::string>& imports) {
        const std::string main = dir.Write("main.exe", ModuleImporting(imports));
        FinishWithin(seconds(20), [&] { scanner.Scan(main, "", true, report); });
        ASSERT_EQ(scanner.SearchDirectories().size(), 1u);
    }

    void ExpectIncorrectInModuleDirectory(const std::string& name) {
        const Reference* entry = FindReference(scanner, name);
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_EQ(entry->State(), REF_INCORRECT) << name;
        EXPECT_EQ(entry->DirectoryIndex(), 0) << name;
    }

    void TearDown() override {
        if (m_socket >= 0) close(m_socket);
    }

    TempDir dir;
    FakePlatform platform;
    CReferenceScanner scanner{platform};
    CCollectedReport report;

private:
    int m_socket = -1;
};

TEST_F(SpecialFiles, FifoSocketDeviceAndDirectoryNamedLikeModulesEndIncorrectWithoutBlocking) {
    MakeFifo("fifo.dll");
    MakeSocket("sock.dll");
    MakeEndlessDevice("zero.dll");
    dir.MakeDir("folder.dll");
    dir.Write("real.dll", ModuleImporting({}));
    ScanMainImporting({"fifo.dll", "sock.dll", "zero.dll", "folder.dll", "real.dll"});

    for (const char* name : {"fifo.dll", "sock.dll", "zero.dll", "folder.dll"}) {
        ExpectIncorrectInModuleDirectory(name);
    }
    // The scan went on past them: the real module was found.
    const Reference* real = FindReference(scanner, "real.dll");
    ASSERT_NE(real, nullptr);
    EXPECT_EQ(real->State(), REF_FOUND);
}

TEST_F(SpecialFiles, FifoNamedAsTheModuleIsNotAPeImage) {
    MakeFifo("pipe.exe");
    int errorId = 0;
    int result = 1;
    FinishWithin(seconds(20), [&] { result = scanner.ScanModule(dir.File("pipe.exe"), &errorId); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(errorId, IDS_INVALID_NT_SIGNATURE);
    EXPECT_TRUE(scanner.References().empty());
}

TEST_F(SpecialFiles, DeviceNamedAsTheModuleIsNotAPeImage) {
    MakeEndlessDevice("zero.exe");
    FinishWithin(seconds(20), [&] { scanner.Scan(dir.File("zero.exe"), "", true, report); });
    EXPECT_EQ(report.lines, std::vector<std::string>{MessageText(IDS_INVALID_NT_SIGNATURE)});
}

TEST_F(SpecialFiles, SymlinkLoopsEndIncorrect) {
    MakeLink("ping.dll", "pong.dll");
    MakeLink("pong.dll", "ping.dll");
    MakeLink("self.dll", "self.dll");
    MakeLink("dangling.dll", "nowhere.dll");
    ScanMainImporting({"ping.dll", "self.dll", "dangling.dll"});
    ExpectIncorrectInModuleDirectory("ping.dll");
    ExpectIncorrectInModuleDirectory("self.dll");
    ExpectIncorrectInModuleDirectory("dangling.dll");
}

TEST_F(SpecialFiles, SymlinkToAModuleIsFollowed) {
    dir.Write("sub/target.dll", ModuleImporting({}));
    MakeLink("alias.dll", "sub/target.dll");
    ScanMainImporting({"alias.dll"});
    const Reference* entry = FindReference(scanner, "alias.dll");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->State(), REF_FOUND);
}

// Exit codes of the unprivileged scan below.
enum UnreadableOutcome {
    AS_EXPECTED = 0,
    STILL_READABLE = 10,
    NOT_INCORRECT = 11,
    MODULE_READ = 12,
    NO_PRIVILEGE_DROP = 13
};

// Runs in a child process that, when started as root, first becomes an
// unprivileged user: root reads any file whatever its mode.
int ScanUnreadable(const std::string& main, const std::string& locked) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return NO_PRIVILEGE_DROP;
    const int probe = open(locked.c_str(), O_RDONLY);
    if (probe >= 0) {
        close(probe);
        return STILL_READABLE;
    }
    FakePlatform platform;
    CReferenceScanner scanner(platform);
    CCollectedReport report;
    scanner.Scan(main, "", true, report);
    const Reference* entry = FindReference(scanner, "locked.dll");
    if (entry == nullptr || entry->State() != REF_INCORRECT) return NOT_INCORRECT;
    scanner.Scan(locked, "", true, report);
    if (report.lines != std::vector<std::string>{MessageText(IDS_INVALID_NT_SIGNATURE)})
        return MODULE_READ;
    return AS_EXPECTED;
}

TEST_F(SpecialFiles, UnreadableFileEndsIncorrectAndAsModuleIsNotAPeImage) {
    const std::string main = dir.Write("main.exe", ModuleImporting({"locked.dll"}));
    const std::string locked = dir.Write("locked.dll", ModuleImporting({}));
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(ScanUnreadable(main, locked));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), AS_EXPECTED);
}

}  // namespace
}  // namespace kivrel::test
