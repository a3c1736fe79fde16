#include "media/zthread.h"

#include <cstdio>
#include <new>
#include <stdexcept>

namespace {

void set_error(ZThread *zt, const char *text) {
    snprintf(zt->error, sizeof(zt->error), "%s", text);  // cut at 255 characters
}

void thread_body(ZThread *zt) {
    zt->success = 1;
    zt->error[0] = '\0';
    try {
        zt->callback(zt->user_data);
    } catch (const std::bad_alloc &) {
        zt->success = 0;
        set_error(zt, "Memory Error");
    } catch (const std::runtime_error &e) {
        zt->success = 0;
        set_error(zt, e.what()[0] ? e.what() : "Unknown error");
    } catch (...) {
        zt->success = 0;
        set_error(zt, "Unknown Error");
    }
}

}  // namespace

void zthread_init(ZThread *zt) {
    zt->is_running.store(0);
    zt->thread = nullptr;
    zt->error[0] = '\0';
    zt->success = 1;
}

void zthread_start(ZThread *zt, ZThreadFunc callback, void *user_data) {
    // A std::thread must never be dropped while joinable: finish the earlier job first.
    if (zt->thread) {
        zt->is_running.store(1);
        zthread_join(zt);
    }
    zt->user_data = user_data;
    zt->callback = callback;
    zt->error[0] = '\0';
    zt->thread = new std::thread(thread_body, zt);
    zt->is_running.store(1);
}

uint8_t zthread_join(ZThread *zt) {
    if (!zt) return 1;
    if (zt->is_running.load()) {
        uint8_t result = 1;
        if (zt->thread && zt->thread->joinable()) {
            zt->thread->join();
            result = zt->success;
            delete zt->thread;
            zt->thread = nullptr;
        }
        zt->is_running.store(0);
        return result;
    }
    if (zt->thread) printf("Error : Process run false, et thread NON NULL\n");
    return 1;
}

uint8_t zthread_wait(void *zt) { return zthread_join(static_cast<ZThread *>(zt)); }

bool zthread_has_error(const ZThread *zt) { return zt->error[0] != '\0'; }

bool zthread_get_error(const ZThread *zt, const char **text) {
    if (!zt->error[0]) return false;
    *text = zt->error;
    return true;
}
