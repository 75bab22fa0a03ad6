#include "app/common/command_registry.h"

#include "app/common/commands.h"

void CCommandRegistry::Register(int id, Handler handler, Rule rule) {
    m_entries[id] = Entry{std::move(handler), std::move(rule)};
}

bool CCommandRegistry::HasHandler(int id) const {
    auto it = m_entries.find(id);
    return it != m_entries.end() && it->second.handler;
}

bool CCommandRegistry::IsEnabled(int id, const FrameState& state) const {
    auto it = m_entries.find(id);
    if (it != m_entries.end() && it->second.rule) return it->second.rule(state);
    return IsCommandEnabled(id, state.connected, state.running);
}

CCommandRegistry::Result CCommandRegistry::Execute(int id, const FrameState& state) const {
    if (!IsEnabled(id, state)) return Result::Disabled;
    auto it = m_entries.find(id);
    if (it == m_entries.end() || !it->second.handler) return Result::NoHandler;
    Handler handler = it->second.handler;  // the handler may replace itself while it runs
    handler();
    return Result::Done;
}
