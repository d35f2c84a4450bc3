#pragma once

// Every key of the settings store, in one place.
namespace tavuno::key {

inline constexpr const char* languagePreference = "languagePreference";
inline constexpr const char* preferredInputUID = "preferredInputUID";
inline constexpr const char* preferredOutputUID = "preferredOutputUID";
inline constexpr const char* legacyPreferredUID = "preferredUID";
inline constexpr const char* automatic = "automatic";
inline constexpr const char* appControlPreferences = "appControlPreferences";
inline constexpr const char* appControlPreferencesBackup = "appControlPreferences.corruptBackup";
inline constexpr const char* appMix = "appMix";
inline constexpr const char* appMixBackup = "appMix.corruptBackup";
inline constexpr const char* profiles = "profiles";
inline constexpr const char* profilesBackup = "profiles.corruptBackup";
inline constexpr const char* activeProfileID = "activeProfileID";
inline constexpr const char* connectionRules = "connectionRules";
inline constexpr const char* connectionRulesBackup = "connectionRules.corruptBackup";
inline constexpr const char* appLaunchRules = "appLaunchRules";
inline constexpr const char* appLaunchRulesBackup = "appLaunchRules.corruptBackup";
inline constexpr const char* scheduledRules = "scheduledRules";
inline constexpr const char* scheduledRulesBackup = "scheduledRules.corruptBackup";
inline constexpr const char* automationHistory = "automationHistory";
inline constexpr const char* automationHistoryBackup = "automationHistory.corruptBackup";
inline constexpr const char* scheduleLastFired = "scheduleLastFired";
inline constexpr const char* globalShortcutEnabled = "globalShortcutEnabled";
inline constexpr const char* shortcutKey = "shortcutKey";
inline constexpr const char* inputMuteShortcutEnabled = "inputMuteShortcutEnabled";
inline constexpr const char* inputMuteShortcutKey = "inputMuteShortcutKey";
inline constexpr const char* notificationsEnabled = "notificationsEnabled";
inline constexpr const char* onboardingDone = "onboardingDone";
inline constexpr const char* windowGeometry = "windowGeometry";

}  // namespace tavuno::key
