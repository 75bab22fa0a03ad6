#include "args.h"

#include <cerrno>
#include <cstdlib>

namespace kvsh {

namespace {

struct CommandDoc {
    const char* name;
    const char* synopsis;
    const char* summary;
    const char* details;
};

const CommandDoc kCommands[] = {
    {"tree", "tree", "list the component types and their instances",
     "Prints every component type of the controller with its instances indented below it.\n"},
    {"attrs", "attrs COMPONENT",
     "show a component's attributes (name, type, flags, role, value, options)",
     "Flags: ro = read-only, shape = shapes the component's box, slot = per-slot flag.\n"
     "Role: in = receive slot, out = send slot.\n"},
    {"get", "get COMPONENT ATTR [ATTR...]", "read attribute values",
     "One attribute prints its value alone; several are read in one batch request and print\n"
     "ATTR=VALUE lines.\n"},
    {"set", "set COMPONENT ATTR VALUE [ATTR VALUE...]", "write attribute values",
     "Waits for the controller's answer; a refused write exits with status 1. Several pairs\n"
     "are written in one batch request.\n"},
    {"add", "add TYPE", "create an instance of a component type; prints its full name", ""},
    {"del", "del COMPONENT", "delete a component", ""},
    {"link", "link RECEIVE_SLOT SEND_SLOT", "link a receive slot to a send slot",
     "Slots are named COMPONENT:SLOT, for example 定时器-1:启动 定时器-2:输出.\n"},
    {"unlink", "unlink RECEIVE_SLOT", "remove the link of a receive slot", ""},
    {"upload", "upload [FILE]", "save the controller's configuration",
     "Without FILE the configuration text goes to standard output (as UTF-8). A FILE receives\n"
     "the controller's text unchanged (GBK, as the program's project files) and is replaced\n"
     "atomically: a failed upload never destroys an existing file.\n"},
    {"download", "download FILE", "replace the controller's configuration with a file",
     "FILE may be GBK (a project file) or UTF-8 (what `kvsh upload` printed).\n"},
    {"run", "run", "start the switch network and the work loop", ""},
    {"stop", "stop", "stop the switch network and the work loop", ""},
    {"restart", "restart", "restart the controller", ""},
    {"flash", "flash save SLOT", "save the running configuration into flash slot 0-5", ""},
    {"settings", "settings show | settings set FIELD=VALUE...",
     "show or change the controller's startup parameters",
     "Fields (values as shown by `settings show`, or the codes in brackets):\n"
     "  device            串口通讯 [0, serial] | USB转串口通讯 [1, usb-serial] | USB口通讯 [2, "
     "usb]\n"
     "                    | UDP口通讯 [3, udp]\n"
     "  slot              startup configuration slot 0-5\n"
     "  baud              9600 | 19200 | 38400 | 115200\n"
     "  data-bits         6 | 7 | 8\n"
     "  stop-bits         1 | 2\n"
     "  parity            无校验 [none] | 奇校验 [odd] | 偶校验 [even]\n"
     "  device-ip, subnet-mask, gateway, remote-server-ip   A.B.C.D\n"
     "  client-port, server-port, modbus-port, server-listen-port   0-65535\n"
     "  key               exactly 8 characters\n"
     "The new parameters take effect when the controller restarts.\n"},
    {"firmware", "firmware backup FILE | firmware upgrade FILE",
     "back up the program flash into a .fw file, or program one and verify it",
     "Shows a progress bar on a terminal and progress lines otherwise. Ctrl-C stops the\n"
     "operation at its next status update (within about a second) and exits with status 130.\n"
     "A stopped or failed upgrade leaves the flash partly programmed. A backup file is only\n"
     "written once every page has been read, and replaces an existing file atomically.\n"},
    {"monitor", "monitor", "print monitor events and device information lines until Ctrl-C",
     "With --json every event is one JSON object on its own line.\n"},
    {"boot", "boot enter|leave|factory|normal",
     "enter or leave the boot loader, or set factory or normal mode",
     "Any answer counts as done; no answer within 500 ms exits with status 3.\n"},
    {"usb", "usb list", "list the indexes of the attached USB controllers", ""},
    {"help", "help [COMMAND]", "show this help, or the help of one command", ""},
};

const CommandDoc* FindCommand(const std::string& name) {
    for (const CommandDoc& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

const char kOptionsHelp[] =
    "Connection (needed by every command that talks to the controller):\n"
    "  --udp A.B.C.D            UDP from local port 30000 to the controller's port 30001\n"
    "  --serial PORT[:SETTINGS] serial port (a path such as /dev/ttyUSB0, or COMn); SETTINGS is\n"
    "                           baud-data-stop-parity, e.g. 9600-8-1-偶校验 (parity 奇校验 odd,\n"
    "                           偶校验 even, anything else none); default 115200-8-1, no parity\n"
    "  --usb INDEX              the USB controller at INDEX (see `kvsh usb list`)\n"
    "  --key KEY                access key (default $KVSH_KEY, else 62719405)\n"
    "  --timeout SECONDS        longest wait for one answer (default 10)\n"
    "Output:\n"
    "  --json                   machine-readable output on standard output\n"
    "  -v, --verbose            print the link library's log lines on standard error\n"
    "  -h, --help               help\n"
    "  --version                print kvsh's version\n";

const char kExitHelp[] =
    "Exit status: 0 done; 1 the controller refused; 2 usage error or unusable file;\n"
    "3 no connection or no answer in time; 130 stopped with Ctrl-C.\n";

bool ParseTimeout(const std::string& text, double* out) {
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || *end != '\0' || !(v > 0) || v > 86400) return false;
    *out = v;
    return true;
}

bool LooksLikeNumber(const std::string& s) {
    return s.size() >= 2 && s[0] == '-' && ((s[1] >= '0' && s[1] <= '9') || s[1] == '.');
}

}  // namespace

bool ParseIPv4(const std::string& text, unsigned char out[4]) {
    unsigned char bytes[4];
    size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != '.') return false;
            ++pos;
        }
        size_t start = pos;
        unsigned value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3)
            value = value * 10 + static_cast<unsigned>(text[pos++] - '0');
        if (pos == start || value > 255) return false;
        bytes[i] = static_cast<unsigned char>(value);
    }
    if (pos != text.size()) return false;
    for (int i = 0; i < 4; ++i) out[i] = bytes[i];
    return true;
}

Invocation ParseCommandLine(const std::vector<std::string>& args, const char* envKey) {
    Invocation inv;
    inv.key = envKey && *envKey ? envKey : kDefaultKey;
    int links = 0;
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnd || a.empty() || a[0] != '-' || a == "-" || LooksLikeNumber(a)) {
            inv.words.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnd = true;
            continue;
        }
        std::string name = a, value;
        bool hasValue = false;
        if (a.rfind("--", 0) == 0) {
            size_t eq = a.find('=');
            if (eq != std::string::npos) {
                name = a.substr(0, eq);
                value = a.substr(eq + 1);
                hasValue = true;
            }
        }
        auto takeValue = [&]() -> std::string {
            if (hasValue) return value;
            if (i + 1 >= args.size()) throw UsageError("option " + name + " needs a value");
            return args[++i];
        };
        auto noValue = [&] {
            if (hasValue) throw UsageError("option " + name + " takes no value");
        };
        if (name == "--udp") {
            inv.udpAddress = takeValue();
            if (!ParseIPv4(inv.udpAddress, inv.udp))
                throw UsageError("--udp needs an IPv4 address A.B.C.D, not '" + inv.udpAddress +
                                 "'");
            inv.link = LinkKind::Udp;
            ++links;
        } else if (name == "--serial") {
            inv.serial = takeValue();
            if (inv.serial.empty() || inv.serial[0] == ':')
                throw UsageError("--serial needs a port name");
            inv.link = LinkKind::Serial;
            ++links;
        } else if (name == "--usb") {
            std::string v = takeValue();
            char* end = nullptr;
            errno = 0;
            long index = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || errno != 0 || index < 0 || index > 1000000)
                throw UsageError("--usb needs a device index (see `kvsh usb list`), not '" + v +
                                 "'");
            inv.usbIndex = static_cast<int>(index);
            inv.link = LinkKind::Usb;
            ++links;
        } else if (name == "--key") {
            inv.key = takeValue();
        } else if (name == "--timeout") {
            std::string v = takeValue();
            if (!ParseTimeout(v, &inv.timeoutSeconds))
                throw UsageError("--timeout needs a number of seconds above 0, not '" + v + "'");
        } else if (name == "--json") {
            noValue();
            inv.json = true;
        } else if (name == "-v" || name == "--verbose") {
            noValue();
            inv.verbose = true;
        } else if (name == "-h" || name == "--help") {
            noValue();
            inv.help = true;
        } else if (name == "--version") {
            noValue();
            inv.version = true;
        } else {
            throw UsageError("unknown option " + name);
        }
    }
    if (links > 1) throw UsageError("give only one of --udp, --serial and --usb");
    return inv;
}

std::string GeneralHelp() {
    std::string s =
        "usage: kvsh [CONNECTION] [--json] [-v] COMMAND [ARGS...]\n\n"
        "kvsh drives a Korvessa controller from the command line. Texts are UTF-8 on the\n"
        "terminal and GBK on the wire.\n\nCommands:\n";
    for (const CommandDoc& c : kCommands) {
        std::string line = "  " + std::string(c.synopsis);
        if (line.size() < 36)
            line.resize(36, ' ');
        else
            line += "\n" + std::string(36, ' ');
        s += line + c.summary + "\n";
    }
    s += "\n";
    s += kOptionsHelp;
    s += "\n";
    s += kExitHelp;
    s += "\n`kvsh help COMMAND` or `kvsh COMMAND --help` shows the help of one command.\n";
    return s;
}

std::optional<std::string> CommandHelp(const std::string& command) {
    const CommandDoc* c = FindCommand(command);
    if (!c) return std::nullopt;
    std::string s = "usage: kvsh [CONNECTION] [--json] [-v] " + std::string(c->synopsis) + "\n\n" +
                    c->summary + ".\n";
    if (*c->details) s += "\n" + std::string(c->details);
    s += "\n";
    s += kOptionsHelp;
    s += "\n";
    s += kExitHelp;
    return s;
}

std::string CommandUsage(const std::string& command) {
    const CommandDoc* c = FindCommand(command);
    if (!c) return "usage: kvsh [CONNECTION] [--json] [-v] COMMAND [ARGS...]   (kvsh help)";
    return "usage: kvsh [CONNECTION] [--json] [-v] " + std::string(c->synopsis) + "   (kvsh " +
           c->name + " --help)";
}

std::optional<std::vector<std::string>> SplitValueList(const std::string& list) {
    std::vector<std::string> values;
    size_t pos = 0;
    while (pos < list.size()) {
        const size_t semi = list.find(';', pos);
        if (semi == std::string::npos) return std::nullopt;
        values.push_back(list.substr(pos, semi - pos));
        pos = semi + 1;
    }
    return values;
}

}  // namespace kvsh
