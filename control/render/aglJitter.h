// Sub-pixel jitter offsets for the anti-aliasing passes, from the published
// sample tables of the accumulation-buffer anti-aliasing technique (2, 3, 4,
// 8, 15 and 24 samples; all offsets lie within half a pixel).
#pragma once

struct aglJitterOffset {
    float x; // pixels
    float y; // pixels
};

// Offset for pass `pass` (from 0) of `passes` passes: (0, 0) below 2 passes;
// 2, 3 and 4 passes use their own tables, 5..8 the 8-sample table, 9..15 the
// 15-sample table and 16 and more the 24-sample table at index pass mod 24.
// Pure; any thread.
aglJitterOffset aglJitterFor(int pass, int passes);
