#pragma once
// Frames fed to the frame assembler as a device would send them: parameters first, then the
// bytes in pieces of the given size. Raises as the assembler does.
#include "scan/link/SaneFrames.h"

#include <algorithm>

namespace velorix::scan::sane {

inline QImage AssembleInPieces(const std::vector<Frame>& frames, std::size_t piece, int dpi = 0) {
    FrameAssembler assembler(dpi);
    for (const Frame& f : frames) {
        Frame parameters = f;
        parameters.data.clear();
        assembler.BeginFrame(parameters);
        for (std::size_t at = 0; at < f.data.size(); at += piece)
            assembler.Append(f.data.data() + at, std::min(piece, f.data.size() - at));
        assembler.EndFrame();
    }
    return assembler.Finish();
}

} // namespace velorix::scan::sane
