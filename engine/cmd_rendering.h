#pragma once
// The console render job: one source file converted with the factory preset "HAP(A) Fast"
// or a preset file, changed by the options; run by one HAPProcessTask while the main
// thread serves the main queue and watches for SIGINT and SIGTERM.
#include <string>
#include <vector>

#include "model/queue/rq_task.h"
#include "model/settings/global_settings.h"
#include "model/settings/setting.h"

class HapStandCmdRendering {
public:
    // Default preferences (the preferences file is not read) and the factory preset.
    HapStandCmdRendering();

    // Reads argv from index 2: 0 ready, 1 argument error, 2 unusable input file.
    int parse_cmd_args_with_argv(int argc, const char *const *argv);
    // Runs the task to its end: 0 success, 3 failure (a stop by signal included).
    int process();

    const GlobalSettingsRef &glob_settings() const { return glob_settings_; }
    void setGlob_settings(const GlobalSettingsRef &s) { glob_settings_ = s; }
    const RqTaskRef &task() const { return task_; }
    void setTask(const RqTaskRef &t) { task_ = t; }
    const SettingRef &encoding_setting() const { return encoding_setting_; }
    void setEncoding_setting(const SettingRef &s) { encoding_setting_ = s; }

private:
    GlobalSettingsRef glob_settings_;
    RqTaskRef task_;
    SettingRef encoding_setting_;
};

// Relative paths are taken from the current directory; "." components and repeated
// separators are dropped. An empty or absolute path is returned as it is.
std::string cmd_absolute_path(const std::string &path);
