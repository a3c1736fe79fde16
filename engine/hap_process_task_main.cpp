// Build driver and run of the main pass of the conversion task.
#include <cstdio>
#include <exception>
#include <new>

#include "engine/hap_process_task.h"
#include "engine/hap_standalone_process.h"
#include "platform/core/errors.h"
#include "platform/core/log.h"

bool HAPProcessTask::_build_main_processing() {
    std::string failure;
    try {
        if (!hap_process_) hap_process_ = create_hap_standalone_process();
        hap_process_->video_interp.packed_intermediate = true;
        RqTaskRef task = rq_task_;
        if (!task) throw_process_error("No task");
        // The task model belongs to the main thread.
        run_on_main_queue_and_wait([this, task] { _set_process_data(*task); });
        // The pipeline build and the frame loop are not part of this build yet.
        throw_process_error("Main pass not available");
    } catch (const std::bad_alloc &) {
        zlog("ERROR : Fail to create process : OOM");
        failure = "Out of memory";
    } catch (const std::exception &e) {
        zlog("ERROR : Fail to create process : %s", e.what());
        failure = e.what();
    } catch (...) {
        zlog("ERROR : Fail to create process");
        failure = "Fail to create processing (Unknown error)";
    }
    setError(failure);
    // A failed build ends the task in error, with its reason in the task's log.
    setHave_error_processing(true);
    add_str_to_log("Fatal error : " + failure);
    return true;
}

void HAPProcessTask::_process_main() {
    add_str_to_log("Fatal error : Main pass not available");
    setHave_error_processing(true);
    set_end_state_with_error_and_warning(true, have_warning_processing());
}
