#pragma once

// The one choice of vector kernels for the whole program: the bulk draws,
// the transmitter's row composition and the reading of the reference panels
// use AVX2 (with carry-less multiplication) when the processor has it, or
// exact portable code. The files are the same either way.

namespace korvane {

enum class DrawKernel { kPortable, kAvx2 };

// Whether the processor (and the system) can run the AVX2 kernel: AVX2 and
// the carry-less multiplication the transmitter uses with it.
bool Avx2Available();

// The kernel every vector kernel uses: AVX2 when available, unless the environment
// variable KORVANE_DRAW_KERNEL=portable was set at the first draw, or
// SelectDrawKernel chose otherwise since.
DrawKernel ActiveDrawKernel();

// Chooses the kernel (tests and benchmarks compare both); asking for AVX2 on
// a processor without it keeps the portable kernel. Returns the kernel now
// active.
DrawKernel SelectDrawKernel(DrawKernel kernel);

}  // namespace korvane
