// Command line of kvsh: connection options, output options, the subcommand and its arguments.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kvsh {

// Exit statuses of kvsh.
enum ExitCode : int {
    kExitOk = 0,
    kExitRefused = 1,   // the controller refused (or answered with a failure)
    kExitUsage = 2,     // bad command line or unusable input file
    kExitNoAnswer = 3,  // no connection, or no answer in time
    kExitStopped = 130  // stopped with Ctrl-C
};

// Every failure ends the command with one line on stderr and an exit status.
struct Failure : std::runtime_error {
    Failure(int code_, const std::string& message) : std::runtime_error(message), code(code_) {}
    int code;
};

struct UsageError : Failure {
    UsageError(const std::string& message, std::string command_ = {})
        : Failure(kExitUsage, message), command(std::move(command_)) {}
    std::string command;  // the subcommand whose short usage follows the message, if any
};

enum class LinkKind { None, Udp, Serial, Usb };

struct Invocation {
    LinkKind link = LinkKind::None;
    std::string udpAddress;  // "A.B.C.D"
    unsigned char udp[4] = {0, 0, 0, 0};
    std::string serial;  // "PORT[:baud-data-stop-parity]"
    int usbIndex = -1;
    std::string key;  // --key, else $KVSH_KEY, else the factory key
    double timeoutSeconds = 10.0;
    bool json = false;
    bool verbose = false;
    bool help = false;               // --help / -h given
    bool version = false;            // --version given
    std::vector<std::string> words;  // the subcommand and its arguments, in order
};

inline constexpr const char* kDefaultKey = "62719405";

// Parses argv (without the program name). envKey is $KVSH_KEY or null. Throws UsageError.
Invocation ParseCommandLine(const std::vector<std::string>& args, const char* envKey);

// Splits a batch reply's value list "v1;v2;...;" (every value followed by ';'). nullopt when
// the text does not end with ';' (a cut or malformed list); "" gives no values.
std::optional<std::vector<std::string>> SplitValueList(const std::string& list);

// Parses "A.B.C.D" strictly (four decimal numbers 0-255).
bool ParseIPv4(const std::string& text, unsigned char out[4]);

// The whole help text, and the help of one subcommand (nullopt for an unknown one).
std::string GeneralHelp();
std::optional<std::string> CommandHelp(const std::string& command);
// "usage: kvsh tree" and the like, for the short usage after an error.
std::string CommandUsage(const std::string& command);

}  // namespace kvsh
