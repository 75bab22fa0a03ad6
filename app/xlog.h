// CxLog: the daily diagnostic log file. Callers queue entries (never touching the file); a
// writer thread of the logger appends each batch to the file of the current day,
// "<log directory>/YYYYMMDD.log", and closes the file between batches.
//
// Threads: LogWrite and WaitIdle may be called from any thread. One mutex guards the queue;
// the writer holds it while it writes a batch, so entries keep the order they were queued in.
#pragma once

#include <cstdarg>
#include <filesystem>
#include <memory>
#include <string>

class CxLog {
  public:
    enum Level { Message = 0, Warning = 1, Exception = 2, Error = 3 };

    // The process-wide logger, created on first use with DefaultDirectory(). After it was
    // destroyed at process exit this writes "CxLog has destroy!" to stderr and throws
    // std::runtime_error with that text.
    static CxLog& Instance();

    // A logger of its own writing into dir (created when missing); for tools and tests.
    explicit CxLog(std::filesystem::path dir);
    virtual ~CxLog();
    CxLog(const CxLog&) = delete;
    CxLog& operator=(const CxLog&) = delete;

    // Formats the text (at most 1023 characters), stamps it with the local time and queues it.
    // file and function may be null; file is cut to its own name; line counts only with a file.
    void LogWrite(const char* file, const char* function, int line, int level, const char* fmt, ...)
        __attribute__((format(printf, 6, 7)));
    void LogWriteV(const char* file, const char* function, int line, int level, const char* fmt,
                   va_list args);

    // Waits until every entry queued so far is written (or ms milliseconds passed).
    bool WaitIdle(int ms);

    const std::filesystem::path& Directory() const { return m_dir; }
    // The file that a batch written now goes to.
    std::filesystem::path TodayFile() const;

    // "Log" beside the executable; the per-user data folder's "Korvessa/Log" when that place
    // is not writable; "./Log" when the executable's path is unknown.
    static std::filesystem::path DefaultDirectory();
    // One log line (with its "\r\n") from its parts, as the writer formats it.
    static std::string FormatLine(const std::string& time, int level, const std::string& file,
                                  const std::string& function, int line, const std::string& text);
    static const char* LevelName(int level);

  protected:
    // The writer loop: waits for queued entries, writes them, ends when stopped.
    virtual void Run();

  private:
    struct State;
    std::filesystem::path m_dir;
    std::shared_ptr<State> m_state;
};

#define CXLOG(level, ...) \
    CxLog::Instance().LogWrite(__FILE__, __func__, __LINE__, (level), __VA_ARGS__)
