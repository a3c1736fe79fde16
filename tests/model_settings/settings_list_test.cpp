#include "model/settings/settings_list.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>

#include "platform/foundation/file_io.h"
#include "testutil/testutil.h"

namespace {

using Names = std::vector<std::string>;

SettingRef named(const std::string &name, uint32_t codec = 0) {
    SettingRef s = Setting::init();
    s->name = name;
    s->vid_codec_hap = codec;
    return s;
}

std::string read_text(const std::string &path) {
    std::string t, e;
    EXPECT_TRUE(read_whole_file(path, &t, &e)) << e;
    return t;
}

TEST(SettingsList, SortedNamesAndLookups) {
    testutil::TempDir dir;
    SettingsListRef l = SettingsList::init_from_folder(dir.path());
    ASSERT_TRUE(l);
    for (const char *n : {"beta", "Alpha", "gamma"}) ASSERT_TRUE(l->save_new_preset_overwrite(*named(n), false));
    EXPECT_EQ(l->get_preset_list_name(), (Names{"Alpha", "beta", "gamma"}));
    EXPECT_EQ(l->get_preset_list_name_for_combo(true), (Names{"Custom", "Alpha", "beta", "gamma"}));
    EXPECT_EQ(l->get_preset_list_name_for_combo(false), (Names{"Alpha", "beta", "gamma"}));
    EXPECT_EQ(l->get_preset_list_name_for_combo_prefs(), (Names{"Last preset", "Alpha", "beta", "gamma"}));
    EXPECT_FALSE(l->get_setting_by_name(std::string("alpha")));
    EXPECT_FALSE(l->get_setting_by_name(std::nullopt));
    EXPECT_EQ(l->get_setting_by_name(std::string("Alpha")), l->arr_setting[1]);  // the list's own object
    EXPECT_FALSE(l->get_setting_by_index(3));
    bool exists = true;
    EXPECT_FALSE(l->is_preset_name_valid_and_is_exists(std::string(""), &exists));
    EXPECT_TRUE(exists);  // untouched
    EXPECT_TRUE(l->is_preset_name_valid_and_is_exists(std::string("nope"), &exists));
    EXPECT_FALSE(exists);

    // Custom settings in a list are skipped by the lookups.
    l->arr_setting.insert(l->arr_setting.begin(), Setting::init());
    EXPECT_EQ(l->get_setting_index_by_name("beta"), 1);
    EXPECT_EQ(l->get_nb_setting(), 4u);
    EXPECT_EQ(l->get_preset_list_name().size(), 3u);

    EXPECT_TRUE(l->is_setting_name_still_valid(*named("beta")));
    EXPECT_FALSE(l->is_setting_name_still_valid(*named("beta", 2)));
    EXPECT_FALSE(l->is_setting_name_still_valid(*Setting::init()));
}

TEST(SettingsList, FolderFiles) {
    testutil::TempDir dir;
    named("Upper")->save_preset_file(dir.path());
    ASSERT_EQ(rename(dir.file("Upper.xml").c_str(), dir.file("Upper.XML").c_str()), 0);
    named("Lower")->save_preset_file(dir.path());
    ASSERT_TRUE(write_file_atomic(dir.file("notes.txt"), read_text(dir.file("Lower.xml")), nullptr));
    ASSERT_TRUE(write_file_atomic(dir.file("broken.xml"), std::string("<setting><params"), nullptr));
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
    named("Inner")->save_preset_file(dir.file("sub"));
    SettingsListRef l = SettingsList::init_from_folder(dir.path());
    EXPECT_EQ(l->get_preset_list_name(), (Names{"Lower", "Upper"}));
    EXPECT_FALSE(SettingsList::init_from_folder(std::nullopt));
    // A folder that cannot be listed gives an empty library.
    SettingsListRef none = SettingsList::init_from_folder(dir.file("missing"));
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->is_empty());
}

TEST(SettingsList, SaveOverwriteAndDelete) {
    testutil::TempDir dir;
    SettingsListRef l = SettingsList::init_from_folder(dir.path());
    SettingRef fast = Setting::init();
    fast->set_default_preset_hapa_fast();
    ASSERT_TRUE(l->save_new_preset_overwrite(*fast, false));
    l->save_new_preset_overwrite(*named("Other"), false);
    const std::string file = dir.file("HAP(A) Fast.xml");
    const std::string before = read_text(file);

    SettingRef changed = fast->mutableCopyWithZone();
    changed->vid_chunks = 3;
    EXPECT_FALSE(l->save_new_preset_overwrite(*changed, false));
    EXPECT_EQ(read_text(file), before);
    EXPECT_EQ(*l->arr_setting[0]->name, "HAP(A) Fast");
    EXPECT_EQ(l->arr_setting[0]->vid_chunks, fast->vid_chunks);

    ASSERT_TRUE(l->save_new_preset_overwrite(*changed, true));
    EXPECT_NE(read_text(file), before);
    ASSERT_EQ(l->get_nb_setting(), 2u);
    EXPECT_EQ(*l->arr_setting[1]->name, "HAP(A) Fast");  // moved to the end
    EXPECT_EQ(l->arr_setting[1]->vid_chunks, 3u);
    EXPECT_NE(l->arr_setting[1], changed);  // a copy: later edits do not reach the library
    changed->vid_chunks = 5;
    EXPECT_EQ(l->arr_setting[1]->vid_chunks, 3u);

    l->delete_preset_with_name("HAP(A) Fast");
    EXPECT_FALSE(is_existing_file(file));
    EXPECT_EQ(l->get_nb_setting(), 1u);
    l->delete_preset_at_index(5);
    l->remove_preset_from_arr_at_index(-1);
    EXPECT_EQ(l->get_nb_setting(), 1u);
    l->remove_preset_from_arr_at_index(0);
    EXPECT_TRUE(l->is_empty());
    EXPECT_TRUE(is_existing_file(dir.file("Other.xml")));  // removing the entry keeps the file

    // A custom setting or a list without folder writes nothing.
    EXPECT_FALSE(l->save_new_preset_overwrite(*Setting::init(), true));
    SettingsListRef loose = SettingsList::init();
    EXPECT_FALSE(loose->save_new_preset_overwrite(*named("Loose"), true));
    EXPECT_TRUE(loose->is_empty());
}

// The write runs in a child process whose file size limit is too small for a preset, so
// the failure is real for root too.
TEST(SettingsList, FailedWriteKeepsOldFileAndList) {
    testutil::TempDir dir;
    SettingsListRef l = SettingsList::init_from_folder(dir.path());
    ASSERT_TRUE(l->save_new_preset_overwrite(*named("Keep"), false));
    const std::string before = read_text(dir.file("Keep.xml"));
    fflush(nullptr);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = {64, 64};
        setrlimit(RLIMIT_FSIZE, &lim);
        SettingRef edited = named("Keep", 2);
        const bool saved = l->save_new_preset_overwrite(*edited, true);
        const bool list_kept = l->get_nb_setting() == 1 && l->arr_setting[0]->vid_codec_hap == 0;
        _exit(!saved && list_kept ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(read_text(dir.file("Keep.xml")), before);
    SettingsListRef reread = SettingsList::init_from_folder(dir.path());
    ASSERT_EQ(reread->get_nb_setting(), 1u);
    EXPECT_EQ(reread->arr_setting[0]->vid_codec_hap, 0u);
}

TEST(SettingsList, ExportFile) {
    testutil::TempDir dir;
    SettingsListRef l = SettingsList::init();
    SettingRef a = named("A", 1);
    a->nam_video_hap->naming_mask = std::string("[src_name]_x");
    TxtReplaceRef rule = SettingNamingSrcNameTxtReplace::init();
    rule->txt_find = "_v1";
    a->nam_audio_wav->arr_txt_replace.push_back(rule);
    a->is_multi_crop = true;
    CropItemRef crop = CropItem::init();
    crop->name = "Left";
    crop->crop_left = 8;
    a->_arr_multi_crop_items = {crop, crop->mutableCopyWithZone()};
    l->arr_setting = {a, named("B", 2)};
    const std::string path = dir.file("set.zqp");
    ASSERT_TRUE(l->write_preset_list_xml_to_url(path));
    const std::string text = read_text(path);
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<root>\n\t<setting>", 0), 0u) << text;
    SettingsListRef back = SettingsList::init_with_presets_file(path);
    ASSERT_EQ(back->get_nb_setting(), 2u);
    EXPECT_TRUE(back->arr_setting[0]->is_equal_to_setting(*a));
    EXPECT_EQ(back->arr_setting[0]->nam_audio_wav->arr_txt_replace.size(), 1u);
    EXPECT_TRUE(back->arr_setting[0]->nam_video_hap->arr_txt_replace.empty());
    EXPECT_TRUE(back->arr_setting[1]->is_equal_to_setting(*l->arr_setting[1]));
    EXPECT_FALSE(l->write_preset_list_xml_to_url(dir.file("no/such/set.zqp")));

    // Two presets of one name: the first wins. Not XML: an empty list.
    l->arr_setting = {named("Same", 1), named("Same", 2)};
    l->write_preset_list_xml_to_url(path);
    back = SettingsList::init_with_presets_file(path);
    ASSERT_EQ(back->get_nb_setting(), 1u);
    EXPECT_EQ(back->arr_setting[0]->vid_codec_hap, 1u);
    ASSERT_TRUE(write_file_atomic(path, std::string("plain text"), nullptr));
    EXPECT_TRUE(SettingsList::init_with_presets_file(path)->is_empty());
}

TEST(SettingsList, ImportedNamesThatCannotBeFileNames) {
    testutil::TempDir dir;
    ASSERT_EQ(mkdir(dir.file("lib").c_str(), 0755), 0);
    SettingsListRef l = SettingsList::init();
    l->arr_setting = {named("../escape"), named("a/b"), named("."), named("fine")};
    const std::string path = dir.file("set.zqp");
    ASSERT_TRUE(l->write_preset_list_xml_to_url(path));
    SettingsListRef imported = SettingsList::init_with_presets_file(path);
    EXPECT_EQ(imported->get_preset_list_name(), Names{"fine"});
    EXPECT_EQ(imported->arr_err_import_export,
              (Names{"Invalid preset name : ../escape", "Invalid preset name : a/b", "Invalid preset name : ."}));

    SettingsListRef lib = SettingsList::init_from_folder(dir.file("lib"));
    lib->merge_preset_from_other_list(*l);
    EXPECT_EQ(lib->get_preset_list_name(), Names{"fine"});
    EXPECT_EQ(lib->arr_err_import_export.size(), 3u);
    EXPECT_FALSE(is_existing_file(dir.file("escape.xml")));
    EXPECT_FALSE(is_existing_file(dir.file("lib/a/b.xml")));
}

TEST(SettingsList, MergeRewritesExisting) {
    testutil::TempDir dir;
    SettingsListRef lib = SettingsList::init_from_folder(dir.path());
    lib->save_new_preset_overwrite(*named("A", 1), false);
    lib->save_new_preset_overwrite(*named("B", 1), false);
    SettingsListRef other = SettingsList::init();
    other->arr_setting = {named("B", 2), named("A", 3)};
    EXPECT_TRUE(lib->is_other_list_have_preset_with_same_name(*other));
    lib->merge_preset_from_other_list(*other);
    SettingsListRef reread = SettingsList::init_from_folder(dir.path());
    EXPECT_EQ(reread->get_setting_by_name(std::string("A"))->vid_codec_hap, 3u);
    EXPECT_EQ(reread->get_setting_by_name(std::string("B"))->vid_codec_hap, 2u);
    EXPECT_EQ(*lib->arr_setting[0]->name, "B");
    EXPECT_EQ(lib->get_nb_setting(), 2u);
    SettingsListRef copy = lib->mutableCopyWithZone();
    EXPECT_NE(copy->arr_setting[0], lib->arr_setting[0]);
    EXPECT_EQ(copy->folder_path_preset, lib->folder_path_preset);
}

}  // namespace
