#pragma once
// What the queue-file fuzz target runs on one input; the replay test runs it on the inputs
// kept in inputs/queue_reader/.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "model/queue/render_queue.h"
#include "platform/foundation/file_io.h"

namespace queue_fuzz {

// The input as the queue file: loaded, saved, loaded again. Values the reader normalises
// (white space in attributes) settle after one round, so the second and third saves agree.
inline void queue_reader(const uint8_t *data, size_t size) {
    static const bool configured = [] {
        if (!getenv("XDG_CONFIG_HOME")) {
            const char *tmp = getenv("TMPDIR");
            const std::string dir =
                std::string(tmp && *tmp ? tmp : "/tmp") + "/zelqa_queue_fuzz_" + std::to_string(getpid());
            setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
        }
        return GlobalSettings::create_pref_dir();
    }();
    (void)configured;
    const std::string path = *GlobalSettings::get_renderqueue_path();
    write_file_atomic(path, data, size, nullptr);
    const GlobalSettingsRef settings = GlobalSettings::init();
    std::string text[3];
    for (std::string &t : text) {
        RenderQueueRef q = RenderQueue::init_with_glob_settings(settings);
        q->load_from_xml(path);
        q->mutableCopyWithZone();
        t = q->get_xml_str_content();
        write_file_atomic(path, t, nullptr);
    }
    if (text[2] != text[1]) abort();
}

}  // namespace queue_fuzz
