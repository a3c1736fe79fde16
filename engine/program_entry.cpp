#include "engine/program_entry.h"

#include <clocale>
#include <cstring>

#include "engine/cmd_rendering.h"
#include "engine/cmd_snapshot.h"

#ifndef ZELQA_VERSION
#define ZELQA_VERSION "0"
#endif

namespace {

const char *const kHelpEntries[] = {
    "Zelqa HAP Encoder command line help :\n",
    "--version : print app version\n",
    "--help : print this help\n",
    "--cmd_line_render : run conversion of one file in console using the next parameters",
    "\tBasic usage : --cmd_line_render -i input_file -preset preset_path",
    "",
    "Input file params :",
    "\t-i input_file_path : video file path, or path of one image of an image sequence\n",
    "\t-i_fps value : if set force fps interpretation of the source file (same_as_src by default, or 25fps for image "
    "sequence",
    "\t\tvalid values : '24000/1001', '24', '25', '30000/1001', '30', '48', '60000/1001', '60' or double value for "
    "custom fps\n",
    "\t-i_alpha value : alpha interpretation (use file information or premultiply_black if unknown)",
    "\t\tvalid values : 'same_as_src', 'premult_black', 'straight', 'ignore'\n",
    "\t-i_video_range value : YUV level interpretation (use file information or Legal if unknown, only used with yuv "
    "src file)",
    "\t\tvalid values : 'same_as_src', 'legal', 'full'\n",
    "\t-i_wav wavPath : External wav file to use for audio (setting wav audio file will not ignored the main input "
    "file audio track(s))",
    "\t\tto set multiple input wav files use -i_wav first_wav_file -i_wav second_wav_file...",
    "\t\taudio channel assignment will be guess based on files suffix and audio track count\n",
    "Preset params :\n",
    "\t-preset presetPath : Preset to use (preset file can be create using the export option of the Standalone UI)",
    "\t\tBy default use the factory values of 'HAP(A) Fast' preset",
    "\t\tYou can customize only some part of the preset by setting custom values below\n",
    "\t-codec value : Set custom hap codec (equivalent than setting a codec, in Codec custom mode in the UI)",
    "\t\tvalid values : 'hap', 'hapa', 'hapq', 'hapq_alpha', 'hap_alpha_only_from_luma', 'hap_alpha_only_from_alpha', "
    "'hapr'\n",
    "\t-enc_quality value : Set hap encoding quality",
    "\t\tvalid values : 'fast', 'normal', 'slow'\n",
    "\t-disable_smart_rendering : if set, disable smart rendering features (disable smart rendering features is not "
    "recommended)\n",
    "\t-alpha_conversion value : Force target alpha mode (if this mode didn't match the input file alpha mode, an "
    "alpha conversion will occured (premultiply or unpremultiply alpha)",
    "\t\tvalid values : 'same_as_src', 'premult_black', 'straight'\n",
    "\t-disable_audio : if set, no audio will be write in the target HAP file (if not set, audio is write only if "
    "there are audio track in the source file (and/or external wav files are set)\n",
    "\t-audio_freq value : Set target audio frequency (default 48000 Hz)",
    "\t\tvalid values : '48000', '44100'\n",
    "\t-audio_quantif value : Set target audio quantification (default to PCM Signed 16 bits Little Endian ('16i'))",
    "\t\tvalid values : '16i', '24i', '32i' (Noted that audio can only be write in Little Endian)\n",
    "\t-audio_gain value (in Db) : set audio gain apply to each audio target track\n",
    "\t-write_tc : value : Choose when writing Timecode metadata in the target file",
    "\t\t'never' : never write timecode (default). Timecode track can create issue with some media servers",
    "\t\t'auto' : write timecode only if source file have one",
    "\t\t'always' : write source file timecode if exists (otherwise 00:00:00:00 wil be use as timecode)",
    "\t\t'overwrite' : ignore input file timecode and write the value choose by -overwrite_tc parameter\n",
    "\t-overwrite_tc value : if -write_tc is set to 'overwrite', set the target file timecode.",
    "\t\t : use timecode in the form HH:MM:SS:FF\n",
    "\t-disable_drop_frame_tc : if set, file in 29.97 or 59.94 fps, will not use drop frame TC (no effect for other "
    "file fps)\n",
    "\t-disable_crop_box_metadata : if set, disable Crop box metadata writing. If not set and if preset apply crop to "
    "a target file, a metadata storing the original size and position of the cropped data in this area are stored in "
    "the file.\n",
    "\t-o target_path : Set output path (by default use preset naming). Real output filepath can be different, if "
    "target file(s) already exists\n",
    "\n",
    "--cmd_line_snapshot : create snapshot from input file",
    "\tBasic usage : --cmd_line_snapshot -i input_file -o target_file",
    "",
    "\t-i_alpha value : alpha interpretation (use file information or premultiply_black if unknown)",
    "\t\tvalid values : 'same_as_src', 'premult_black', 'straight', 'ignore'\n",
    "\t-frame frame_num : frame number of the input file (first frame is 0, default : 0)",
    "\t-output_format : snapshot format (default jpg)",
    "\t\tvalid values : 'png', 'jpg'\n",
    "\t-jpg_quality value : jpeg quality (in range 1 to 100, default 90)\n",
    "\t-scale_mode : scaling mode (default same as source)",
    "\t\tvalid values : 'same_as_src', 'fit', 'fit_and_pad'\n",
    "\t-width v : target width (when using fit and fit and pad)",
    "\t-height v : target height (when using fit and fit and pad)",
};

// The window is not part of this build: say so and fail.
int run_application(int, char **) {
    fprintf(stderr, "The windowed application is not available in this build; see --help for the console jobs.\n");
    return 1;
}

}  // namespace

void print_program_help(FILE *out) {
    for (const char *entry : kHelpEntries) fprintf(out, "%s\n", entry);
}

int program_main(int argc, char **argv) {
    setlocale(LC_NUMERIC, "C");
    if (argc < 2) return run_application(argc, argv);
    const char *command = argv[1];
    if (strcmp(command, "--cmd_line_render") == 0) {
        setvbuf(stdout, nullptr, _IOLBF, 0);  // progress lines reach a pipe as they come
        printf("INFO : %s\n", "Use command line render");
        int status;
        {
            HapStandCmdRendering job;
            status = job.parse_cmd_args_with_argv(argc, argv);
            if (status != 0) {
                printf("ERROR : %s\n", "Fail to process input arguments");
                fflush(stdout);
                return status;
            }
            status = job.process();
        }
        if (status != 0) printf("ERROR : %s\n", "Processing failed");
        fflush(stdout);
        return status;
    }
    if (strcmp(command, "--version") == 0) {
        printf("%s\n", ZELQA_VERSION);
        return 0;
    }
    if (strcmp(command, "--help") == 0) {
        print_program_help(stdout);
        return 0;
    }
    if (strcmp(command, "--cmd_line_snapshot") == 0) {
        int status;
        {
            HapStandCmdSnapshot job;
            status = job.parse_cmd_args_with_argv(argc, argv);
            if (status != 0) {
                printf("ERROR : %s\n", "Fail to process input arguments");
                fflush(stdout);
                return status;
            }
            status = job.process();
        }
        if (status != 0) printf("ERROR : %s\n", "Processing failed");
        fflush(stdout);
        return status;
    }
    return run_application(argc, argv);
}
