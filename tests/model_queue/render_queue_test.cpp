// Queue edits, lookups, the next task and the tasks that must give way.
#include <gtest/gtest.h>

#include "queue_fixture.h"

namespace {

RenderQueueRef queue_of(const std::vector<uint64_t> &states) {
    RenderQueueRef q = RenderQueue::init_with_glob_settings(GlobalSettings::init());
    q->insert_new_tasks_at_index(bare_tasks(states), 0);
    return q;
}

using Uuids = std::vector<std::string>;

TEST(RenderQueue, InsertAtIndex) {
    const struct {
        uint64_t index;
        Uuids order;
    } cases[] = {
        {1, {"t0", "x", "y", "t1", "t2"}}, {3, {"t0", "t1", "t2", "x", "y"}}, {99, {"t0", "t1", "t2", "x", "y"}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.index);
        RenderQueueRef q = queue_of({0, 0, 0});
        std::vector<RqTaskRef> add = bare_tasks({0, 0});
        add[0]->uuid = "x", add[1]->uuid = "y";
        q->insert_new_tasks_at_index(add, c.index);
        EXPECT_EQ(uuids_of(q->arr_tasks), c.order);
    }
}

TEST(RenderQueue, MoveOrders) {
    const struct {
        uint64_t target;
        Uuids order;
    } cases[] = {{0, {"t1", "t3", "t0", "t2", "t4"}},
                 {2, {"t0", "t1", "t3", "t2", "t4"}},
                 {4, {"t0", "t2", "t1", "t3", "t4"}},
                 {5, {"t0", "t2", "t4", "t1", "t3"}},
                 {50, {"t0", "t2", "t4", "t1", "t3"}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.target);
        RenderQueueRef q = queue_of({0, 0, 0, 0, 0});
        q->move_tasks_at_index_for_arr(c.target, {3, 1});
        EXPECT_EQ(uuids_of(q->arr_tasks), c.order);
    }
    RenderQueueRef q = queue_of({0, 0, 0});
    q->move_tasks_at_index_for_arr(0, {});
    EXPECT_EQ(uuids_of(q->arr_tasks), (Uuids{"t0", "t1", "t2"}));
}

TEST(RenderQueue, MoveQuery) {
    RenderQueueRef q = queue_of({0, 0, 0, 0, 0});
    const struct {
        uint64_t target;
        std::vector<uint64_t> indexes;
        bool need;
    } cases[] = {{2, {2}, false}, {3, {2}, false}, {0, {2}, true},  {1, {2}, true}, {4, {2}, true},    {5, {2}, true},
                 {4, {4}, false}, {5, {4}, false}, {9, {4}, false}, {3, {4}, true}, {0, {0, 1}, true}, {0, {}, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.target << " " << c.indexes.size());
        EXPECT_EQ(q->is_need_move_at_index_for_arr(c.target, c.indexes), c.need);
    }
    EXPECT_FALSE(queue_of({})->is_need_move_at_index_for_arr(0, {0}));
}

TEST(RenderQueue, RemoveReturnsRunningAndPausedOnly) {
    RenderQueueRef q = queue_of({2, 0, 3, 6});
    EXPECT_EQ(q->remove_tasks_at_index({3, 0, 2, 2, 17}), (Uuids{"t0", "t2"}));
    EXPECT_EQ(uuids_of(q->arr_tasks), (Uuids{"t1"}));
}

TEST(RenderQueue, CancelEveryListedTask) {
    RenderQueueRef q = queue_of({6, 3, 0, 2});
    EXPECT_EQ(q->cancel_tasks_at_index({1, 0, 1, 9, 2}), (Uuids{"t1"}));
    for (size_t i = 0; i < 3; i++) EXPECT_EQ(q->arr_tasks[i]->state, 4u) << i;
    EXPECT_EQ(q->arr_tasks[3]->state, 2u);
    EXPECT_TRUE(queue_of({})->cancel_tasks_at_index({0}).empty());
}

TEST(RenderQueue, DuplicatesFollowTheirTasks) {
    RenderQueueRef q = queue_of({0, 6, 0});
    EXPECT_EQ(q->duplicate_tasks_at_index({2, 0, 0}), (std::vector<uint64_t>{1, 4}));
    ASSERT_EQ(q->arr_tasks.size(), 5u);
    EXPECT_EQ(q->arr_tasks[0]->uuid, "t0");
    EXPECT_EQ(q->arr_tasks[2]->uuid, "t1");
    EXPECT_EQ(q->arr_tasks[3]->uuid, "t2");
    for (size_t i : {1, 4}) {
        EXPECT_NE(q->arr_tasks[i]->uuid.substr(0, 1), "t");
        EXPECT_EQ(q->arr_tasks[i]->state, 0u);
    }
}

TEST(RenderQueue, ContextMenuStates) {
    const struct {
        const char *name;
        std::vector<uint64_t> states;
        std::vector<uint64_t> indexes;
        std::map<std::string, bool> expected;
    } cases[] = {
        {"one task alone",
         {0},
         {0},
         {{"reset_status", true},
          {"edit", true},
          {"move_to_top", false},
          {"move_to_bottom", false},
          {"reveal_target", false}}},
        {"empty selection",
         {0, 2},
         {},
         {{"reset_status", false},
          {"edit", true},
          {"move_to_top", true},
          {"move_to_bottom", true},
          {"reveal_target", false}}},
        {"running last",
         {0, 2},
         {1},
         {{"reset_status", false},
          {"edit", false},
          {"move_to_top", true},
          {"move_to_bottom", false},
          {"reveal_target", true}}},
        {"two",
         {6, 0, 0},
         {0, 1},
         {{"reset_status", true},
          {"edit", false},
          {"move_to_top", true},
          {"move_to_bottom", true},
          {"reveal_target", true}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(queue_of(c.states)->get_context_menu_state_for_tasks(c.indexes), c.expected);
    }
}

TEST(RenderQueue, NextTaskAndTasksToPause) {
    const uint64_t kErr = 100;  // waiting with a parameter error
    const struct {
        const char *name;
        std::vector<uint64_t> states;
        const char *next;
        Uuids to_pause;
    } cases[] = {
        {"paused below a running task", {2, kErr, 3, 0}, "t2", {}},
        {"waiting above paused", {6, 0, 3}, "t1", {}},
        {"parameter error above running", {kErr, 2}, nullptr, {"t1"}},
        {"two to pause", {2, 0, 2, 3, 2}, "t1", {"t2", "t4"}},
        {"all ended", {4, 6, 8, 1}, nullptr, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint64_t> states = c.states;
        for (uint64_t &s : states) s = s == kErr ? 0 : s;
        RenderQueueRef q = queue_of(states);
        for (size_t i = 0; i < c.states.size(); i++)
            if (c.states[i] == kErr) q->arr_tasks[i]->error_target_render = "bad";
        const RqTaskRef next = q->get_next_task();
        EXPECT_EQ(next ? next->uuid.c_str() : "none", std::string(c.next ? c.next : "none"));
        EXPECT_EQ(q->get_uuid_task_to_pause(), c.to_pause);
    }
}

TEST(RenderQueue, QueriesOnStates) {
    RenderQueueRef q = queue_of({0, 1, 3});
    EXPECT_TRUE(q->have_task_not_ended());
    EXPECT_FALSE(q->have_task_in_progress());
    EXPECT_TRUE(q->is_tasks_in_progress_or_pause({2}));
    EXPECT_FALSE(q->is_tasks_in_progress_or_pause({0, 1, 7}));
    EXPECT_TRUE(q->can_edit_tasks({0, 7}));
    EXPECT_FALSE(q->can_edit_tasks({0, 1}));
    RenderQueueRef ended = queue_of({1, 6, 0});
    ended->arr_tasks[2]->error_target_render = "bad";
    EXPECT_FALSE(ended->have_task_not_ended());
    EXPECT_TRUE(queue_of({6, 2})->have_task_in_progress());
}

TEST(RenderQueue, StatesByUuidAndOverwrite) {
    RenderQueueRef q = queue_of({2, 0, 3});
    EXPECT_EQ(uuids_of(q->set_state_for_uuids(3, {"t0", "zz", "t2", "t1"})), (Uuids{"t0", "t1"}));
    EXPECT_EQ(q->get_index_task_by_uuid("t2"), 2u);
    EXPECT_EQ(q->get_index_task_by_uuid("zz"), kRqNoIndex);
    EXPECT_EQ(q->get_task_by_index(3), nullptr);

    std::vector<RqTaskRef> edited = bare_tasks({0, 0});
    edited[0]->uuid = "t1", edited[1]->uuid = "gone";
    testing::internal::CaptureStderr();
    q->overwrite_tasks(edited);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("ERROR : Fail to overwrite task : gone"), std::string::npos);
    EXPECT_EQ(q->arr_tasks[1], edited[0]);
    EXPECT_EQ(q->arr_tasks.size(), 3u);

    testing::internal::CaptureStderr();
    EXPECT_FALSE(q->set_custom_out_path_task_from_uuid_for_path_at_index("gone", std::string("/a/b.mov"), 0));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("Can't find task with uuid : gone"), std::string::npos);
    EXPECT_NE(log.find("Invalid index task : 18446744073709551615"), std::string::npos);
    EXPECT_FALSE(q->set_custom_out_path_task_for_path_at_index(0, std::string(), 0));
}

TEST(RenderQueue, CopySharesNoTask) {
    RenderQueueRef q = queue_of({0, 6});
    RenderQueueRef c = q->mutableCopyWithZone();
    EXPECT_EQ(c->glob_settings, q->glob_settings);
    ASSERT_EQ(c->arr_tasks.size(), 2u);
    for (size_t i = 0; i < 2; i++) {
        EXPECT_NE(c->arr_tasks[i], q->arr_tasks[i]);
        EXPECT_EQ(c->arr_tasks[i]->uuid, q->arr_tasks[i]->uuid);
    }
}

class QueueWithSources : public QueueFiles {};

TEST_F(QueueWithSources, ResetTellsWhichTasksWerePaused) {
    const std::string clip = make_clip("clip.mov");
    ASSERT_FALSE(HasFatalFailure());
    RenderQueueRef q = RenderQueue::init_with_glob_settings(settings_);
    const uint64_t states[] = {2, 3, 6, 3};
    for (uint64_t s : states) {
        RqTaskRef t = task_of(clip);
        t->state = s;
        t->add_log_line(std::string("old"));
        q->arr_tasks.push_back(t);
    }
    std::vector<std::string> paused;
    const std::vector<RqTaskRef> reset = q->reset_status_at_index({0, 1, 2, 1, 3}, &paused);
    EXPECT_EQ(reset.size(), 4u);  // the running task is left alone, a repeat is reset twice
    EXPECT_EQ(paused, (Uuids{q->arr_tasks[1]->uuid, q->arr_tasks[3]->uuid}));
    EXPECT_EQ(q->arr_tasks[0]->state, 2u);
    EXPECT_EQ(q->arr_tasks[0]->arr_logs.size(), 1u);
    for (size_t i = 1; i < 4; i++) {
        EXPECT_EQ(q->arr_tasks[i]->state, 0u);
        EXPECT_TRUE(q->arr_tasks[i]->arr_logs.empty());
    }
}

TEST_F(QueueWithSources, PreferencesLeaveRunningAndPausedTasksAlone) {
    for (int i = 1; i <= 3; i++) {
        char name[32];
        snprintf(name, sizeof(name), "seq_%04d.png", i);
        ffmpeg("-f lavfi -i testsrc2=size=32x16 -frames:v 1 " + testutil::shell_quote(dir_.file(name)));
    }
    ASSERT_FALSE(HasFatalFailure());
    RenderQueueRef q = RenderQueue::init_with_glob_settings(settings_);
    for (uint64_t s : {0, 2, 3, 6}) {
        RqTaskRef t = task_of(dir_.file("seq_0001.png"));
        ASSERT_TRUE(t->is_img_seq());
        t->state = s;
        q->arr_tasks.push_back(t);
    }
    const std::vector<RqTaskRef> changed = q->set_default_img_seq_fps(ZRational{30000, 1001});
    EXPECT_EQ(changed, (std::vector<RqTaskRef>{q->arr_tasks[0], q->arr_tasks[3]}));
    for (size_t i : {1, 2}) EXPECT_EQ(q->arr_tasks[i]->in_main_file->get_file_fps().num, 25) << i;
}

TEST_F(QueueWithSources, RevealPaths) {
    const std::string clip = make_clip("clip.mov"), wav = make_mono_wav("clip_L.wav");
    ASSERT_FALSE(HasFatalFailure());
    RenderQueueRef q = RenderQueue::init_with_glob_settings(settings_);
    for (uint64_t s : {0, 6}) {
        RqTaskRef t = task_of(clip);
        EXPECT_TRUE(t->try_import_ext_audio_file_at_index({wav}, 0).empty());
        t->state = s;
        q->arr_tasks.push_back(t);
    }
    EXPECT_EQ(q->get_src_path_to_reveal({0, 1, 5}), (Uuids{clip, wav}));
    EXPECT_TRUE(q->get_target_path_to_reveal({0}).empty());
    EXPECT_EQ(q->get_target_path_to_reveal({1, 0}), q->arr_tasks[1]->get_arr_out_file_for_rq_ui());
}

}  // namespace
