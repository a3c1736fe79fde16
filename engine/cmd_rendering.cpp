#include "engine/cmd_rendering.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/hap_process_task.h"
#include "engine/timecode_text.h"
#include "model/settings/settings_list.h"
#include "platform/core/main_queue.h"
#include "platform/foundation/number_text.h"

namespace {

volatile sig_atomic_t g_stop_signal = 0;

void on_stop_signal(int) { g_stop_signal = 1; }

void install_stop_handlers() {
    struct sigaction sa;
    memset(&sa, 0, sizeof(sa));
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

bool is_existing_file(const std::string &path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// The leading decimal number of a text, 0 when there is none ("29.97fps" is 29.97).
double leading_number(const std::string &text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) i++;
    size_t j = i;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) j++;
    if (j == text.size() || !((text[j] >= '0' && text[j] <= '9') || text[j] == '.')) return 0.0;
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    const std::string rest = text.substr(i);
    if (rest.size() > 1 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) return 0.0;
    const double v = strtod_l(rest.c_str(), nullptr, c_locale);
    return std::isfinite(v) ? v : 0.0;
}

// Index of `value` in `names`, or -1.
int find_value(const std::string &value, std::initializer_list<const char *> names) {
    int i = 0;
    for (const char *n : names) {
        if (value == n) return i;
        ++i;
    }
    return -1;
}

void print_unknown_value(const std::string &value, const std::string &option) {
    printf("INFO : value '%s' unknown for parameter '%s' (will be ignored)\n", value.c_str(), option.c_str());
}

bool option_takes_value(const std::string &a) {
    static const char *const kWithValue[] = {"-i",
                                             "-i_fps",
                                             "-i_alpha",
                                             "-i_video_range",
                                             "-i_wav",
                                             "-preset",
                                             "-codec",
                                             "-enc_quality",
                                             "-alpha_conversion",
                                             "-audio_freq",
                                             "-audio_quantif",
                                             "-audio_gain",
                                             "-write_tc",
                                             "-overwrite_tc",
                                             "-o"};
    for (const char *o : kWithValue)
        if (a == o) return true;
    return false;
}

}  // namespace

std::string cmd_absolute_path(const std::string &path) {
    if (path.empty()) return path;
    std::string full;
    if (path[0] == '/') {
        full = path;
    } else {
        std::vector<char> buf(4096);
        while (!getcwd(buf.data(), buf.size())) {
            if (errno != ERANGE || buf.size() > (1u << 20)) return path;
            buf.resize(buf.size() * 2);
        }
        full = std::string(buf.data()) + "/" + path;
    }
    // Drop "." components and repeated separators; ".." is kept (links may make it differ).
    std::string out;
    size_t i = 0;
    while (i < full.size()) {
        size_t j = full.find('/', i);
        if (j == std::string::npos) j = full.size();
        const std::string part = full.substr(i, j - i);
        if (!part.empty() && part != ".") {
            out.push_back('/');
            out.append(part);
        }
        i = j + 1;
    }
    if (out.empty() || full.back() == '/') out.push_back('/');
    return out;
}

HapStandCmdRendering::HapStandCmdRendering()
    : glob_settings_(GlobalSettings::init()), encoding_setting_(Setting::init()) {
    encoding_setting_->set_default_preset_cmd_rendering();
}

int HapStandCmdRendering::parse_cmd_args_with_argv(int argc, const char *const *argv) {
    if (argc < 3) {
        printf("ERROR : %s\n", "Not enough input arguments");
        return 1;
    }
    std::vector<std::string> wav_paths;
    std::vector<std::string> out_paths;
    int i = 2;
    while (i < argc) {
        const std::string arg = argv[i] ? argv[i] : "";
        if (arg == "-NSDocumentRevisionsDebugMode") {
            i += 2;
            continue;
        }
        if (!option_takes_value(arg)) {
            ++i;
            if (arg == "-disable_smart_rendering") {
                encoding_setting_->setVid_enable_smart_render(false);
            } else if (arg == "-disable_audio") {
                encoding_setting_->setAud_enable_audio(false);
            } else if (arg == "-disable_drop_frame_tc") {
                encoding_setting_->setMetadata_tc_force_drop_frame(false);
            } else if (arg == "-disable_crop_box_metadata") {
                encoding_setting_->setMetadata_write_crop_box_metadata(false);
            } else {
                printf("WARNING : Unknown argument (will be ignore) : '%s'\n", arg.c_str());
            }
            continue;
        }
        if (i + 1 >= argc) {
            printf("ERROR : Not enough arguments. %s expect value.\n", arg.c_str());
            return 1;
        }
        const std::string value = argv[i + 1] ? argv[i + 1] : "";
        i += 2;

        if (arg == "-i") {
            if (task_) {
                printf("WARNING : %s\n", "Multiple '-i' arguments/ Only first one will be used");
                continue;
            }
            const std::string path = cmd_absolute_path(value);
            RqTaskRef t = RqTask::init_with_main_filepath_and_settings(path, glob_settings_);
            if (t->error) {
                printf("ERROR : Invalid input file : %s : %s\n", path.c_str(), t->error->c_str());
                return 2;
            }
            task_ = t;
            task_->set_default_fps_img_seq(glob_settings_->default_img_fps);
            task_->set_default_alpha_mode(glob_settings_->get_default_alpha_interpret());
            if (const std::optional<std::string> w = task_->get_warning_load()) printf("WARNING : %s\n", w->c_str());
            continue;
        }
        if (arg == "-i_fps" || arg == "-i_alpha" || arg == "-i_video_range") {
            if (!task_) {
                printf("WARNING : parameter '%s' set before valid input file ('-i' input_path)\n", arg.c_str());
                continue;
            }
            MediaInfoObjRef in = task_->in_main_file;
            if (!in || !in->media_interpret) continue;
            HapStandMediaSrcInterpret &interp = in->media_interpret->obj;
            if (arg == "-i_fps") {
                static const struct {
                    const char *text;
                    uint32_t choice;
                } kRates[] = {{"24000/1001", 1}, {"24", 2}, {"25", 3},         {"30000/1001", 4},
                              {"30", 5},         {"48", 6}, {"60000/1001", 8}, {"60", 9}};
                bool found = false;
                for (const auto &r : kRates) {
                    if (value == r.text) {
                        interp.interpret_fps = r.choice;
                        found = true;
                    }
                }
                if (!found) {
                    const double rate = leading_number(value);
                    if (rate > 0.0) {
                        interp.interpret_fps = 10;
                        interp.custom_fps = rate;
                    } else {
                        print_unknown_value(value, arg);
                    }
                }
            } else if (arg == "-i_alpha") {
                const int v = find_value(value, {"same_as_src", "premult_black", "straight", "ignore"});
                if (v < 0)
                    print_unknown_value(value, arg);
                else
                    interp.alpha_mode = uint32_t(v);
            } else {
                const int v = find_value(value, {"same_as_src", "legal", "full"});
                if (v < 0)
                    print_unknown_value(value, arg);
                else
                    interp.video_range = uint32_t(v);
            }
            continue;
        }
        if (arg == "-i_wav") {
            if (value.empty()) {
                printf("WARNING : %s\n", "empty wav path");
                continue;
            }
            const std::string path = cmd_absolute_path(value);
            if (!is_existing_file(path)) {
                printf("WARNING : Wav file don't exists ('%s')\n", path.c_str());
                continue;
            }
            wav_paths.push_back(path);
            continue;
        }
        if (arg == "-preset") {
            const std::string path = cmd_absolute_path(value);
            if (!is_existing_file(path)) {
                printf("WARNING : preset file don't exist ('%s')\n", path.c_str());
                continue;
            }
            SettingRef single = Setting::init();
            if (single->set_from_xml_file(path)) {
                encoding_setting_ = single;
                continue;
            }
            SettingsListRef list = SettingsList::init_with_presets_file(path);
            if (!list || list->is_empty()) {
                printf("WARNING : Fail to load preset file ('%s')\n", path.c_str());
                continue;
            }
            if (list->get_nb_setting() > 1)
                printf("WARNING : Multiple preset in the preset file ('%s') (the first will be used)\n", path.c_str());
            SettingRef first = list->get_setting_by_index(0);
            if (first) encoding_setting_ = first->mutableCopyWithZone();
            continue;
        }
        if (arg == "-o") {
            if (value.empty()) {
                printf("WARNING : %s\n", "Empty out path");
                continue;
            }
            out_paths.push_back(cmd_absolute_path(value));
            continue;
        }
        if (arg == "-audio_gain") {
            // An infinite gain stores 0 dB, as it does when read from a preset file.
            const float gain = number_text_to_float(value);
            encoding_setting_->setAud_gain_mode(1);
            encoding_setting_->setAud_set_gain_val(std::isinf(gain) ? 0.0f : gain);
            continue;
        }
        if (arg == "-overwrite_tc") {
            TimecodeTextValue tc;
            if (parse_timecode_text(value, &tc))
                encoding_setting_->setMetadata_start_tc_force(value);
            else
                print_unknown_value(value, arg);
            continue;
        }
        int v = -1;
        if (arg == "-codec") {
            v = find_value(value, {"hap", "hapa", "hapq", "hapq_alpha", "hap_alpha_only_from_luma",
                                   "hap_alpha_only_from_alpha", "hapr"});
            if (v >= 0) {
                encoding_setting_->setVid_alpha_mode(2);
                encoding_setting_->setVid_codec_hap(uint32_t(v));
            }
        } else if (arg == "-enc_quality") {
            v = find_value(value, {"fast", "normal", "slow"});
            if (v >= 0) encoding_setting_->setVid_hap_quality(uint32_t(v));
        } else if (arg == "-alpha_conversion") {
            v = find_value(value, {"same_as_src", "premult_black", "straight"});
            if (v >= 0) encoding_setting_->setVid_alpha_conversion(uint32_t(v));
        } else if (arg == "-audio_freq") {
            v = find_value(value, {"44100", "48000"});
            if (v >= 0) encoding_setting_->setAud_frequency(uint32_t(v));
        } else if (arg == "-audio_quantif") {
            v = find_value(value, {"16i", "24i", "32i"});
            if (v >= 0) encoding_setting_->setAud_quantif(uint32_t(v));
        } else if (arg == "-write_tc") {
            v = find_value(value, {"never", "auto", "always", "overwrite"});
            if (v >= 0) encoding_setting_->setMetadata_tc_mode(uint32_t(v));
        }
        if (v < 0) print_unknown_value(value, arg);
    }

    if (!task_) {
        printf("ERROR : %s\n", "No valid input file set");
        return 1;
    }
    task_->set_new_setting(*encoding_setting_);
    if (!wav_paths.empty()) {
        const std::vector<std::string> errors =
            task_->try_import_ext_audio_file_at_index(wav_paths, task_->arr_in_wav.size());
        if (!errors.empty()) {
            printf("WARNING : %s\n", "Fail to load wav file :\n");
            for (const std::string &e : errors) printf("WARNING : %s\n", e.c_str());
        }
    }
    for (size_t j = 0; j < out_paths.size(); ++j) {
        if (!task_->set_custom_out_path_at_index(out_paths[j], j))
            printf("WARNING : Fail to set custom outpath ('%s') for target file : %lu\n", out_paths[j].c_str(),
                   static_cast<unsigned long>(j));
    }
    // Outputs that follow another output's name (WAV beside the MOV) take the new paths.
    if (!out_paths.empty()) task_->refresh_cache_target_properties();
    return 0;
}

int HapStandCmdRendering::process() {
    if (!task_) {
        printf("ERROR : %s\n", "Invalid processing");
        return 3;
    }
    // The queue never starts a task whose settings cannot give its outputs.
    if (task_->have_error_params()) {
        printf("ERROR : %s\n", task_->get_error_params_out().value_or("").c_str());
        return 3;
    }
    main_queue::bind_to_current_thread();
    std::shared_ptr<HAPProcessTask> proc = HAPProcessTask::init_with_rq_task(task_);
    if (const std::optional<std::string> err = proc->error()) {
        printf("ERROR : Fail to build processing : %s\n", err->c_str());
        return 3;
    }
    install_stop_handlers();
    proc->set_as_cmd_rendering();
    proc->start_process();
    bool stopped = false;
    while (proc->is_bg_process_running()) {
        if (g_stop_signal == 1) {
            printf("INFO : %s\n", "Received stop signal");
            fflush(stdout);
            proc->stop_process();
            stopped = true;
            break;
        }
        // Work the worker hands to the main thread runs while we wait; the wait ends
        // early when the run does.
        main_queue::run_until([&] { return !proc->is_bg_process_running() || g_stop_signal == 1; }, 0.5);
    }
    proc->wait_end();
    fflush(stdout);
    if (proc->have_error_processing()) {
        if (const std::optional<std::string> err = proc->error())
            printf("ERROR : Fail to build processing : %s\n", err->c_str());
        else
            printf("ERROR : %s\n", "Processing error");
        return 3;
    }
    // A stopped render leaves incomplete outputs: never report it as a success.
    if (stopped || proc->current_state() == RqTaskState_Cancel) return 3;
    return 0;
}
