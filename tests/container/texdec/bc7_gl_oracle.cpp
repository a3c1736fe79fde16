#include "container/texdec/bc7_gl_oracle.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/osmesa.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

bool bc7_gl_oracle_decode(const std::vector<uint8_t> &blocks, std::vector<uint8_t> &pixels, std::string &why) {
    static uint8_t surface[4 * 4 * 4];
    OSMesaContext ctx = OSMesaCreateContextExt(OSMESA_RGBA, 0, 0, 0, nullptr);
    if (!ctx) {
        why = "OSMesaCreateContextExt failed";
        return false;
    }
    bool ok = false;
    if (!OSMesaMakeCurrent(ctx, surface, GL_UNSIGNED_BYTE, 4, 4)) {
        why = "OSMesaMakeCurrent failed";
    } else {
        const size_t count = blocks.size() / 16;
        pixels.assign(count * 64, 0);
        // One row of up to 256 blocks per texture.
        constexpr size_t kRow = 256;
        std::vector<uint8_t> rgba(kRow * 64);
        GLuint tex = 0;
        glGenTextures(1, &tex);
        glBindTexture(GL_TEXTURE_2D, tex);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        ok = true;
        for (size_t first = 0; first < count && ok; first += kRow) {
            const size_t n = std::min(kRow, count - first);
            glCompressedTexImage2D(GL_TEXTURE_2D, 0, GL_COMPRESSED_RGBA_BPTC_UNORM, GLsizei(4 * n), 4, 0,
                                   GLsizei(16 * n), &blocks[16 * first]);
            glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
            if (GLenum e = glGetError(); e != GL_NO_ERROR) {
                why = "GL error " + std::to_string(e) + " (no BPTC support?)";
                ok = false;
                break;
            }
            const size_t width = 4 * n;
            for (size_t k = 0; k < n; k++)
                for (size_t y = 0; y < 4; y++)
                    std::memcpy(&pixels[64 * (first + k) + 16 * y], &rgba[4 * (y * width + 4 * k)], 16);
        }
        glDeleteTextures(1, &tex);
    }
    OSMesaDestroyContext(ctx);
    return ok;
}

// Mesa keeps a few small allocations of its context for the process lifetime; they are
// not ours to free, so leak checks of the sanitizer builds skip them.
extern "C" const char *__lsan_default_suppressions() { return "leak:libOSMesa.so\nleak:libgallium\nleak:libLLVM\n"; }
