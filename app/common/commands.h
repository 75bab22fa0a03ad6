// The frame's command table: ids, menu texts, prompts and the enable rule of every command.
// Every rule derives from the frame's two flags, connected and running.
#pragma once

#include <QString>
#include <vector>

enum CommandId {
    ID_CUSTOMIZE = 126,
    ID_LOOK_WIN2000 = 210,
    ID_LOOK_OFFXP = 211,
    ID_LOOK_WINXP = 212,
    ID_LOOK_OFF2003 = 213,
    ID_LOOK_VS2005 = 214,
    ID_LOOK_OFF2007_BLUE = 215,
    ID_LOOK_OFF2007_BLACK = 216,
    ID_LOOK_OFF2007_SILVER = 217,
    ID_LOOK_OFF2007_AQUA = 218,
    ID_CONNECT = 32773,
    ID_DISCONNECT = 32774,
    ID_SAVE_FLASH = 32776,
    ID_GLOBAL_SET = 32781,
    ID_TEST = 32787,
    ID_RUN = 32797,
    ID_STOP = 32798,
    ID_EVENT_MONITOR = 32799,
    ID_HELP_DOC = 32808,
    ID_RESTART = 32809,
    ID_FIRMWARE = 32815,
    ID_BOOT = 32821,
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_SAVE = 57603,
    ID_FILE_SAVE_AS = 57604,
    ID_FILE_MRU_FIRST = 57616,  // four entries: 57616 to 57619
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_VIEW_STATUS_BAR = 59393,
};

inline constexpr int kRecentFileCount = 4;
inline constexpr int kDefaultLook = ID_LOOK_VS2005;

enum class EnableRule { Always, Connected, NotConnected, ConnectedStopped, ConnectedRunning };

struct CommandInfo {
    int id;
    const char* text;    // menu text; an accelerator follows "\t"
    const char* prompt;  // status-bar prompt, "\n", tooltip; nullptr when none
    EnableRule rule;
};

// Every command of the frame, the looks and recent files included.
const std::vector<CommandInfo>& CommandTable();
// The entry of id, or nullptr.
const CommandInfo* FindCommand(int id);
bool IsEnabled(EnableRule rule, bool connected, bool running);
// Whether command id is enabled in the given state (unknown ids: always).
bool IsCommandEnabled(int id, bool connected, bool running);

// The menu text without its accelerator part, and the accelerator text ("" when none).
QString MenuText(const CommandInfo& info);
QString AcceleratorText(const CommandInfo& info);
// The status-bar prompt and the tooltip of a command ("" when none).
QString PromptText(const CommandInfo& info);
QString TooltipText(const CommandInfo& info);
