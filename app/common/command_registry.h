// The frame's commands as a registry: every module attaches the handler of its command (and,
// where the command table's rule does not fit, an enable rule of its own) without editing the
// frame. Rules see only the frame's state, the two flags from which every rule follows.
// User-interface thread only.
#pragma once

#include <functional>
#include <map>

struct FrameState {
    bool connected = false;
    bool running = false;
};

class CCommandRegistry {
  public:
    using Handler = std::function<void()>;
    using Rule = std::function<bool(const FrameState&)>;
    enum class Result { Done, Disabled, NoHandler };

    // Attaches (or replaces) the handler of id; a rule, when given, replaces the command
    // table's rule for id.
    void Register(int id, Handler handler, Rule rule = {});
    bool HasHandler(int id) const;
    // The command's rule in that state: its own rule, else the table's (unknown ids: always).
    bool IsEnabled(int id, const FrameState& state) const;
    // Runs the handler of id when the command is enabled in state.
    Result Execute(int id, const FrameState& state) const;

  private:
    struct Entry {
        Handler handler;
        Rule rule;
    };
    std::map<int, Entry> m_entries;
};
