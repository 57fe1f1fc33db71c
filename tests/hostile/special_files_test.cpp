// What the file system may hold under a module's name: a FIFO, a socket, a
// device, a directory, a symlink loop, a file the user cannot read. None is a
// module, none may block the scan, and each ends incorrect.
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

class SpecialFiles : public HostileScan, public ::testing::Test {
protected:
    ~SpecialFiles() override {
        if (m_socket >= 0) close(m_socket);
    }
    void MakeSocket(const std::string& path) {
        m_socket = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        ASSERT_LT(path.size(), sizeof(address.sun_path));
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        ASSERT_EQ(bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        ASSERT_EQ(listen(m_socket, 1), 0);
    }
    // A device that never ends when read (/dev/zero's numbers); a container
    // may forbid mknod, and a symlink to /dev/zero reaches the same.
    static void MakeEndlessDevice(const std::string& path) {
        if (mknod(path.c_str(), S_IFCHR | 0644, makedev(1, 5)) != 0) {
            ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0) << strerror(errno);
        }
    }
    int m_socket = -1;
};

TEST_F(SpecialFiles, NoneIsAModuleAndNoneBlocksTheScan) {
    ASSERT_EQ(mkfifo(dir.File("fifo.dll").c_str(), 0644), 0);
    MakeSocket(dir.File("sock.dll"));
    MakeEndlessDevice(dir.File("zero.dll"));
    dir.MakeDir("folder.dll");
    for (const auto& [link, target] : {std::pair{"ping.dll", "pong.dll"},
                                       {"pong.dll", "ping.dll"},
                                       {"self.dll", "self.dll"},
                                       {"dangling.dll", "nowhere.dll"},
                                       {"alias.dll", "sub/target.dll"}}) {
        ASSERT_EQ(symlink(target, dir.File(link).c_str()), 0);
    }
    dir.Write("sub/target.dll", ModuleImporting({}));
    const std::vector<std::string> incorrect{"fifo.dll", "sock.dll", "zero.dll",    "folder.dll",
                                             "ping.dll", "self.dll", "dangling.dll"};
    std::vector<std::string> imports = incorrect;
    imports.push_back("alias.dll");
    const std::string main = dir.Write("main.exe", ModuleImporting(imports));
    FinishWithin(std::chrono::seconds(20), [&] { scanner.Scan(main, "", true, report); });

    for (const std::string& name : incorrect) {
        const Reference* entry = FindReference(scanner, name);
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_EQ(entry->State(), REF_INCORRECT) << name;
        EXPECT_EQ(entry->DirectoryIndex(), 0) << name;
    }
    // A symlink to a module is followed, and the scan went on past the rest.
    EXPECT_EQ(StateOf(scanner, "alias.dll"), REF_FOUND);
}

TEST_F(SpecialFiles, AsTheModuleTheyAreNotPeImages) {
    ASSERT_EQ(mkfifo(dir.File("pipe.exe").c_str(), 0644), 0);
    MakeEndlessDevice(dir.File("zero.exe"));
    for (const char* name : {"pipe.exe", "zero.exe"}) {
        FinishWithin(std::chrono::seconds(20),
                     [&] { scanner.Scan(dir.File(name), "", true, report); });
        EXPECT_EQ(report.Texts(), std::vector<std::string>{MessageText(IDS_INVALID_NT_SIGNATURE)});
    }
}

// In a child that, started as root, first becomes an unprivileged user (root
// reads any file): 0 when the unreadable file ends incorrect as an import and
// is no PE image as the module.
int ScanUnreadable(const std::string& main, const std::string& locked) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 10;
    const int probe = open(locked.c_str(), O_RDONLY);
    if (probe >= 0) return 11;
    FakePlatform platform;
    CReferenceScanner scanner(platform);
    CReportLines report;
    scanner.Scan(main, "", true, report);
    if (StateOf(scanner, "locked.dll") != REF_INCORRECT) return 12;
    scanner.Scan(locked, "", true, report);
    return report.Texts() == std::vector<std::string>{MessageText(IDS_INVALID_NT_SIGNATURE)} ? 0 : 13;
}

TEST_F(SpecialFiles, UnreadableFile) {
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
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace kivrel::test
