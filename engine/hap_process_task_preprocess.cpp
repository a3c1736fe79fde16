// Analysis pass of the conversion task: the record is made, filled from the task and built
// on the worker; the steps run there; the results go back to the task on the main queue.
#include <cstdio>
#include <exception>
#include <new>

#include "engine/hap_process_task.h"
#include "engine/hap_standalone_preprocess.h"

bool HAPProcessTask::_build_preprocess() {
    try {
        if (!hap_preprocess_) hap_preprocess_ = hap_preprocess_create();
        _set_preprocess_data();
        hap_preprocess_build(hap_preprocess_);
        return false;
    } catch (const std::bad_alloc &) {
        printf("ERROR : Fail to create process : OOM\n");
        setError(std::string("Out of memory"));
    } catch (const std::exception &e) {
        printf("ERROR : Fail to create process : %s\n", e.what());
        setError(std::string(e.what()));
    } catch (...) {
        printf("ERROR : Fail to create process\n");
        setError(std::string("Fail to create processing (Unknown error)"));
    }
    return true;
}

void HAPProcessTask::_set_preprocess_data() { hap_preprocess_set_data_from_task(hap_preprocess_, rq_task_); }

void HAPProcessTask::_process_preprocess() {
    bool cancel = false, warning = false;
    const bool failed = hap_preprocess_process(hap_preprocess_, *this, &cancel, &warning);
    if (cancel) setIs_process_cancel(true);
    if (warning) setHave_warning_processing(true);
    if (failed) setHave_error_processing(true);
}

void HAPProcessTask::update_task_with_analyse_results() { hap_preprocess_update_task(hap_preprocess_, rq_task_); }
