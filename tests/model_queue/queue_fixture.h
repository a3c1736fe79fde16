#pragma once
// Sources made by the ffmpeg tool and a configuration folder of their own for the queue tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "model/queue/render_queue.h"
#include "testutil/testutil.h"

class QueueFiles : public testing::Test {
protected:
    void SetUp() override {
        const char *old = getenv("XDG_CONFIG_HOME");
        had_ = old != nullptr;
        if (old) old_ = old;
        setenv("XDG_CONFIG_HOME", dir_.file("config").c_str(), 1);
        ASSERT_TRUE(GlobalSettings::create_pref_dir());
        settings_ = GlobalSettings::init();
        ffmpeg_ = testutil::require_tool("ffmpeg");
    }
    void TearDown() override {
        if (had_)
            setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }
    void ffmpeg(const std::string &args) {
        ASSERT_FALSE(ffmpeg_.empty());
        ASSERT_EQ(testutil::run_command(ffmpeg_ + " -v error -nostdin -y " + args).status, 0) << args;
    }
    // A 32x16 HAP clip of `frames` frames at 25 fps with a stereo PCM track.
    std::string make_clip(const std::string &name, int frames = 10) {
        const std::string path = dir_.file(name);
        ffmpeg("-f lavfi -i testsrc2=size=32x16:rate=25 -f lavfi -i sine=duration=1 -frames:v " +
               std::to_string(frames) + " -ac 2 -c:v hap -c:a pcm_s16le -shortest " + testutil::shell_quote(path));
        return path;
    }
    std::string make_mono_wav(const std::string &name) {
        const std::string path = dir_.file(name);
        ffmpeg("-f lavfi -i sine=duration=0.2 -ac 1 -c:a pcm_s16le " + testutil::shell_quote(path));
        return path;
    }
    RqTaskRef task_of(const std::string &path) {
        RqTaskRef t = RqTask::init_with_main_filepath_and_settings(path, settings_);
        EXPECT_FALSE(t->error.has_value()) << path << ": " << t->error.value_or("");
        return t;
    }
    std::string queue_path() const { return *GlobalSettings::get_renderqueue_path(); }

    testutil::TempDir dir_;
    GlobalSettingsRef settings_;
    std::string ffmpeg_;
    bool had_ = false;
    std::string old_;
};

// Bare tasks (no source) with the given states, uuids "t0", "t1", ...
inline std::vector<RqTaskRef> bare_tasks(const std::vector<uint64_t> &states) {
    std::vector<RqTaskRef> tasks;
    for (size_t i = 0; i < states.size(); i++) {
        RqTaskRef t = std::make_shared<RqTask>();
        t->uuid = "t" + std::to_string(i);
        t->state = states[i];
        tasks.push_back(t);
    }
    return tasks;
}

inline std::vector<std::string> uuids_of(const std::vector<RqTaskRef> &tasks) {
    std::vector<std::string> u;
    for (const RqTaskRef &t : tasks) u.push_back(t ? t->uuid : "(null)");
    return u;
}
