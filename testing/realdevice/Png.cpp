// PNG output through stb_image_write; its implementation lives here, private to this file.
#include "testing/realdevice/RealDevice.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb_image_write.h>

#include <cstdio>

bool WritePng(const char* path, const Image& image) {
    if (image.Width == 0 || image.Height == 0 ||
        image.Rgba.size() != size_t(image.Width) * image.Height * 4) {
        fprintf(stderr, "WritePng: %s: image of %ux%u has %u bytes\n", path, image.Width,
                image.Height, unsigned(image.Rgba.size()));
        return false;
    }
    if (!stbi_write_png(path, int(image.Width), int(image.Height), 4, image.Rgba.data(),
                        int(image.Width) * 4)) {
        fprintf(stderr, "WritePng: cannot write %s\n", path);
        return false;
    }
    return true;
}
