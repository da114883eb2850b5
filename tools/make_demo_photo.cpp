// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the demo photograph the viewer starts on, and beside it the reference values of its
// chart: make-demo-photo <output.tif>

#include "demoreference.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-demo-photo <output.tif>\n");
        return 2;
    }
    std::string error;
    try {
        if (writeDemoPhotoWithReference(argv[1], error))
            return 0;
    } catch (const std::exception &exception) {
        error = exception.what();
    }
    std::fprintf(stderr, "make-demo-photo: %s\n", error.c_str());
    return 1;
}
