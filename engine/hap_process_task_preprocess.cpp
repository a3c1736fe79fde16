// Analysis pass of the conversion task: not built yet. A task that needs it fails its
// build with the reason; tasks that need none never come here.
#include "engine/hap_process_task.h"

bool HAPProcessTask::_build_preprocess() {
    setError(std::string("Analysis pass not available"));
    return true;
}

void HAPProcessTask::_set_preprocess_data() {}

void HAPProcessTask::_process_preprocess() {}

void HAPProcessTask::update_task_with_analyse_results() {}
