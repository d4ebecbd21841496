#include "random/cpu_features.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace korvane {
namespace {

DrawKernel InitialKernel() {
  // Read once, at the first draw; nothing sets the environment meanwhile.
  const char* choice = std::getenv("KORVANE_DRAW_KERNEL");  // NOLINT(concurrency-mt-unsafe)
  if (choice && std::strcmp(choice, "portable") == 0) return DrawKernel::kPortable;
  return Avx2Available() ? DrawKernel::kAvx2 : DrawKernel::kPortable;
}

std::atomic<DrawKernel>& KernelChoice() {
  static std::atomic<DrawKernel> choice{InitialKernel()};
  return choice;
}

}  // namespace

bool Avx2Available() {
#if defined(__x86_64__) || defined(__i386__)
  // Also false when the system does not save the vector registers. The
  // kernel's processors also multiply without carries, which the
  // transmitter uses alongside.
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("pclmul");
#else
  return false;
#endif
}

DrawKernel ActiveDrawKernel() { return KernelChoice().load(std::memory_order_relaxed); }

DrawKernel SelectDrawKernel(DrawKernel kernel) {
  if (kernel == DrawKernel::kAvx2 && !Avx2Available()) kernel = DrawKernel::kPortable;
  KernelChoice().store(kernel, std::memory_order_relaxed);
  return kernel;
}

}  // namespace korvane
