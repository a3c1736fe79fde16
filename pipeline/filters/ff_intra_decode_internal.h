#pragma once
// Inside the FFmpeg intra decode node: how a decoded picture becomes the output frame.
#include <cstdint>

#include "media/video_filter.h"

struct AVFrame;

// Our PixFmt of an FFmpeg picture format (AVPixelFormat value); 39 with a printed line
// for the others.
PixFmt ff_intra_pix_fmt_of(int ff_format);

// Hands a decoded picture of the node out as its output frame (direct, copy with alpha
// fill, or conversion) and sets the output's error flags from the picture's decode errors.
// The node keeps the picture alive until its next one.
void ff_intra_deliver_picture(VideoFilter *filter, const AVFrame *picture);
