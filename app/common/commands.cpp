#include "app/common/commands.h"

namespace {
using R = EnableRule;
}

const std::vector<CommandInfo>& CommandTable() {
    static const std::vector<CommandInfo> table = {
        {ID_CONNECT, "连接下位机", "连接下位机\n连接", R::NotConnected},
        {ID_DISCONNECT, "断开下位机", "断开下位机\n断开", R::Connected},
        {ID_FILE_NEW, "新建工程(&N)\tCtrl+N", nullptr, R::Connected},
        {ID_FILE_OPEN, "打开(&O)...\tCtrl+O", nullptr, R::Connected},
        {ID_FILE_SAVE, "保存(&S)\tCtrl+S", nullptr, R::Connected},
        {ID_FILE_SAVE_AS, "另存为(&A)...", nullptr, R::Connected},
        {ID_FILE_MRU_FIRST + 0, "最近的文件", nullptr, R::Always},
        {ID_FILE_MRU_FIRST + 1, "最近的文件", nullptr, R::Always},
        {ID_FILE_MRU_FIRST + 2, "最近的文件", nullptr, R::Always},
        {ID_FILE_MRU_FIRST + 3, "最近的文件", nullptr, R::Always},
        {ID_APP_EXIT, "退出(&X)", nullptr, R::Always},
        {ID_SAVE_FLASH, "保存配置到flash", nullptr, R::Connected},
        {ID_GLOBAL_SET, "启动参数设置", nullptr, R::Connected},
        {ID_RESTART, "重新启动", nullptr, R::Always},
        {ID_RUN, "运行工程", "启动交换网和工作循环\n启动", R::ConnectedStopped},
        {ID_STOP, "停止工程", "停止交换网和工作循环\n停止", R::ConnectedRunning},
        {ID_EVENT_MONITOR, "事件监控设置", "监控指定属性变化情况\n事件通知", R::Connected},
        {ID_FIRMWARE, "固件操作", nullptr, R::Connected},
        {ID_BOOT, "boot操作", nullptr, R::NotConnected},
        {ID_VIEW_STATUS_BAR, "状态栏(&S)", nullptr, R::Always},
        {ID_CUSTOMIZE, "自定义...", nullptr, R::Always},
        {ID_LOOK_WIN2000, "Windows 2000(&2)", nullptr, R::Always},
        {ID_LOOK_OFFXP, "Office XP(&X)", nullptr, R::Always},
        {ID_LOOK_WINXP, "Windows XP(&W)", nullptr, R::Always},
        {ID_LOOK_OFF2003, "Office 2003(&3)", nullptr, R::Always},
        {ID_LOOK_VS2005, "Visual Studio.NET 2005(&5)", nullptr, R::Always},
        {ID_LOOK_OFF2007_BLUE, "蓝色样式(&B)", nullptr, R::Always},
        {ID_LOOK_OFF2007_BLACK, "黑色样式(&L)", nullptr, R::Always},
        {ID_LOOK_OFF2007_SILVER, "银色样式(&S)", nullptr, R::Always},
        {ID_LOOK_OFF2007_AQUA, "水绿色样式(&A)", nullptr, R::Always},
        {ID_APP_ABOUT, "关于 Korvessa(&A)...", nullptr, R::Always},
        {ID_HELP_DOC, "KVS帮助文档", nullptr, R::Always},
        {ID_TEST, "test", nullptr, R::Always},
    };
    return table;
}

const CommandInfo* FindCommand(int id) {
    for (const CommandInfo& info : CommandTable())
        if (info.id == id) return &info;
    return nullptr;
}

bool IsEnabled(EnableRule rule, bool connected, bool running) {
    switch (rule) {
        case R::Always:
            return true;
        case R::Connected:
            return connected;
        case R::NotConnected:
            return !connected;
        case R::ConnectedStopped:
            return connected && !running;
        case R::ConnectedRunning:
            return connected && running;
    }
    return true;
}

bool IsCommandEnabled(int id, bool connected, bool running) {
    const CommandInfo* info = FindCommand(id);
    return info ? IsEnabled(info->rule, connected, running) : true;
}

QString MenuText(const CommandInfo& info) {
    return QString::fromUtf8(info.text).section(QLatin1Char('\t'), 0, 0);
}

QString AcceleratorText(const CommandInfo& info) {
    return QString::fromUtf8(info.text).section(QLatin1Char('\t'), 1, 1);
}

QString PromptText(const CommandInfo& info) {
    return info.prompt ? QString::fromUtf8(info.prompt).section(QLatin1Char('\n'), 0, 0)
                       : QString();
}

QString TooltipText(const CommandInfo& info) {
    return info.prompt ? QString::fromUtf8(info.prompt).section(QLatin1Char('\n'), 1, 1)
                       : QString();
}
