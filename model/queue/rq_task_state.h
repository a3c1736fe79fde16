#pragma once
// States of a render-queue task; the numbers are stored in the queue file.
#include <cstdint>

enum RqTaskState : uint64_t {
    RqTaskState_Queue = 0,  // waiting in the queue
    RqTaskState_Edit = 1,
    RqTaskState_Progress = 2,  // running
    RqTaskState_Pause = 3,     // paused while running
    RqTaskState_Cancel = 4,    // cancelled (ended)
    RqTaskState_CancelDelete = 5,
    RqTaskState_Succes = 6,      // finished (ended)
    RqTaskState_EndWarning = 7,  // finished with warnings (ended)
    RqTaskState_EndError = 8,    // failed (ended)
};
