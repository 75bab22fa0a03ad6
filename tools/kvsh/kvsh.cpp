#include "kvsh.h"

#include <json/json.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>

#include "args.h"
#include "firmware.h"
#include "gbk.h"
#include "kvsh_records.h"
#include "kvsh_unsolicited.h"
#include "kvsh_vocab.h"
#include "link_flash_device.h"
#include "session.h"
#include "settings.h"
#include "tools/common/atomic_file.h"

namespace kvsh {

namespace {

using Words = std::vector<std::string>;

// ---------------------------------------------------------------------------------------------
// Output

void PrintJson(const Json::Value& v, bool compact = false) {
    Json::StreamWriterBuilder b;
    b["indentation"] = compact ? "" : "  ";
    b["emitUTF8"] = true;
    std::string s = Json::writeString(b, v);
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void PrintLine(const std::string& s) {
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fputc('\n', stdout);
}

// The library's log lines, shown with -v. Called on any thread; copies the ring entry at once.
std::mutex g_stderrMutex;
std::atomic<bool> g_verbose{false};
void PostLogLine(KVS_HWND, unsigned int, uintptr_t level, intptr_t entry) {
    const auto* e = reinterpret_cast<const KVS_LOG_ENTRY*>(entry);
    std::string text = Utf8(std::string(e->text, strnlen(e->text, sizeof e->text)));
    NoteLibraryLine(static_cast<unsigned>(level), text);
    if (!g_verbose.load()) return;
    std::lock_guard<std::mutex> lock(g_stderrMutex);
    std::fprintf(stderr, "kvsh: [%.8s] (%u) %s\n", e->time, static_cast<unsigned>(level),
                 text.c_str());
}

// ---------------------------------------------------------------------------------------------
// Helpers

void Arity(const Words& w, size_t min, size_t max, const std::string& command) {
    size_t n = w.size() - 1;
    if (n < min) throw UsageError("missing arguments", command);
    if (n > max) throw UsageError("too many arguments", command);
}

// A configuration text's GBK form takes at most this many bytes (the message limit less its
// head and NUL).
constexpr size_t kMaxConfigBytes = 65522;
// Its UTF-8 form may be half as long again (three bytes for two); a longer file cannot fit.
constexpr size_t kMaxConfigFileBytes = kMaxConfigBytes * 3 / 2;
// The largest message; a request whose texts do not fit is refused before it is sent.
constexpr size_t kMaxMessageBytes = 65535;
constexpr size_t kHeadBytes = 12;

std::string ReadInputFile(const std::string& path, size_t maxBytes) {
    std::string text, error;
    if (!kvs::ReadRegularFile(path, maxBytes, &text, &error)) throw Failure(kExitUsage, error);
    return text;
}

// Refuses a request whose texts (GBK, each with its NUL) do not fit one message.
void CheckFits(const std::string& command, std::initializer_list<const std::string*> texts) {
    size_t total = kHeadBytes;
    for (const std::string* t : texts) total += t->size() + 1;
    if (total > kMaxMessageBytes)
        throw UsageError("the names and values take " + std::to_string(total) +
                             " bytes; one request holds at most " +
                             std::to_string(kMaxMessageBytes),
                         command);
}

// Strict UTF-8 check: a configuration file with non-ASCII text that passes is UTF-8 (what
// `upload` printed); anything else is taken as the controller's own GBK text.
bool IsUtf8WithNonAscii(const std::string& s) {
    bool nonAscii = false;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (n < 0 || (n == 1 && c < 0xC2)) return false;
        if (n > 0 && i + static_cast<size_t>(n) >= s.size()) return false;
        for (int k = 1; k <= n; ++k)
            if ((static_cast<unsigned char>(s[i + static_cast<size_t>(k)]) & 0xC0) != 0x80)
                return false;
        nonAscii |= n > 0;
        i += static_cast<size_t>(n) + 1;
    }
    return nonAscii;
}

std::string TypeName(unsigned type) {
    switch (type) {
        case KVS_TYPE_ENUM:
            return "enum";
        case KVS_TYPE_BOOL:
            return "bool";
        case KVS_TYPE_COMMAND:
            return "command";
        default:
            return "text";
    }
}

std::string RoleName(unsigned role) {
    return role == KVS_ROLE_RECEIVE ? "in" : role == KVS_ROLE_SEND ? "out" : "";
}

std::string Text(const KVS_RECORD& rec, unsigned i) {
    const char* t = KVS_RecordText(&rec, i);
    return t ? Utf8(t) : std::string();
}

// ---------------------------------------------------------------------------------------------
// Commands

int CmdTree(Session& s) {
    const T_MSG_HEAD* r = s.Call("tree", [&] { return mKVS_GetComponentTree(s.Handle()); });
    if (!r) s.Fail("tree");
    if (KVS_STATUS(r) != 0) throw Failure(kExitRefused, "tree: refused by the controller");
    Json::Value types(Json::arrayValue);
    KVS_RECORD_ITER it;
    KVS_RECORD rec;
    KVS_RecordsBegin(&it, r);
    while (KVS_RecordsNext(&it, &rec)) {
        if (rec.kind == KVS_KIND_COMPONENT) {
            Json::Value t(Json::objectValue);
            t["name"] = Text(rec, 0);
            t["flag"] = rec.flag;
            t["instances"] = Json::Value(Json::arrayValue);
            types.append(t);
        } else if (rec.kind == KVS_KIND_INSTANCE) {
            if (types.empty()) {
                Json::Value t(Json::objectValue);
                t["name"] = "";
                t["flag"] = 0;
                t["instances"] = Json::Value(Json::arrayValue);
                types.append(t);
            }
            Json::Value i(Json::objectValue);
            i["name"] = Text(rec, 0);
            i["flag"] = rec.flag;
            types[types.size() - 1]["instances"].append(i);
        }
    }
    if (it.bad) throw Failure(kExitRefused, "tree: malformed answer from the controller");
    if (s.Inv().json) {
        Json::Value v(Json::objectValue);
        v["types"] = types;
        PrintJson(v);
        return kExitOk;
    }
    for (const Json::Value& t : types) {
        PrintLine(t["name"].asString());
        for (const Json::Value& i : t["instances"]) PrintLine("  " + i["name"].asString());
    }
    return kExitOk;
}

int CmdAttrs(Session& s, const Words& w) {
    const std::string comp = Gbk(w[1]);
    CheckFits("attrs", {&comp});
    const T_MSG_HEAD* r =
        s.Call("attrs", [&] { return mKVS_GetComponentAttrInfo(s.Handle(), comp.c_str()); });
    if (!r) s.Fail("attrs " + w[1]);
    if (KVS_STATUS(r) != 0)
        throw Failure(kExitRefused, "attrs " + w[1] + ": refused by the controller (status " +
                                        std::to_string(KVS_STATUS(r)) + "; no such component?)");
    Json::Value attrs(Json::arrayValue);
    std::string name = w[1];
    KVS_RECORD_ITER it;
    KVS_RECORD rec;
    KVS_RecordsBegin(&it, r);
    while (KVS_RecordsNext(&it, &rec)) {
        if (rec.kind == KVS_KIND_COMPONENT) {
            name = Text(rec, 0);
            continue;
        }
        if (rec.kind != KVS_KIND_ATTRIBUTE) continue;
        Json::Value a(Json::objectValue);
        a["name"] = Text(rec, 0);
        a["value"] = Text(rec, 1);
        a["type"] = rec.type;
        a["type-name"] = TypeName(rec.type);
        a["flags"] = rec.flags;
        a["read-only"] = (rec.flags & KVS_FLAG_READONLY) != 0;
        a["shape"] = (rec.flags & KVS_FLAG_SHAPE) != 0;
        a["slot-flag"] = (rec.flags & KVS_FLAG_SLOT) != 0;
        a["role"] = rec.role;
        a["role-name"] = RoleName(rec.role);
        Json::Value options(Json::arrayValue);
        if (rec.type == KVS_TYPE_ENUM)
            for (unsigned i = 2; i < rec.texts; ++i) options.append(Text(rec, i));
        a["options"] = options;
        attrs.append(a);
    }
    if (it.bad) throw Failure(kExitRefused, "attrs: malformed answer from the controller");
    if (s.Inv().json) {
        Json::Value v(Json::objectValue);
        v["component"] = name;
        v["attributes"] = attrs;
        PrintJson(v);
        return kExitOk;
    }
    for (const Json::Value& a : attrs) {
        std::string line = a["name"].asString() + " = " + a["value"].asString() + "  [" +
                           a["type-name"].asString() + " " + std::to_string(a["type"].asUInt());
        if (a["read-only"].asBool()) line += ", ro";
        if (a["shape"].asBool()) line += ", shape";
        if (a["slot-flag"].asBool()) line += ", slot";
        if (!a["role-name"].asString().empty()) line += ", " + a["role-name"].asString();
        if (!a["options"].empty()) {
            line += ", options:";
            for (const Json::Value& o : a["options"]) line += " " + o.asString();
        }
        PrintLine(line + "]");
    }
    return kExitOk;
}

int CmdGet(Session& s, const Words& w) {
    const std::string comp = Gbk(w[1]);
    Words names(w.begin() + 2, w.end());
    Words values;
    if (names.size() == 1) {
        const std::string attr = Gbk(names[0]);
        CheckFits("get", {&comp, &attr});
        const char* v =
            s.Call("get", [&] { return mKVS_GetAttrVal(s.Handle(), comp.c_str(), attr.c_str()); });
        if (!v) s.Fail("get " + w[1] + " " + names[0]);
        values.push_back(Utf8(v));
    } else {
        // One batch request: "comp.attr;comp.attr;" answered by "v1;v2;".
        std::string list;
        for (const std::string& n : names) {
            if (n.find(';') != std::string::npos || w[1].find(';') != std::string::npos)
                throw UsageError("names in a batch read cannot contain ';'", "get");
            list += comp + "." + Gbk(n) + ";";
        }
        CheckFits("get", {&list});
        const char* v = s.Call("get", [&] {
            return mKVS_GetBatchAttrVal(s.Handle(), list.c_str(), static_cast<int>(names.size()));
        });
        if (!v) s.Fail("get " + w[1]);
        auto split = SplitValueList(Utf8(v));
        if (split) values = *split;
        if (!split || values.size() != names.size())
            throw Failure(kExitRefused, "get: the controller answered " +
                                            std::to_string(values.size()) + " values for " +
                                            std::to_string(names.size()) + " attributes");
    }
    if (s.Inv().json) {
        Json::Value v(Json::objectValue), vals(Json::objectValue);
        v["component"] = w[1];
        for (size_t i = 0; i < names.size(); ++i) vals[names[i]] = values[i];
        v["values"] = vals;
        PrintJson(v);
    } else if (names.size() == 1) {
        PrintLine(values[0]);
    } else {
        for (size_t i = 0; i < names.size(); ++i) PrintLine(names[i] + "=" + values[i]);
    }
    return kExitOk;
}

int SetValue(Session& s, const std::string& compUtf8, const std::string& attrUtf8,
             const std::string& valueUtf8, const std::string& what) {
    const std::string comp = Gbk(compUtf8), attr = Gbk(attrUtf8), value = Gbk(valueUtf8);
    CheckFits(what, {&comp, &attr, &value});
    bool ok = s.Call(what, [&] {
        return mKVS_SetAttributeVal(s.Handle(), comp.c_str(), attr.c_str(), value.c_str(), true);
    });
    if (!ok) s.Fail(what);
    return kExitOk;
}

// set COMPONENT ATTR VALUE [ATTR VALUE...]: one pair is one write, several go in one batch
// request ("comp.attr;comp.attr;" with "v1;v2;").
int CmdSet(Session& s, const Words& w) {
    if (w.size() == 4) return SetValue(s, w[1], w[2], w[3], "set " + w[1] + " " + w[2]);
    if ((w.size() - 2) % 2 != 0) throw UsageError("set takes ATTR VALUE pairs", "set");
    std::string names, values;
    for (size_t i = 2; i + 1 < w.size(); i += 2) {
        if (w[1].find(';') != std::string::npos || w[i].find(';') != std::string::npos ||
            w[i + 1].find(';') != std::string::npos)
            throw UsageError("names and values in a batch write cannot contain ';'", "set");
        names += Gbk(w[1]) + "." + Gbk(w[i]) + ";";
        values += Gbk(w[i + 1]) + ";";
    }
    const int count = static_cast<int>((w.size() - 2) / 2);
    CheckFits("set", {&names, &values});
    if (!s.Call("set", [&] {
            return mKVS_SetBatchAttrVal(s.Handle(), names.c_str(), values.c_str(), count, true);
        }))
        s.Fail("set " + w[1]);
    return kExitOk;
}

int CmdAdd(Session& s, const Words& w) {
    const std::string type = Gbk(w[1]), none;
    CheckFits("add", {&type, &none});
    const char* name =
        s.Call("add", [&] { return mKVS_AddNewComponent(s.Handle(), type.c_str(), nullptr); });
    if (!name) s.Fail("add " + w[1]);
    if (s.Inv().json) {
        Json::Value v(Json::objectValue);
        v["name"] = Utf8(name);
        PrintJson(v);
    } else {
        PrintLine(Utf8(name));
    }
    return kExitOk;
}

int CmdDel(Session& s, const Words& w) {
    const std::string comp = Gbk(w[1]);
    CheckFits("del", {&comp});
    if (!s.Call("del", [&] { return mKVS_DelComponent(s.Handle(), comp.c_str()); }))
        s.Fail("del " + w[1]);
    return kExitOk;
}

// Splits a slot's full name at its last ':' (or, without one, its last '.'), as the library's
// KVS_SeparateFullName does but for names of any length. False when a part would be empty.
bool SplitSlotName(const std::string& full, std::string* comp, std::string* slot) {
    size_t sep = full.rfind(':');
    if (sep == std::string::npos) sep = full.rfind('.');
    if (sep == std::string::npos || sep == 0 || sep + 1 == full.size()) return false;
    *comp = full.substr(0, sep);
    *slot = full.substr(sep + 1);
    return true;
}

int CmdLink(Session& s, const Words& w, bool link) {
    const std::string command = link ? "link" : "unlink";
    std::string comp, attr;
    if (!SplitSlotName(Gbk(w[1]), &comp, &attr))
        throw UsageError("a receive slot is named COMPONENT:SLOT, not '" + w[1] + "'", command);
    std::string source, from, fromSlot;
    if (link) {
        source = Gbk(w[2]);
        if (!SplitSlotName(source, &from, &fromSlot))
            throw UsageError("a send slot is named COMPONENT:SLOT, not '" + w[2] + "'", command);
    }
    CheckFits(command, {&comp, &attr, &source});
    if (!s.Call(command, [&] {
            return mKVS_SetAttributeLink(s.Handle(), comp.c_str(), attr.c_str(), source.c_str());
        }))
        s.Fail(command + " " + w[1]);
    return kExitOk;
}

int CmdUpload(Session& s, const Words& w) {
    const char* text = s.Call(
        "upload", [&] { return mKVS_UploadConfig(s.Handle()); }, 100.0);
    if (!text) s.Fail("upload");
    const std::string config = text;
    if (w.size() == 2) {
        const std::string& path = w[1];
        std::string error;
        if (!kvs::WriteFileAtomically(path, config.data(), config.size(), &error))
            throw Failure(kExitUsage, "upload: " + error);
        return kExitOk;
    }
    if (s.Inv().json) {
        Json::Value v(Json::objectValue);
        v["config"] = Utf8(config);
        PrintJson(v);
    } else {
        std::string out = Utf8(config);
        std::fwrite(out.data(), 1, out.size(), stdout);
        if (!out.empty() && out.back() != '\n') std::fputc('\n', stdout);
    }
    return kExitOk;
}

int CmdDownload(const Invocation& inv, const Words& w) {
    // Everything about the file is checked before the controller is touched.
    std::string text = ReadInputFile(w[1], kMaxConfigFileBytes);
    if (text.find('\0') != std::string::npos)
        throw Failure(kExitUsage, w[1] + " is not a configuration text (it holds NUL bytes)");
    if (IsUtf8WithNonAscii(text)) text = kvs::Utf8ToGbk(text);
    constexpr size_t kMax = kMaxConfigBytes;
    if (text.size() > kMax)
        throw Failure(kExitUsage, w[1] + " holds " + std::to_string(text.size()) +
                                      " bytes; the controller takes at most " +
                                      std::to_string(kMax));
    Session s(inv, "download");
    // The library waits 10 ms per byte of the message for this answer.
    const double wait = static_cast<double>(text.size() + 13) * 0.010;
    if (!s.Call(
            "download", [&] { return mKVS_DownloadConfig(s.Handle(), text.c_str()); }, wait))
        s.Fail("download " + w[1]);
    return kExitOk;
}

int CmdFlashSave(Session& s, const Words& w) {
    uint8_t slot = static_cast<uint8_t>(w[2][0] - '0');
    if (!s.Call("flash save", [&] {
            return mKVS_ConfigFile_Operate(s.Handle(), KVS_CONFIG_SAVE_TO_FLASH, &slot, nullptr,
                                           nullptr, nullptr);
        })) {
        int code = s.ClassifyFailure();
        throw Failure(code,
                      std::string("保存配置文件到下位机Flash失败!") + " (" + s.FailureText() + ")");
    }
    return kExitOk;
}

StartupSettings ReadSettings(Session& s) {
    StartupSettings st;
    if (!s.Call("settings", [&] {
            return mKVS_ConfigFile_Operate(s.Handle(), KVS_CONFIG_READ_SETTINGS, &st.slot,
                                           &st.device, &st.serial, &st.record);
        })) {
        int code = s.ClassifyFailure();
        throw Failure(code, std::string("读取全局配置错误!") + " (" + s.FailureText() + ")");
    }
    return st;
}

int CmdSettings(const Invocation& inv, const Words& w) {
    if (w[1] == "show") {
        Arity(w, 1, 1, "settings");
        Session s(inv, "settings");
        StartupSettings st = ReadSettings(s);
        if (inv.json) {
            PrintJson(SettingsJson(st));
        } else {
            for (const auto& [label, value] : SettingsLines(st)) PrintLine(label + value);
        }
        return kExitOk;
    }
    if (w[1] != "set") throw UsageError("settings takes show or set", "settings");
    if (w.size() < 3) throw UsageError("settings set needs FIELD=VALUE", "settings");
    // Every assignment is checked before anything is read or written.
    std::string error;
    StartupSettings probe;
    for (size_t i = 2; i < w.size(); ++i)
        if (!ApplySetting(probe, w[i], &error)) throw UsageError(error, "settings");
    Session s(inv, "settings");
    StartupSettings st = ReadSettings(s);
    for (size_t i = 2; i < w.size(); ++i) ApplySetting(st, w[i], &error);
    StartupSettings sent = st;
    if (!s.Call("settings set", [&] {
            return mKVS_ConfigFile_Operate(s.Handle(), KVS_CONFIG_WRITE_SETTINGS, &sent.slot,
                                           &sent.device, &sent.serial, &sent.record);
        })) {
        int code = s.ClassifyFailure();
        throw Failure(code, std::string("保存全局配置错误!") + " (" + s.FailureText() + ")");
    }
    if (inv.json) PrintJson(SettingsJson(st));
    std::fprintf(stderr, "kvsh: %s\n", "KVS启动参数改变，重启动后该参数生效!");
    return kExitOk;
}

// --- firmware ---------------------------------------------------------------------------------

std::atomic<kvs::fw::CFirmwareEngine*> g_firmware{nullptr};

extern "C" void OnFirmwareInterrupt(int) {
    if (kvs::fw::CFirmwareEngine* e = g_firmware.load()) e->RequestStop();
    // A second Ctrl-C ends kvsh at once.
    signal(SIGINT, SIG_DFL);
}

// Every flash request under the session's watchdog, remembering whether the last one failed.
class CWatchedFlashDevice : public kvs::fw::IFlashDevice {
  public:
    explicit CWatchedFlashDevice(Session& s) : m_s(s), m_link(s.Handle()) {}
    std::optional<std::string> GetAttr(const char* a) override {
        return m_s.Call("firmware", [&] { return m_link.GetAttr(a); });
    }
    bool SetAttr(const char* a, const std::string& v) override {
        return m_s.Call("firmware", [&] { return m_link.SetAttr(a, v); });
    }
    std::optional<std::vector<uint8_t>> GetMemData(const char* a) override {
        return m_s.Call("firmware", [&] { return m_link.GetMemData(a); });
    }
    bool SetMemData(const char* a, std::span<const uint8_t> d) override {
        return m_s.Call("firmware", [&] { return m_link.SetMemData(a, d); });
    }
    kvs::fw::FlashFailure LastFailure() const override { return m_link.LastFailure(); }

  private:
    Session& m_s;
    kvs::fw::CLinkFlashDevice m_link;
};

class ProgressView {
  public:
    explicit ProgressView(bool quiet) : m_tty(!quiet && isatty(STDERR_FILENO)), m_quiet(quiet) {}
    ~ProgressView() { Finish(); }

    void Progress(kvs::fw::FirmwarePhase phase, int32_t done, int32_t total) {
        if (!m_tty || total <= 0) return;
        const char* name = phase == kvs::fw::FirmwarePhase::Backup  ? "备份"
                           : phase == kvs::fw::FirmwarePhase::Write ? "升级"
                                                                    : "校验";
        const int width = 30;
        int filled = static_cast<int>(int64_t{done} * width / total);
        int percent = static_cast<int>(int64_t{done} * 100 / total);
        if (percent == m_lastPercent && phase == m_lastPhase && done != total) return;
        m_lastPercent = percent;
        m_lastPhase = phase;
        std::fprintf(stderr, "\r%s [%s%s] %3d%% %d/%d", name, std::string(filled, '#').c_str(),
                     std::string(width - filled, '.').c_str(), percent, done, total);
        std::fflush(stderr);
        m_open = true;
    }
    // Phase lines come at most once a second; they are the progress of a non-terminal. The
    // final text (success or failure) is printed once by the caller.
    void Status(const std::string& text) {
        if (m_tty || m_quiet || text.rfind("正在", 0) != 0) return;
        std::fprintf(stderr, "kvsh: %s\n", text.c_str());
        std::fflush(stderr);
    }
    void Finish() {
        if (m_open) std::fputc('\n', stderr);
        m_open = false;
    }

  private:
    bool m_tty, m_quiet;
    bool m_open = false;
    int m_lastPercent = -1;
    kvs::fw::FirmwarePhase m_lastPhase = kvs::fw::FirmwarePhase::Backup;
};

int CmdFirmware(const Invocation& inv, const Words& w) {
    const bool backup = w[1] == "backup";
    if (!backup && w[1] != "upgrade")
        throw UsageError("firmware takes backup or upgrade", "firmware");
    Arity(w, 2, 2, "firmware");
    const std::string& path = w[2];
    if (!backup) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(path.c_str(), R_OK))
            throw Failure(kExitUsage, "cannot read " + path);
    }
    Session s(inv, "firmware");
    CWatchedFlashDevice device(s);
    ProgressView view(false);
    kvs::fw::FirmwareCallbacks cb;
    cb.progress = [&](kvs::fw::FirmwarePhase p, int32_t d, int32_t t) { view.Progress(p, d, t); };
    cb.status = [&](const std::string& t) { view.Status(t); };
    if (inv.verbose) {
        cb.debug = [&](const std::string& t) { std::fprintf(stderr, "kvsh: %s\n", t.c_str()); };
        cb.log = [&](kvs::fw::FirmwareLogLevel, const char* fn, const std::string& t) {
            std::fprintf(stderr, "kvsh: %s: %s\n", fn, t.c_str());
        };
    }
    kvs::fw::CFirmwareEngine engine(device, cb);
    g_firmware.store(&engine);
    struct sigaction sa {
    }, old{};
    sa.sa_handler = OnFirmwareInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &old);
    kvs::fw::FirmwareOutcome out = backup ? engine.Backup(path) : engine.Upgrade(path);
    sigaction(SIGINT, &old, nullptr);
    g_firmware.store(nullptr);
    view.Finish();

    using kvs::fw::FirmwareResult;
    const std::string what = std::string("firmware ") + w[1] + ": ";
    switch (out.result) {
        case FirmwareResult::Done:
            break;
        case FirmwareResult::Stopped:
            throw Failure(kExitStopped, what + out.status);
        case FirmwareResult::CannotOpenFile:
        case FirmwareResult::LengthMismatch:
            throw Failure(kExitUsage, what + out.status + " " + path +
                                          (out.detail.empty() ? "" : " (" + out.detail + ")"));
        case FirmwareResult::VerifyError:
            throw Failure(kExitRefused, what + out.status);
        default: {
            int code = s.ClassifyFailure();
            throw Failure(code, what + out.status + " (" + s.FailureText() + ")");
        }
    }
    const kvs::fw::FlashGeometry& g = engine.Geometry();
    if (inv.json) {
        Json::Value v(Json::objectValue);
        v["operation"] = w[1];
        v["file"] = path;
        v["status"] = out.status;
        v["page-size"] = g.pageSize;
        v["pages"] = g.Pages();
        v["bytes"] = g.imageSize;
        v["block-size"] = g.blockSize;
        v["blocks"] = g.blockCount;
        v["verified"] = !backup;
        PrintJson(v);
    } else {
        std::fprintf(stderr, "kvsh: %s\n", out.status.c_str());
    }
    return kExitOk;
}

// --- monitor ------------------------------------------------------------------------------------

int g_wakePipe[2] = {-1, -1};

extern "C" void OnMonitorSignal(int) {
    char c = 1;
    ssize_t n = write(g_wakePipe[1], &c, 1);
    (void)n;
}

struct MonitorContext {
    bool json;
    std::mutex mutex;
};

std::string Span(const KVS_TEXT_SPAN& t) { return Utf8(std::string(t.text, t.length)); }

// The device's unsolicited messages, as the program's output pane shows them (one decoder for
// both, kvsh_unsolicited.h): a monitor event without value has an empty value.
void OnMonitorMessage(const unsigned char* msg, int length, void* user) {
    auto* ctx = static_cast<MonitorContext*>(user);
    const int cmd = KVS_UnsolicitedCode(msg, length);
    if (cmd < 0) return;
    std::vector<Json::Value> events;
    std::vector<std::string> lines;
    KVS_MONITOR_EVENT event;
    KVS_INFO_ITER it;
    KVS_INFO_LINE info;
    if (KVS_DecodeMonitorEvent(msg, length, &event)) {
        const std::string name = Span(event.name), value = Span(event.value);
        lines.push_back("收到监控事件--属性名:" + name + ",当前值:" + value);
        Json::Value e(Json::objectValue);
        e["event"] = "monitor";
        e["attribute"] = name;
        e["value"] = event.has_value ? Json::Value(value) : Json::Value(Json::nullValue);
        events.push_back(e);
    } else if (KVS_InfoLinesBegin(&it, msg, length)) {
        while (KVS_InfoLinesNext(&it, &info)) {
            const std::string text = Span(info.text);
            lines.push_back("KVS固件信息:  " + text);
            Json::Value e(Json::objectValue);
            e["event"] = "info";
            e["level"] = info.level;
            e["text"] = text;
            events.push_back(e);
        }
    } else {
        lines.push_back("收到不能识别的KVS消息类型");
        Json::Value e(Json::objectValue);
        e["event"] = "unknown";
        e["cmd"] = cmd;
        events.push_back(e);
    }
    std::lock_guard<std::mutex> lock(ctx->mutex);
    if (ctx->json) {
        for (const Json::Value& e : events) PrintJson(e, true);
    } else {
        for (const std::string& l : lines) PrintLine(l);
        std::fflush(stdout);
    }
}

int CmdMonitor(Session& s) {
    if (pipe(g_wakePipe) != 0) throw Failure(kExitUsage, "cannot create a pipe");
    struct sigaction sa {
    }, oldInt{}, oldTerm{};
    sa.sa_handler = OnMonitorSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &oldInt);
    sigaction(SIGTERM, &sa, &oldTerm);
    MonitorContext ctx{s.Inv().json, {}};
    mKVS_RegistRecvCallBack(s.Handle(), OnMonitorMessage, &ctx);
    std::fprintf(stderr, "kvsh: monitoring, Ctrl-C ends\n");
    std::fflush(stderr);
    pollfd pfd{g_wakePipe[0], POLLIN, 0};
    while (poll(&pfd, 1, -1) < 0 && errno == EINTR) {
    }
    mKVS_RegistRecvCallBack(s.Handle(), nullptr, nullptr);
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    {
        std::lock_guard<std::mutex> lock(ctx.mutex);
        std::fflush(stdout);
    }
    close(g_wakePipe[0]);
    close(g_wakePipe[1]);
    return kExitOk;
}

int CmdBoot(const Invocation& inv, const Words& w) {
    static const std::map<std::string, int> kModes = {
        {"enter", 0}, {"leave", 1}, {"factory", 2}, {"normal", 3}};
    auto it = kModes.find(w[1]);
    if (it == kModes.end()) throw UsageError("boot takes enter, leave, factory or normal", "boot");
    // The boot loader may not know the key command, so no key is presented.
    Session s(inv, "boot", false);
    if (!s.Call(
            "boot", [&] { return mKVS_InBoot(s.Handle(), it->second); }, 0.5))
        throw Failure(kExitNoAnswer, "boot " + w[1] + ": no answer from the controller");
    return kExitOk;
}

int CmdUsbList(const Invocation& inv) {
    int indexes[64];
    int n = KVS_GetUSBDevIndexs(indexes, 64);
    if (inv.json) {
        Json::Value v(Json::objectValue), list(Json::arrayValue);
        for (int i = 0; i < n; ++i) list.append(indexes[i]);
        v["indexes"] = list;
        PrintJson(v);
    } else {
        for (int i = 0; i < n; ++i) PrintLine(std::to_string(indexes[i]));
    }
    return kExitOk;
}

int Dispatch(const Invocation& inv) {
    const Words& w = inv.words;
    const std::string& c = w[0];
    if (c == "help") {
        if (w.size() == 1) {
            std::fputs(GeneralHelp().c_str(), stdout);
            return kExitOk;
        }
        auto h = CommandHelp(w[1]);
        if (!h) throw UsageError("no command '" + w[1] + "'");
        std::fputs(h->c_str(), stdout);
        return kExitOk;
    }
    if (!CommandHelp(c)) throw UsageError("no command '" + c + "'");
    if (inv.help) {
        std::fputs(CommandHelp(c)->c_str(), stdout);
        return kExitOk;
    }
    if (c == "usb") {
        Arity(w, 1, 1, c);
        if (w[1] != "list") throw UsageError("usb takes list", c);
        return CmdUsbList(inv);
    }
    if (c == "download") {
        Arity(w, 1, 1, c);
        return CmdDownload(inv, w);
    }
    if (c == "settings") {
        if (w.size() < 2) throw UsageError("settings takes show or set", c);
        return CmdSettings(inv, w);
    }
    if (c == "firmware") {
        if (w.size() < 2) throw UsageError("firmware takes backup or upgrade", c);
        return CmdFirmware(inv, w);
    }
    if (c == "boot") {
        Arity(w, 1, 1, c);
        return CmdBoot(inv, w);
    }
    // The rest check their arguments, then connect.
    if (c == "tree" || c == "run" || c == "stop" || c == "restart" || c == "monitor")
        Arity(w, 0, 0, c);
    if (c == "attrs" || c == "add" || c == "del" || c == "unlink") Arity(w, 1, 1, c);
    if (c == "get") Arity(w, 2, 1000, c);
    if (c == "set") Arity(w, 3, 1001, c);
    if (c == "link") Arity(w, 2, 2, c);
    if (c == "upload") Arity(w, 0, 1, c);
    if (c == "flash") {
        Arity(w, 2, 2, c);
        if (w[1] != "save") throw UsageError("flash takes save SLOT", c);
        if (w[2].size() != 1 || w[2][0] < '0' || w[2][0] > '5')
            throw UsageError("the flash slot is 0-5, not '" + w[2] + "'", c);
    }
    Session s(inv, c);
    if (c == "tree") return CmdTree(s);
    if (c == "attrs") return CmdAttrs(s, w);
    if (c == "get") return CmdGet(s, w);
    if (c == "set") return CmdSet(s, w);
    if (c == "add") return CmdAdd(s, w);
    if (c == "del") return CmdDel(s, w);
    if (c == "link") return CmdLink(s, w, true);
    if (c == "unlink") return CmdLink(s, w, false);
    if (c == "upload") return CmdUpload(s, w);
    if (c == "run") return SetValue(s, KVS_COMPONENT_MANAGER, KVS_ATTR_RUN_STATE, "true", "run");
    if (c == "stop") return SetValue(s, KVS_COMPONENT_MANAGER, KVS_ATTR_RUN_STATE, "false", "stop");
    if (c == "restart")
        return SetValue(s, KVS_COMPONENT_MANAGER, KVS_ATTR_RESTART, "true", "restart");
    if (c == "flash") return CmdFlashSave(s, w);
    if (c == "monitor") return CmdMonitor(s);
    throw UsageError("no command '" + c + "'");
}

}  // namespace

int Main(int argc, char** argv) {
    Words args(argv + 1, argv + argc);
    Invocation inv;
    try {
        inv = ParseCommandLine(args, std::getenv("KVSH_KEY"));
        if (inv.version) {
            std::printf("kvsh %s\n", KVSH_VERSION);
            return kExitOk;
        }
        if (inv.words.empty()) {
            if (inv.help) {
                std::fputs(GeneralHelp().c_str(), stdout);
                return kExitOk;
            }
            throw UsageError("no command given");
        }
        // Always registered: failures name the library's reason; -v prints every line.
        g_verbose = inv.verbose;
        KVS_RegistInfoPostFunc(PostLogLine);
        KVS_RegistInfoWnd(reinterpret_cast<KVS_HWND>(1));
        int code = Dispatch(inv);
        std::fflush(stdout);
        return code;
    } catch (const UsageError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "kvsh: %s\n%s\n", e.what(), CommandUsage(e.command).c_str());
        return e.code;
    } catch (const Failure& e) {
        std::fflush(stdout);
        std::lock_guard<std::mutex> lock(g_stderrMutex);
        std::fprintf(stderr, "kvsh: %s\n", e.what());
        return e.code;
    } catch (const std::exception& e) {
        // Never an abort: every other failure still ends with a line and a status.
        std::fflush(stdout);
        std::lock_guard<std::mutex> lock(g_stderrMutex);
        std::fprintf(stderr, "kvsh: %s\n", e.what());
        return kExitUsage;
    }
}

}  // namespace kvsh
