// Undo history: levels, names, copies, and tasks that left the waiting state.
#include <gtest/gtest.h>

#include "model/queue/history.h"
#include "queue_fixture.h"

namespace {

RenderQueueRef queue_of(const std::vector<uint64_t> &states) {
    RenderQueueRef q = RenderQueue::init_with_glob_settings(GlobalSettings::init());
    q->insert_new_tasks_at_index(bare_tasks(states), 0);
    return q;
}

// Levels "L1" ... "Ln", level k holding k tasks.
History history_of(int n) {
    History h;
    for (int i = 1; i <= n; i++)
        h.add_rq_history_level_for_name(*queue_of(std::vector<uint64_t>(size_t(i), 0)), "L" + std::to_string(i));
    return h;
}

TEST(History, EmptyHistory) {
    History h;
    EXPECT_FALSE(h.have_undo());
    EXPECT_FALSE(h.have_redo());
    EXPECT_FALSE(h.get_undo_name());
    EXPECT_FALSE(h.get_redo_name());
    EXPECT_EQ(h.get_undo_rq(), nullptr);
    EXPECT_EQ(h.get_redo_rq(), nullptr);
    h.delete_last_history_level();
    EXPECT_EQ(h.currentHistoryLevelIndex, -1);
}

TEST(History, TenLevelsKept) {
    History h = history_of(12);
    EXPECT_EQ(h.nbHistoryLevel, 10u);
    EXPECT_EQ(h.currentHistoryLevelIndex, 9);
    EXPECT_EQ(h.arr_name.front(), "L3");
    EXPECT_EQ(h.get_undo_name(), "L12");
    for (int i = 11; i >= 3; i--) {
        RenderQueueRef q = h.get_undo_rq();
        ASSERT_NE(q, nullptr) << i;
        EXPECT_EQ(q->arr_tasks.size(), size_t(i));
    }
    EXPECT_EQ(h.get_undo_rq(), nullptr);
    EXPECT_EQ(h.currentHistoryLevelIndex, 0);
    EXPECT_FALSE(h.have_undo());
    EXPECT_EQ(h.get_redo_name(), "L4");
}

TEST(History, AddingDropsRedoLevels) {
    History h = history_of(4);
    h.get_undo_rq();
    h.get_undo_rq();
    EXPECT_EQ(h.get_redo_name(), "L3");
    h.add_rq_history_level_for_name(*queue_of({}), "new");
    EXPECT_EQ(h.arr_name, (std::vector<std::string>{"L1", "L2", "new"}));
    EXPECT_EQ(h.currentHistoryLevelIndex, 2);

    History full = history_of(10);
    full.get_undo_rq();
    full.get_undo_rq();
    full.add_rq_history_level_for_name(*queue_of({}), "new");
    EXPECT_EQ(full.nbHistoryLevel, 9u);
    EXPECT_EQ(full.arr_name.front(), "L1");

    History top = history_of(3);
    EXPECT_EQ(top.get_redo_rq(), nullptr);
    EXPECT_EQ(top.currentHistoryLevelIndex, 2);
    EXPECT_EQ(top.get_undo_name(), "L3");
    top.delete_last_history_level();
    EXPECT_EQ(top.currentHistoryLevelIndex, 1);
}

TEST(History, LevelsShareNothingWithTheLiveQueue) {
    History h;
    RenderQueueRef live = queue_of({0, 0});
    h.add_rq_history_level_for_name(*live, "import");
    live->arr_tasks[0]->state = 6;
    h.add_rq_history_level_for_name(*live, "edit");
    RenderQueueRef back = h.get_undo_rq();
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->arr_tasks[0]->state, 0u);
    back->arr_tasks[1]->state = 4;
    EXPECT_EQ(h.arr_rq[0]->arr_tasks[1]->state, 0u);
}

TEST(History, StartedTasksAreNotTakenBack) {
    History h;
    RenderQueueRef live = queue_of({0, 0, 0});
    h.add_rq_history_level_for_name(*live, "import");
    live->arr_tasks[0]->state = 2;  // started since
    live->remove_tasks_at_index({2});
    h.add_rq_history_level_for_name(*live, "remove");
    h.apply_current_rq_to_history(*live);
    RenderQueueRef back = h.get_undo_rq();
    ASSERT_EQ(back->arr_tasks.size(), 3u);
    EXPECT_EQ(back->arr_tasks[0]->state, 2u);  // the live state, not the stored waiting one
    EXPECT_NE(back->arr_tasks[0], live->arr_tasks[0]);
    EXPECT_EQ(back->arr_tasks[2]->state, 0u);  // removed while waiting: back as stored
}

TEST(History, RemovedRunningTaskComesBackCancelled) {
    for (uint64_t state : {2, 3}) {
        SCOPED_TRACE(state);
        History h;
        RenderQueueRef live = queue_of({0, state});
        h.add_rq_history_level_for_name(*live, "start");
        EXPECT_EQ(live->remove_tasks_at_index({1}), (std::vector<std::string>{"t1"}));
        h.add_rq_history_level_for_name(*live, "remove");
        h.apply_current_rq_to_history(*live);
        RenderQueueRef back = h.get_undo_rq();
        ASSERT_EQ(back->arr_tasks.size(), 2u);
        EXPECT_EQ(back->arr_tasks[1]->state, 4u);
        EXPECT_EQ(back->get_next_task(), back->arr_tasks[0]);
        EXPECT_FALSE(back->have_task_in_progress());
    }
    // A paused task reset since (its processing task cancelled) is not restored as paused.
    History h;
    RenderQueueRef live = queue_of({3});
    h.add_rq_history_level_for_name(*live, "pause");
    live->arr_tasks[0]->state = 0;
    h.add_rq_history_level_for_name(*live, "reset");
    h.apply_current_rq_to_history(*live);
    EXPECT_EQ(h.get_undo_rq()->arr_tasks[0]->state, 4u);
}

TEST(History, Description) {
    History h;
    h.add_rq_history_level_for_name(*queue_of({0, 0, 0}), "Import");
    h.add_rq_history_level_for_name(*queue_of({0, 0, 0, 0}), "Move");
    const std::string d = h.description();
    EXPECT_EQ(d.find("History : Nb : 2 ; CurrentIndex : 1 ; Names : "), 0u) << d;
    EXPECT_NE(d.find("Import (3 Tasks)"), std::string::npos);
    EXPECT_EQ(d.find("-- Import"), std::string::npos);
    EXPECT_NE(d.find("-- Move (4 Tasks)"), std::string::npos);
    EXPECT_EQ(History().description().find("History : Nb : 0 ; CurrentIndex (Unset) : -1 ; Names : "), 0u);
}

}  // namespace
