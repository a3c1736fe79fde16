#pragma once
// The command-line snapshot: one frame of a source written as a PNG or JPEG file under
// a name no existing file holds. Everything runs on the calling thread.
#include <cstdint>
#include <memory>
#include <string>

#include "container/mov/video_demuxer.h"
#include "media/video_filter.h"
#include "media/video_frame.h"
#include "pipeline/probe/media_info.h"

class GlobalSettings;

// The engine's record: filled by the job, then by snapshot_cmd_line_process.
struct HapStandSnapshotCmdLine {
    char *input_path;          // owned
    char *output_path;         // owned
    uint32_t alpha_interpret;  // 0 as source, 1 premultiplied, 2 straight, 3 ignore
    uint32_t frame;
    uint32_t output_format;  // 0 JPEG, 1 PNG
    uint32_t jpg_quality;    // 1 to 100
    uint32_t scale_mode;     // 0 same as source, 1 fit, 2 fit and pad
    uint32_t box_width;
    uint32_t box_height;
    MediaInfo *info;
    VideoDemuxer *demuxer;
    FilterGraph *graph;
    VideoFrame *in_frame;
};

HapStandSnapshotCmdLine *snapshot_cmd_line_create();
// Throws "Invalid snapshot object", "Unset input file" or "Unset output file".
void snapshot_cmd_line_check(const HapStandSnapshotCmdLine *snap);
// Reads the frame, converts and encodes it, writes the file. The file is created
// exclusively: a name taken meanwhile moves on to the next free one (output_path follows).
void snapshot_cmd_line_process(HapStandSnapshotCmdLine *snap);
void snapshot_cmd_line_free(HapStandSnapshotCmdLine **snap);

class HapStandCmdSnapshot {
public:
    HapStandCmdSnapshot();
    ~HapStandCmdSnapshot();
    HapStandCmdSnapshot(const HapStandCmdSnapshot &) = delete;
    HapStandCmdSnapshot &operator=(const HapStandCmdSnapshot &) = delete;

    // Reads argv from index 2; 0, or 1 for a missing value or too few arguments.
    int32_t parse_cmd_args_with_argv(int argc, char **argv);
    // 0, or 3 on any failure (printed).
    int32_t process();
    // Creates the output folder and picks the first free name; throws when the folder
    // cannot be had.
    void update_target_snapshot_name();

    const std::string &src_filepath() const { return src_filepath_; }
    void setSrc_filepath(const std::string &v) { src_filepath_ = v; }
    const std::string &output_filepath() const { return output_filepath_; }
    void setOutput_filepath(const std::string &v) { output_filepath_ = v; }
    const std::string &output_filepath_uniq() const { return output_filepath_uniq_; }
    void setOutput_filepath_uniq(const std::string &v) { output_filepath_uniq_ = v; }
    HapStandSnapshotCmdLine *obj_process() const { return obj_process_; }

private:
    std::unique_ptr<GlobalSettings> glob_settings_;
    std::string src_filepath_;
    std::string output_filepath_;
    std::string output_filepath_uniq_;
    HapStandSnapshotCmdLine *obj_process_ = nullptr;
};
