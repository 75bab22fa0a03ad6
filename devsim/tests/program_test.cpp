// kvs-devsim as a program: options, the pseudo terminal and its link, requests over it, and a
// clean stop on SIGTERM and SIGINT.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "gbk.h"
#include "kvsh_user.h"

namespace {

// A child process with its stdout and stderr on pipes.
class Program {
  public:
    explicit Program(std::vector<std::string> args) {
        int out[2], err[2];
        if (::pipe(out) != 0 || ::pipe(err) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            ::close(out[0]);
            ::close(err[0]);
            std::vector<char*> argv;
            static std::string exe = KVS_DEVSIM_EXE;
            argv.push_back(exe.data());
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(exe.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~Program() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
        ::close(err_);
    }
    // The next stdout line, or "" after 10 s or at the end.
    std::string Line() {
        std::string line;
        char c;
        for (;;) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0 || ::read(out_, &c, 1) != 1) return line;
            if (c == '\n') return line;
            line += c;
        }
    }
    // Sends sig and returns the exit status (-1 when it did not exit normally within 10 s).
    int Stop(int sig) {
        if (sig) ::kill(pid_, sig);
        for (int i = 0; i < 1000; ++i) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            ::usleep(10000);
        }
        return -1;
    }
    std::string Stderr() {
        std::string s;
        char buf[4096];
        ssize_t n;
        ::fcntl(err_, F_SETFL, O_NONBLOCK);
        while ((n = ::read(err_, buf, sizeof buf)) > 0) s.append(buf, static_cast<size_t>(n));
        return s;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    bool exited_ = false;
};

TEST(Program, ServesAPtyUntilSignalledAndCleansUp) {
    auto dir =
        std::filesystem::temp_directory_path() / ("kvs-devsim-prog-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    for (int sig : {SIGTERM, SIGINT}) {
        std::string link = (dir / "tty").string();
        Program p({"--udp", "127.0.0.1:0", "--pty-link", link, "--key", "11112222", "-v"});
        std::string udp = p.Line(), pty = p.Line(), shown = p.Line();
        EXPECT_EQ(udp.rfind("udp 127.0.0.1:", 0), 0u) << udp;
        EXPECT_NE(udp, "udp 127.0.0.1:0");  // the port actually bound
        ASSERT_EQ(pty.rfind("pty /dev/pts/", 0), 0u) << pty;
        EXPECT_EQ(shown, "link " + link);
        EXPECT_EQ(std::filesystem::read_symlink(link).string(), pty.substr(4));

        KVSGetKey("11112222");
        std::string init = link + ":115200-8-1-0";
        ASSERT_TRUE(KVS_Initial_UART(init.data()));
        EXPECT_TRUE(KVS_Key("11112222"));
        const char* v = KVS_GetAttrVal(kvs::Utf8ToGbk("定时器-5").c_str(),
                                       kvs::Utf8ToGbk("启用定时器").c_str());
        EXPECT_STREQ(v, "true");  // the demo is the default configuration
        KVS_Clear();

        EXPECT_EQ(p.Stop(sig), 0);
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
        std::string err = p.Stderr();
        EXPECT_NE(err.find("请求 cmd=4"), std::string::npos) << err;  // the verbose log
        EXPECT_NE(err.find(sig == SIGTERM ? "stopped (SIGTERM)" : "stopped (SIGINT)"),
                  std::string::npos)
            << err;
    }
    std::filesystem::remove_all(dir);
}

TEST(Program, ServesTheLargeDemoOnAPacedPty) {
    auto dir =
        std::filesystem::temp_directory_path() / ("kvs-devsim-large-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::string link = (dir / "tty").string();
    Program p({"--no-udp", "--demo-large", "--pty-link", link, "--baud", "115200"});
    ASSERT_EQ(p.Line().rfind("pty ", 0), 0u);
    KVSGetKey("62719405");
    std::string init = link + ":115200-8-1-0";
    ASSERT_TRUE(KVS_Initial_UART(init.data()));
    for (const char* type : {"槽位连接线", "与门"}) {
        const char* used =
            KVS_GetAttrVal(kvs::Utf8ToGbk(type).c_str(), kvs::Utf8ToGbk("已用资源数").c_str());
        EXPECT_STREQ(used, std::string(type) == "与门" ? "16" : "120") << type;
    }
    KVS_Clear();
    EXPECT_EQ(p.Stop(SIGTERM), 0);
    std::filesystem::remove_all(dir);
}

TEST(Program, RefusesBadOptionsAndFiles) {
    struct Case {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{"--faults", "drop=7"}, 2},
        {{"--udp", "nowhere"}, 2},
        {{"--bogus"}, 2},
        {{"--no-udp", "--load", "/nonexistent/x.kvs"}, 1},
        {{"--udp", "300.1.1.1:5"}, 1},
        {{"extra"}, 2},
        {{"--key", "123456789"}, 2},
        {{"--baud", "0"}, 2},
        {{"--baud", "fast"}, 2},
    };
    for (auto& c : cases) {
        Program p(c.args);
        EXPECT_EQ(p.Stop(0), c.status) << c.args[0];
    }
    Program help({"--help"});
    EXPECT_EQ(help.Line(), "usage: kvs-devsim [options]");
    EXPECT_EQ(help.Stop(0), 0);
}

}  // namespace
