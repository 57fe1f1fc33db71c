// What the file system may hold under a module's name: a FIFO, a device, a
// directory, a symlink loop, a file the user cannot read. None is a module,
// none may block the scan, and each ends incorrect.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include "hostile_scan.h"
#include "messages.h"
#include "resource_writer.h"

namespace kivrel::test {
namespace {

const std::vector<std::string> kNotAModule{MessageText(IDS_INVALID_NT_SIGNATURE)};

TEST_F(HostileScan, SpecialFilesAreNeitherModulesNorBlockTheScan) {
    // A FIFO and a device that never ends when read (/dev/zero's numbers; a
    // container may forbid mknod, and a symlink to /dev/zero reaches the same).
    for (const char* name : {"fifo.dll", "pipe.exe"})
        ASSERT_EQ(mkfifo(dir.File(name).c_str(), 0644), 0);
    for (const char* name : {"zero.dll", "zero.exe"}) {
        const bool made = mknod(dir.File(name).c_str(), S_IFCHR | 0644, makedev(1, 5)) == 0;
        ASSERT_TRUE(made || symlink("/dev/zero", dir.File(name).c_str()) == 0);
    }
    dir.MakeDir("folder.dll");
    for (const auto& [link, target] : {std::pair{"ping.dll", "pong.dll"},
                                       {"pong.dll", "ping.dll"},
                                       {"self.dll", "self.dll"},
                                       {"dangling.dll", "nowhere.dll"},
                                       {"alias.dll", "sub/target.dll"}})
        ASSERT_EQ(symlink(target, dir.File(link).c_str()), 0);
    dir.Write("sub/target.dll", PeImporting());
    const char* const incorrect[] = {"fifo.dll", "zero.dll", "folder.dll",
                                     "ping.dll", "self.dll", "dangling.dll"};
    std::string imports = "alias.dll";  // a symlink to a module is followed
    for (const char* name : incorrect) imports += std::string(" ") + name;
    // A scan stuck in a system call ends the test program (SIGALRM) rather
    // than hang the suite.
    alarm(20);
    scanner.Scan(dir.Write("main.exe", PeImporting(imports)), "", true, report);
    for (const char* name : incorrect) EXPECT_EQ(StateOf(scanner, name), REF_INCORRECT) << name;
    EXPECT_EQ(StateOf(scanner, "alias.dll"), REF_FOUND);
    for (const char* name : {"pipe.exe", "zero.exe"}) {
        scanner.Scan(dir.File(name), "", true, report);
        EXPECT_EQ(report.Texts(), kNotAModule) << name;
    }
    alarm(0);
}

// Manifests that are FIFOs: an EXE's file beside it, and a private assembly's
// manifest and DLL. None is read; the assembly is not found.
TEST_F(HostileScan, ManifestsThatAreFifosAreNotRead) {
    LoaderOptions options;
    options.assemblies = true;
    scanner.SetLoaderOptions(options);
    for (const char* name : {"main.exe.manifest", "Priv.manifest", "Priv.dll"})
        ASSERT_EQ(mkfifo(dir.File(name).c_str(), 0644), 0);
    alarm(20);
    scanner.Scan(dir.Write("main.exe", PeImporting()), "", true, report);
    EXPECT_EQ(report.Texts(), std::vector<std::string>{MessageText(IDS_NO_REFERENCES)});
    // Without a store whether the program starts cannot be told; with one it cannot.
    const std::string plugin =
        dir.Write("plugin.dll",
                  PeWithResources({{24, 2, AssemblyText("Plug", "1.0.0.0", "", "Priv/1.0.0.0")}}));
    scanner.Scan(plugin, "", true, report);
    EXPECT_EQ(StateOf(scanner, "Priv 1.0.0.0 (side-by-side assembly)"), -1);
    dir.MakeDir("win/WinSxS/Manifests");
    platform.windowsDirectory = dir.File("win");
    scanner.Scan(plugin, "", true, report);
    EXPECT_EQ(StateOf(scanner, "Priv 1.0.0.0 (side-by-side assembly)"), REF_NOT_FOUND);
    alarm(0);
}

TEST_F(HostileScan, UnreadableFileIsNoModule) {
    const std::string main = dir.Write("main.exe", PeImporting("locked.dll"));
    const std::string locked = dir.Write("locked.dll", PeImporting());
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Root reads any file: a child started as root first becomes an unprivileged user.
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(10);
        if (open(locked.c_str(), O_RDONLY) >= 0) _exit(11);
        scanner.Scan(main, "", true, report);
        if (StateOf(scanner, "locked.dll") != REF_INCORRECT) _exit(12);
        scanner.Scan(locked, "", true, report);
        _exit(report.Texts() == kNotAModule ? 0 : 13);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace kivrel::test
