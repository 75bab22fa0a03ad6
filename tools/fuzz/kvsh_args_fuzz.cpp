// kvsh's command line, its settings assignments and the batch value-list split on arbitrary
// input: NUL-separated words (the first is $KVSH_KEY). Usage errors are the only exceptions.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "args.h"
#include "settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 8192) return 0;
    std::vector<std::string> words;
    std::string cur;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            words.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(static_cast<char>(data[i]));
        }
    }
    words.push_back(cur);
    const std::string env = words.front();
    words.erase(words.begin());
    try {
        kvsh::Invocation inv = kvsh::ParseCommandLine(words, env.empty() ? nullptr : env.c_str());
        if (inv.timeoutSeconds <= 0) std::abort();
    } catch (const kvsh::UsageError&) {
    }
    kvsh::StartupSettings s;
    std::string error;
    for (const std::string& w : words) {
        const kvsh::StartupSettings before = s;
        // A refused assignment leaves the settings unchanged.
        if (!kvsh::ApplySetting(s, w, &error) &&
            (before.slot != s.slot || before.device != s.device || before.serial != s.serial ||
             std::memcmp(&before.record, &s.record, sizeof s.record) != 0))
            std::abort();
        kvsh::SettingsLines(s);
    }
    for (const std::string& w : words) kvsh::SplitValueList(w);
    return 0;
}
