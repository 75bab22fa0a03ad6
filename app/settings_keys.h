// Names of the values the program keeps in the per-user settings store.
#pragma once

namespace SettingsKey {
inline constexpr const char* kOrganization = "应用程序向导生成的本地应用程序";
inline constexpr const char* kApplication = "Korvessa";
inline constexpr const char* kLook = "ApplicationLook";
inline constexpr const char* kGeometry = "MainFrame/Geometry";
inline constexpr const char* kDockState = "MainFrame/DockState";
inline constexpr const char* kToolbarButtons = "MainFrame/ToolbarButtons";
inline constexpr const char* kStatusBarShown = "MainFrame/StatusBar";
inline constexpr const char* kRecentFiles = "RecentFileList";
}  // namespace SettingsKey
