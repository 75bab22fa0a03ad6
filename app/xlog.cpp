#include "app/xlog.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

namespace {
constexpr size_t kLineBuffer = 1024;
std::atomic<bool> g_destroyed{false};  // trivially destructible: valid after exit-time teardown

struct Entry {
    std::string time, file, function, text;
    int level = 0;
    int line = 0;
};

std::string NowText() {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t t = system_clock::to_time_t(now);
    int ms = int(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
    return buf;
}

bool Writable(const fs::path& dir) {
    std::error_code ec;
    if (fs::exists(dir, ec)) return ::access(dir.c_str(), W_OK) == 0;
    return ::access(dir.parent_path().c_str(), W_OK) == 0;
}
}  // namespace

struct CxLog::State {
    std::mutex lock;
    std::condition_variable data;  // queue changed or stop requested
    std::condition_variable idle;  // a batch was written
    std::deque<Entry> queue;
    bool stop = false;
    bool busy = false;  // the writer holds entries it has not finished writing
    bool finished = false;
    fs::path dir;
    std::thread writer;
};

CxLog& CxLog::Instance() {
    if (g_destroyed.load()) {
        std::fputs("CxLog has destroy!\n", stderr);
        throw std::runtime_error("CxLog has destroy!");
    }
    static struct Holder {
        CxLog log{DefaultDirectory()};
        ~Holder() { g_destroyed.store(true); }
    } holder;
    return holder.log;
}

CxLog::CxLog(fs::path dir) : m_dir(std::move(dir)), m_state(std::make_shared<State>()) {
    std::error_code ec;
    fs::create_directories(m_dir, ec);  // an existing folder is fine; failures show at write
    m_state->dir = m_dir;
    // The thread keeps the state alive by itself; Run reads only that state once it started,
    // so a writer abandoned at destruction never touches the freed logger.
    std::shared_ptr<State> state = m_state;
    state->writer = std::thread([this, state] {
        Run();
        std::lock_guard<std::mutex> g(state->lock);
        state->finished = true;
        state->idle.notify_all();
    });
}

CxLog::~CxLog() {
    std::shared_ptr<State> state = m_state;
    std::unique_lock<std::mutex> g(state->lock);
    state->stop = true;
    state->data.notify_all();
    bool ended =
        state->idle.wait_for(g, std::chrono::milliseconds(500), [&] { return state->finished; });
    g.unlock();
    if (ended)
        state->writer.join();
    else
        state->writer.detach();  // entries still queued are lost
}

fs::path CxLog::DefaultDirectory() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return fs::path(".") / "Log";
    fs::path beside = exe.parent_path() / "Log";
    if (Writable(beside)) return beside;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    fs::path base = xdg && *xdg ? fs::path(xdg) : fs::path(home ? home : ".") / ".local" / "share";
    return base / "Korvessa" / "Log";
}

const char* CxLog::LevelName(int level) {
    static const char* const names[] = {"Message", "Warning", "Exception", "Error"};
    return level >= 0 && level <= 3 ? names[level] : "";
}

std::string CxLog::FormatLine(const std::string& time, int level, const std::string& file,
                              const std::string& function, int line, const std::string& text) {
    // A text that brings its own line end gets no second one.
    bool ownEnd = text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
    char buf[kLineBuffer];
    int n = std::snprintf(buf, sizeof buf, "%s %s %s(%s, %d): %s%s", time.c_str(), LevelName(level),
                          file.c_str(), function.c_str(), line, text.c_str(), ownEnd ? "" : "\r\n");
    if (n < 0) return "\r\n";
    if (size_t(n) >= sizeof buf) {
        // Cut to the buffer, but keep the line end so that the next line starts on its own.
        std::string cut(buf, sizeof buf - 1);
        cut.replace(cut.size() - 2, 2, "\r\n");
        return cut;
    }
    return std::string(buf, size_t(n));
}

void CxLog::LogWrite(const char* file, const char* function, int line, int level, const char* fmt,
                     ...) {
    va_list args;
    va_start(args, fmt);
    LogWriteV(file, function, line, level, fmt, args);
    va_end(args);
}

void CxLog::LogWriteV(const char* file, const char* function, int line, int level, const char* fmt,
                      va_list args) {
    char text[kLineBuffer] = {};
    if (fmt) std::vsnprintf(text, sizeof text, fmt, args);
    Entry e;
    e.time = NowText();
    e.level = level;
    if (file) {
        const char* name = file;
        for (const char* p = file; *p; ++p)
            if (*p == '\\' || *p == '/') name = p + 1;
        e.file = name;
        e.line = line;
    }
    if (function) e.function = function;
    e.text = text;
    std::lock_guard<std::mutex> g(m_state->lock);
    m_state->queue.push_back(std::move(e));
    m_state->data.notify_one();
}

bool CxLog::WaitIdle(int ms) {
    std::unique_lock<std::mutex> g(m_state->lock);
    return m_state->idle.wait_for(g, std::chrono::milliseconds(ms), [&] {
        return (m_state->queue.empty() && !m_state->busy) || m_state->finished;
    });
}

namespace {
fs::path TodayFileIn(const fs::path& dir) {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char name[32];
    std::strftime(name, sizeof name, "%Y%m%d.log", &tm);
    return dir / name;
}
}  // namespace

fs::path CxLog::TodayFile() const { return TodayFileIn(m_dir); }

void CxLog::Run() {
    std::shared_ptr<State> keep = m_state;
    State& s = *keep;
    std::unique_lock<std::mutex> g(s.lock);
    for (;;) {
        s.data.wait(g, [&] { return s.stop || !s.queue.empty(); });
        if (s.queue.empty()) return;  // stopped with nothing left: queued data wins over stop
        s.busy = true;
        // The file is opened per batch, so a batch after midnight starts the new day's file
        // and the file can be read or removed between batches.
        if (std::FILE* f = std::fopen(TodayFileIn(s.dir).c_str(), "ab")) {
            while (!s.queue.empty()) {
                const Entry& e = s.queue.front();
                std::string line = FormatLine(e.time, e.level, e.file, e.function, e.line, e.text);
                std::fwrite(line.data(), 1, line.size(), f);
                s.queue.pop_front();
            }
            std::fclose(f);
        } else {
            s.queue.clear();  // the day's file cannot be opened: this batch is lost
        }
        s.busy = false;
        s.idle.notify_all();
    }
}
