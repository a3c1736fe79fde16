#include "model/queue/output_filepath.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/foundation/xml_writer.h"
#include "testutil/testutil.h"

namespace {

using testutil::TempDir;

void touch(const std::string &path) { testutil::write_file(path, "x", 1); }

OutputFilepathRef make(const std::string &folder, const std::string &name, const std::string &ext = "mov") {
    OutputFilepathRef o = OutputFilepath::init_with_target_folder_and_name_from_mask_and_ext(folder, name, ext);
    EXPECT_TRUE(o);
    return o;
}

TEST(OutputFilepath, CreationAndPaths) {
    EXPECT_FALSE(OutputFilepath::init_with_target_folder_and_name_from_mask_and_ext("/out", "clip", ""));
    EXPECT_FALSE(OutputFilepath::init_with_target_folder_and_name_from_mask_and_ext(std::nullopt, "clip", "mov"));
    EXPECT_FALSE(OutputFilepath::init_with_target_folder_and_name_from_mask_and_ext("/out", "", "mov"));

    OutputFilepathRef o = make("/out", "clip");
    EXPECT_EQ(o->get_start_path(), "/out/clip");
    EXPECT_EQ(o->get_default_path(), "/out/clip.mov");
    EXPECT_EQ(o->get_target_name_for_ui(), "/out/clip.mov");
    o->set_from_custom_filepath(std::string("/user/take.mp4"));
    EXPECT_EQ(o->custom_filepath(), "/user/take");
    EXPECT_EQ(o->get_default_path(), "/user/take.mov");  // the output keeps its own extension
    o->set_from_custom_filepath(std::string(""));
    EXPECT_FALSE(o->have_custom_name());
    EXPECT_EQ(o->get_start_path(), "/out/clip");
    o->set_render_filepath("/out/clip_1.mov");
    EXPECT_EQ(o->get_target_name_for_ui(), "/out/clip_1.mov");

    // Copies: user and render paths travel, an absent value on the other side clears.
    OutputFilepathRef other = make("/elsewhere", "x");
    other->set_from_custom_filepath(std::string("/user/take"));
    o->copy_custom_filepath_from_obj(other.get());
    EXPECT_EQ(o->custom_filepath(), "/user/take");
    EXPECT_FALSE(o->have_render_path());
    o->set_render_filepath("/r.mov");
    o->copy_custom_filepath_from_obj(nullptr);
    EXPECT_EQ(o->render_path(), "/r.mov");
    OutputFilepathRef c = o->mutableCopyWithZone();
    c->reset_render_path();
    EXPECT_TRUE(o->have_render_path());
    EXPECT_EQ(c->get_default_path(), "/user/take.mov");

    XmlStreamWriter w;
    w.start_element("t");
    o->write_custom_path_info_for_type_and_index(w, "video_hap", 2);
    make("/a", "b")->write_custom_path_info_for_type_and_index(w, "wav_out", 0);
    w.end_element();
    EXPECT_EQ(w.text(),
              "<t>\n\t<custom_path type=\"video_hap\" index=\"2\" path=\"/user/take\" />\n"
              "\t<render_path type=\"video_hap\" index=\"2\" path=\"/r.mov\" />\n</t>");
}

TEST(OutputFilepath, UniquePathSkipsEveryExistingEntry) {
    TempDir dir;
    OutputFilepathRef o = make(dir.path(), "clip");
    EXPECT_EQ(o->get_uniq_out_name(nullptr), dir.file("clip.mov"));
    touch(dir.file("clip_1.mov"));
    EXPECT_EQ(o->get_uniq_out_name(nullptr), dir.file("clip.mov"));
    touch(dir.file("clip.mov"));
    EXPECT_EQ(o->get_uniq_out_name(nullptr), dir.file("clip_2.mov"));

    // A folder or a link (dangling too) holds the name as well: nothing could be written there.
    ASSERT_EQ(mkdir(dir.file("clip_2.mov").c_str(), 0755), 0);
    ASSERT_EQ(symlink(dir.file("gone").c_str(), dir.file("clip_3.mov").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("clip.mov").c_str(), dir.file("clip_4.mov").c_str()), 0);
    const std::vector<std::string> taken = {dir.file("clip_5.mov"), dir.file("CLIP_6.mov")};
    EXPECT_EQ(o->apply_uniq_name_to_render_path(&taken), dir.file("clip_6.mov"));
    EXPECT_EQ(o->render_path(), dir.file("clip_6.mov"));

    OutputFilepathRef user = make(dir.path(), "clip");
    user->set_from_custom_filepath(dir.file("take.mp4"));
    touch(dir.file("take.mov"));
    EXPECT_EQ(user->get_uniq_out_name(nullptr), dir.file("take_1.mov"));
}

}  // namespace
