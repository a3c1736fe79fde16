// Build driver and run of the main pass of the conversion task.
#include <cstdio>
#include <exception>
#include <new>

#include "engine/hap_process_task.h"
#include "engine/hap_standalone_process.h"
#include "engine/process_build.h"
#include "engine/process_run.h"
#include "platform/core/errors.h"
#include "platform/core/log.h"

namespace {

// The run's view of its conversion task.
class TaskRunHost final : public HapProcessRunHost {
public:
    explicit TaskRunHost(HAPProcessTask &task) : task_(task) {}
    BaseProcessTask &run_task() override { return task_; }
    bool have_error_processing() const override { return task_.have_error_processing(); }
    void setHave_error_processing(bool value) override { task_.setHave_error_processing(value); }
    bool have_warning_processing() const override { return task_.have_warning_processing(); }
    void log_video_error_warning_processing_for_nb_frames(uint32_t first, uint32_t nb) override {
        task_.log_video_error_warning_processing_for_nb_frames(first, nb);
    }

private:
    HAPProcessTask &task_;
};

}  // namespace

bool HAPProcessTask::_build_main_processing() {
    std::string failure;
    try {
        if (!hap_process_) hap_process_ = create_hap_standalone_process();
        hap_process_->video_interp.packed_intermediate = true;
        RqTaskRef task = rq_task_;
        if (!task) throw_process_error("No task");
        // The task model belongs to the main thread.
        run_on_main_queue_and_wait([this, task] { _set_process_data(*task); });
        build_hap_standalone_process(hap_process_);
        if (const char *warning = get_video_demuxer_warning(hap_process_)) {
            add_str_to_log(std::string("WARNING Video file : ") + warning);
            setHave_warning_processing(true);
        }
        return false;
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
    TaskRunHost host(*this);
    hap_process_main_run(hap_process_, &host);
}
