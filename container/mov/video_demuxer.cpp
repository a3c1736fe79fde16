// Video demuxer handle: checks and calls through the maker's callbacks.
#include "container/mov/video_demuxer.h"

#include <cstdlib>

#include "platform/core/errors.h"

VideoDemuxer *video_demuxer_new(uint32_t frames_per_call, uint32_t kind) {
    auto *d = static_cast<VideoDemuxer *>(calloc(1, sizeof(VideoDemuxer)));
    if (!d) throw_alloc_error();
    d->kind = kind;
    d->frames_per_call = frames_per_call ? frames_per_call : 1;
    return d;
}

uint32_t video_demuxer_demux(VideoDemuxer *d, VideoFrame **frames) {
    if (!d) throw_process_error("Invalid video demuxing");
    if (!frames) throw_process_error("No array out frames");
    return d->demux(d->priv_data, d->frames_per_call, frames);
}

void video_demuxer_get_frame(VideoDemuxer *d, uint32_t index, VideoFrame *frame, bool clamp) {
    if (!d) throw_process_error("unset demuxer");
    if (!d->get_frame) throw_process_error("not imp get frame");
    d->get_frame(d->priv_data, index, frame, clamp);
}

void video_demuxer_free(VideoDemuxer *d) {
    if (!d) return;
    if (d->close && d->priv_data) d->close(d->priv_data);
    free(d);
}
